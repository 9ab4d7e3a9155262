#include <cstdio>
#include <memory>

#include "cli/ExitStatus.h"
#include "cli/JsonText.h"
#include "cli/LoadValues.h"
#include "cli/Output.h"
#include "cli/commands/Command.h"
#include "store/ParameterFile.h"
#include "model/ParameterTable.h"

namespace {

const char* ReadStopName(ReadStop stop) {
    switch (stop) {
    case ReadStop::kComplete:
        return "complete";
    case ReadStop::kEndOfText:
        return "end-of-text";
    case ReadStop::kNotANumber:
        return "not-a-number";
    case ReadStop::kOutOfRange:
        return "out-of-range";
    case ReadStop::kReadLimit:
        return "read-limit";
    }
    return "";
}

int ShowValues(const std::string& file, bool json) {
    const LoadedValues loaded = LoadValues({file, {}}, WhenMissing::kStartValues);
    Json values = Json::array();
    std::string text = file + ": not found; the values the dialog starts with:\n";
    if (loaded.found) {
        const std::string note = ReadingNote(file, loaded);
        text = note.empty() ? file + ":\n"
                            : note + ", as in the dialog" +
                                  (loaded.reading.StoppedAtUnreadable()
                                       ? "; set and upload --save leave the file as it is:\n"
                                       : ":\n");
    }
    for (const ParameterField& field : ParameterFields()) {
        const int value = loaded.set.*(field.member);
        const bool accepted = IsAccepted(field, value);
        values.push_back({{"name", field.name},
                          {"value", value},
                          {"min", field.min},
                          {"max", field.max},
                          {"accepted", accepted}});
        char line[160];
        std::snprintf(line, sizeof line, "  %-14s %-13s %s%s\n", field.name,
                      ValueText(field, value).c_str(), AcceptedText(field).c_str(),
                      accepted ? "" : "   !! the dialog refuses this value");
        text += line;
    }
    if (json) {
        Json shown = {{"file", file}, {"found", loaded.found}};
        if (loaded.found) {
            const ParameterReading& reading = loaded.reading;
            shown["reading"] = {{"values", reading.values},
                                {"stop", ReadStopName(reading.stop)},
                                {"offset", reading.stopOffset},
                                {"byteOrderMark", reading.byteOrderMark}};
        }
        shown["values"] = values;
        PrintLine(JsonText(shown));
    } else {
        WriteOut(text);
    }
    return kExitDone;
}

} // namespace

CommandAction DeclareShow(CLI::App& command) {
    struct Options {
        std::string file = kParameterFileName;
        bool json = false;
    };
    const auto options = std::make_shared<Options>();
    command.description(
        "the 16 stored values with their valid ranges; marks those the dialog would refuse");
    AddFile(command, options->file);
    AddJson(command, options->json);
    return [options] { return ShowValues(options->file, options->json); };
}
