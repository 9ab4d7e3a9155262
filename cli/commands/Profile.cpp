#include <cstdio>
#include <memory>

#include "cli/ExitStatus.h"
#include "cli/JsonText.h"
#include "cli/LoadValues.h"
#include "cli/Output.h"
#include "cli/SaveLockWait.h"
#include "cli/ValueSources.h"
#include "cli/commands/Command.h"
#include "model/ParameterAssignment.h"
#include "record/Profile.h"
#include "store/FileStore.h"
#include "store/ParameterFile.h"

namespace {

struct ProfileOptions {
    std::string name;
    std::string file;
    std::string settings; // the settings file: made from, or written from the profile
    std::string note;
    std::vector<std::string> assignments;
    bool json = false;
};

// A profile of a settings file's values (or the start values), refused where the dialog would
// refuse one of them; the file is written whole or not at all.
int NewProfile(const ProfileOptions& options) {
    Profile profile{options.name, options.note, {}};
    if (options.settings.empty()) {
        profile.values.ApplyMissingFileValues();
        std::string error;
        if (!ApplyAssignments(options.assignments, profile.values, error)) {
            throw CommandError(kExitUsage, error);
        }
    } else {
        const LoadedValues loaded =
            LoadValues({options.settings, options.assignments}, WhenMissing::kRefuse);
        RefuseWhatTheDialogRefuses(options.settings, loaded);
        profile.values = loaded.set;
    }
    for (const std::string& refused : RefusedValues(profile.values, false)) {
        throw CommandError(kExitUsage, refused);
    }
    const SaveOutcome saved =
        ReplaceFileContents(options.file.c_str(), ProfileText(profile), SaveLockWait(options.file));
    if (!saved.Saved()) {
        throw CommandError(kExitUsage, saved.failure.text);
    }
    PrintLine(options.file + ": profile " + profile.name + " [" + ValuesIdentity(profile.values) +
              "]");
    return kExitDone;
}

int ShowProfile(const ProfileOptions& options) {
    const Profile profile = LoadProfile(options.file);
    const std::string identity = ValuesIdentity(profile.values);
    if (options.json) {
        Json values = Json::object();
        for (const ParameterField* field : RecordedFields()) {
            values[field->name] = profile.values.*(field->member);
        }
        PrintLine(JsonText({{"profile", profile.name},
                            {"note", profile.note},
                            {"identity", identity},
                            {"values", values}}));
        return kExitDone;
    }
    std::string text = "profile   " + profile.name + "\nidentity  " + identity + "\n";
    if (!profile.note.empty()) {
        text += "note      " + profile.note + "\n";
    }
    for (const ParameterField* field : RecordedFields()) {
        const int value = profile.values.*(field->member);
        char line[160];
        std::snprintf(line, sizeof line, "  %-14s %s\n", field->name,
                      ValueText(*field, value).c_str());
        text += line;
    }
    WriteOut(text);
    return kExitDone;
}

// The settings file takes the profile's values under its lock; its port stays, or is the start
// value where the file is new.
int WriteSettings(const ProfileOptions& options) {
    const Profile profile = LoadProfile(options.file);
    const auto takeProfile = [&profile](ParameterSet& set, FileFailure&) {
        const int port = set.m_nPort;
        for (const ParameterField* field : RecordedFields()) {
            set.*(field->member) = profile.values.*(field->member);
        }
        set.m_nPort = port;
        return true;
    };
    const SaveOutcome saved =
        UpdateParameterFile(options.settings.c_str(), takeProfile, SaveLockWait(options.settings));
    if (!saved.Saved()) {
        throw CommandError(kExitUsage, saved.failure.text);
    }
    return kExitDone;
}

} // namespace

CommandAction DeclareProfile(CLI::App& command) {
    const auto options = std::make_shared<ProfileOptions>();
    const auto action = std::make_shared<int (*)(const ProfileOptions&)>(nullptr);
    command.description("approved profiles: a name, a note and the values, with an identity "
                        "that is the same wherever the values are");
    command.require_subcommand(1);

    CLI::App* made = command.add_subcommand(
        "new", "write a profile of a settings file's values (--from), or of the start values");
    made->add_option("NAME", options->name, "the profile's name")->required();
    made->add_option("FILE", options->file, "the profile file to write")
        ->check(CommandLine::kPath)
        ->required();
    made->add_option("--from", options->settings, "the settings file whose values it takes")
        ->check(CommandLine::kPath);
    made->add_option("--note", options->note, "a free-text note, such as who approved it");
    AddChanges(*made, options->assignments);
    made->callback([action] { *action = NewProfile; });

    CLI::App* shown = command.add_subcommand("show", "a profile's name, note, identity and values");
    shown->add_option("FILE", options->file, "profile file")->check(CommandLine::kPath)->required();
    AddJson(*shown, options->json);
    shown->callback([action] { *action = ShowProfile; });

    CLI::App* settings = command.add_subcommand(
        "settings", "write a profile's values into a settings file, keeping its port");
    settings->add_option("FILE", options->file, "profile file")
        ->check(CommandLine::kPath)
        ->required();
    settings->add_option("SETTINGS", options->settings, "the settings file to write")
        ->check(CommandLine::kPath)
        ->required();
    settings->callback([action] { *action = WriteSettings; });

    return [options, action] { return (*action)(*options); };
}
