#include "cli/ValueSources.h"

#include "cli/ExitStatus.h"
#include "cli/LoadValues.h"
#include "store/ParameterFile.h"
#include "record/LabelText.h"
#include "record/StationRecord.h"
#include "store/FileStore.h"

namespace {

// Far beyond years of records, as report takes them.
constexpr std::size_t kReadLimit = std::size_t{1} << 30;

std::string ReadWhole(const std::string& path) {
    std::string text;
    FileFailure failure;
    if (ReadFileContents(path.c_str(), kReadLimit, text, failure) != ReadOutcome::kRead) {
        throw CommandError(kExitUsage, failure.text);
    }
    return text;
}

bool LooksLikeRecord(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    return first != std::string::npos && text[first] == '{';
}

NamedValues Named(std::string label, const ParameterSet& set, bool hasPort = false) {
    std::string shown = EscapedControls(label);
    return {std::move(label), std::move(shown), set, hasPort};
}

} // namespace

Profile LoadProfile(const std::string& path) {
    ProfileReading reading = ReadProfileText(ReadWhole(path));
    if (!reading.profile) {
        // The problem may quote the file: a key, a word.
        throw CommandError(kExitUsage,
                           path + " is not a profile: " + EscapedControls(reading.problem));
    }
    return std::move(*reading.profile);
}

NamedValues ValuesFrom(const std::string& path, const std::string& unit) {
    const std::string text = ReadWhole(path);
    if (LooksLikeProfile(text)) {
        const Profile profile = LoadProfile(path);
        return Named("profile " + profile.name + " [" +
                         ShortIdentity(ValuesIdentity(profile.values)) + "] (" + path + ")",
                     profile.values);
    }
    if (LooksLikeRecord(text)) {
        if (unit.empty()) {
            throw CommandError(kExitUsage, path + " is a record: name the unit with --unit");
        }
        CommissioningRecord record;
        ReadRecordText(text, record);
        const RecordEntry* last = LastConfirmed(record, unit);
        if (!last) {
            throw CommandError(kExitUsage, path +
                                               " holds no confirmed upload with every value for "
                                               "the unit " +
                                               ShownLabel(unit));
        }
        const std::string where = " in " + path + ", confirmed " + last->time;
        // The unit's label is shown as labels are, its backslashes doubled.
        return {"unit " + unit + where, "unit " + ShownLabel(unit) + EscapedControls(where),
                *EntryValues(*last)};
    }
    const LoadedValues loaded = LoadValues({path, {}}, WhenMissing::kRefuse);
    if (loaded.reading.StoppedAtUnreadable()) {
        throw CommandError(kExitUsage, path +
                                           " is neither a settings file, a profile nor a "
                                           "record: " +
                                           IncompleteReadingText(loaded.reading));
    }
    return Named("settings file " + path, loaded.set, true);
}
