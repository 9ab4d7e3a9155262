#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/ExitStatus.h"
#include "cli/JsonText.h"
#include "cli/LoadValues.h"
#include "cli/Output.h"
#include "cli/SaveLockWait.h"
#include "cli/ValueSources.h"
#include "cli/commands/Command.h"
#include "model/ParameterAssignment.h"
#include "record/LabelText.h"
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
    bool replace = false; // a profile already at FILE may be replaced
};

// The profile's contents where FILE may take them: a new file, or with --replace an older
// profile. Anything else at that name (a settings file, a record, a mistyped name's other file)
// is never written over.
std::optional<std::string> NewContents(const ProfileOptions& options, const std::string& text,
                                       ReadOutcome found, const std::string& old,
                                       FileFailure& failure) {
    if (found == ReadOutcome::kMissing || (options.replace && LooksLikeProfile(old))) {
        return text;
    }
    const ProfileReading older = ReadProfileText(old);
    const std::string cause =
        older.profile ? "it holds the profile " + EscapedControls(older.profile->name) +
                            " already; --replace replaces it"
        : LooksLikeProfile(old) ? "it holds a profile already; --replace replaces it"
                                : "it is not a profile, and a new profile never replaces another "
                                  "file";
    failure = StoreFailure(FileFault::kRefused, "write", options.file.c_str(), cause);
    return std::nullopt;
}

// A profile of a settings file's values (or the start values), refused where the dialog would
// refuse one of them; the file is written whole or not at all.
int NewProfile(const ProfileOptions& options) {
    if (TrimmedLabel(options.name).empty()) {
        throw CommandError(kExitUsage, "the profile needs a name; nothing was written");
    }
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
    const std::string text = ProfileText(profile);
    const SaveOutcome saved = UpdateFileContents(
        options.file.c_str(), kStoreReadLimit,
        [&](ReadOutcome found, const std::string& old, const FileStamp&, FileFailure& failure) {
            return NewContents(options, text, found, old, failure);
        },
        SaveLockWait(options.file));
    if (!saved.Saved()) {
        throw CommandError(kExitUsage, saved.failure.text);
    }
    PrintLine(options.file + ": profile " + EscapedControls(profile.name) + " [" +
              ValuesIdentity(profile.values) + "]");
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
    // The name and the note are the file's: no byte of theirs may steer the terminal.
    std::string text =
        "profile   " + EscapedControls(profile.name) + "\nidentity  " + identity + "\n";
    if (!profile.note.empty()) {
        text += "note      " + EscapedControls(profile.note) + "\n";
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
        "new", "write a profile of a settings file's values (--from), or of the start values, "
               "under a name that is not blank, to a FILE that is new (or, with --replace, a "
               "profile)");
    made->add_option("NAME", options->name, "the profile's name")->required();
    made->add_option("FILE", options->file, "the profile file to write")
        ->check(CommandLine::kPath)
        ->required();
    made->add_option("--from", options->settings, "the settings file whose values it takes")
        ->check(CommandLine::kPath);
    made->add_option("--note", options->note, "a free-text note, such as who approved it");
    made->add_flag("--replace", options->replace,
                   "replace the profile FILE holds; without it an existing FILE is left as it "
                   "is, and a file that is not a profile is never replaced");
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
