#include <algorithm>
#include <iostream>
#include <string>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "model/ParameterFile.h"
#include "model/ParameterTable.h"

namespace {

// Breaks text into lines of at most width characters at its spaces.
std::string Wrapped(const std::string& text, std::size_t width) {
    std::string wrapped;
    std::size_t lineStart = 0;
    for (std::size_t word = 0; word < text.size();) {
        const std::size_t end = std::min(text.find(' ', word), text.size());
        if (end - lineStart > width && word > lineStart) {
            wrapped.back() = '\n';
            lineStart = word;
        }
        wrapped.append(text, word, end - word);
        if (end < text.size()) {
            wrapped += ' ';
        }
        word = end + 1;
    }
    return wrapped;
}

// The names and words come from the parameter table, so the help cannot fall behind it.
std::string Footer() {
    std::string names;
    for (const ParameterField& field : ParameterFields()) {
        names += (names.empty() ? "" : ", ") + std::string(field.name);
    }
    const ParameterField& source = FieldFor(&ParameterSet::m_nFwdSource);
    const ParameterField& flag = FieldFor(&ParameterSet::m_bAutoHome);
    return Wrapped("Names for --set and set: " + names + ". Sources take " + ValueWords(source) +
                       " or " + std::to_string(source.min) + "-" + std::to_string(source.max) +
                       "; flags " + AcceptedText(flag) +
                       ". FILE defaults to InitialParameter.dll in the current directory; give "
                       "it before --set.",
                   90) +
           "\n\n"
           "Exit status:\n"
           "  0  done (upload: every frame echoed exactly)\n"
           "  1  the upload failed: no echo, a short or a different echo\n"
           "  2  a usage, value or file error; nothing was sent\n"
           "  3  the port could not be opened: missing, busy, or not a serial port\n";
}

void AddFile(CLI::App& command, std::string& file) {
    command.add_option("FILE", file, "parameter file")
        ->check(CommandLine::kPath)
        ->capture_default_str();
}

void AddChanges(CLI::App& command, std::vector<std::string>& assignments) {
    command.add_option("--set", assignments, "change values before use (NAME=VALUE ...)");
}

void AddJson(CLI::App& command, bool& json) {
    command.add_flag("--json", json, "print JSON instead of text");
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Sets up VKD-37 motion controllers over a serial line: shows and changes\n"
                 "parameter files, and uploads their values with the dialog's frame and echo rule.",
                 "vkd37"};
    app.set_version_flag("--version", std::string("vkd37 ") + VKD_VERSION);
    // A path such as /dev/ttyUSB0 or a Wine path is never a "/x" Windows-style option.
    app.allow_windows_style_options(false);
    app.footer(Footer());
    app.require_subcommand(1);

    bool json = false;
    std::string hex;
    ValueSource values{kParameterFileName, {}};
    UploadRequest upload;
    upload.values = values;

    CLI::App* show = app.add_subcommand("show", "the 16 stored values with their valid ranges; "
                                                "marks those the dialog would refuse");
    AddFile(*show, values.file);
    AddJson(*show, json);

    CLI::App* set = app.add_subcommand("set", "change values in a parameter file, atomically; "
                                              "an out-of-range value leaves it untouched");
    set->add_option("FILE", values.file, "parameter file")->check(CommandLine::kPath)->required();
    set->add_option("NAME=VALUE", values.assignments, "values to change")->required();

    CLI::App* frame =
        app.add_subcommand("frame", "print the 19-byte frame the values give, in hex");
    AddFile(*frame, values.file);
    AddChanges(*frame, values.assignments);
    AddJson(*frame, json);

    CLI::App* decode = app.add_subcommand("decode", "decode a frame given as 38 hex digits");
    decode->add_option("HEX", hex, "the frame; blanks between bytes allowed")->required();
    AddJson(*decode, json);

    CLI::App* send = app.add_subcommand(
        "upload", "validate the values, send the frame and wait for its exact echo");
    send->add_option("--port", upload.port,
                     "serial port: a device path on Linux, COMn (any n) on Windows")
        ->check(CommandLine::kPath)
        ->required();
    AddFile(*send, upload.values.file);
    AddChanges(*send, upload.values.assignments);
    send->add_flag("--repeat", upload.repeat,
                   "one controller after another: wait for Enter (q stops) after each upload, "
                   "then print a summary");
    send->add_option("--log", upload.logPath,
                     "append one JSON line per attempt (time, port, frame, outcome, ms)")
        ->check(CommandLine::kPath);
    send->add_flag("--save", upload.save, "write the values used back to FILE");
    AddJson(*send, upload.json);

    CLI::App* ports = app.add_subcommand("ports", "list the serial ports present");
    AddJson(*ports, json);

    if (const std::optional<int> status =
            CommandLine::Parse(app, argc, argv, std::cout, std::cerr)) {
        return *status;
    }

    if (*show) {
        return ShowValues(values.file, json);
    }
    if (*set) {
        return SetValues(values);
    }
    if (*frame) {
        return PrintFrame(values, json);
    }
    if (*decode) {
        return DecodeHex(hex, json);
    }
    if (*send) {
        return Upload(upload);
    }
    return ListPorts(json);
}
