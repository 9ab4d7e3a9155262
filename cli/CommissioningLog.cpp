#include "cli/CommissioningLog.h"

#include "cli/ExitStatus.h"
#include "cli/HostName.h"
#include "cli/SaveLockWait.h"
#include "platform/StopSignals.h"
#include "model/ParameterText.h"
#include "record/RecordChain.h"

namespace {

// What a file about to take record lines holds instead of a record, as profile new --replace
// judges a file it would write over: a profile, settings (numbers and nothing else up to the
// values' end: a record's line cut to a time's digits reads on into text), or text in UTF-16,
// which a line of UTF-8 would garble; nothing where it may be a record.
std::optional<std::string> HeldInstead(const std::string& start) {
    if (LooksLikeProfile(start)) {
        return "a profile";
    }
    ParameterSet values;
    const ParameterReading reading = ReadParameterText(start, values);
    if (reading.values > 0 && !reading.StoppedAtUnreadable()) {
        return "settings";
    }
    if (start.rfind("\xFF\xFE", 0) == 0 || start.rfind("\xFE\xFF", 0) == 0) {
        return "text in UTF-16";
    }
    return std::nullopt;
}

} // namespace

CommissioningLog::CommissioningLog(const std::string& path, std::string station,
                                   const std::optional<Profile>& profile,
                                   const std::vector<ValuesFile>& valuesFiles)
    : path_(path), station_(std::move(station)) {
    if (profile) {
        profile_ = profile->name;
        profileId_ = ValuesIdentity(profile->values);
    }
    if (path.empty()) {
        return;
    }
    if (const std::optional<FileFailure> failure = file_.Open(path)) {
        throw CommandError(kExitUsage, "cannot open the log " + path + ": " + failure->cause);
    }
    for (const ValuesFile& file : valuesFiles) {
        if (!file.path.empty() && file_.Is(file.path)) {
            throw CommandError(kExitUsage, "cannot open the log " + path + ": it is " + file.what +
                                               " " + file.path + ", not a record");
        }
    }
    if (const std::optional<std::string> held = HeldInstead(file_.Start(kParameterFileReadLimit))) {
        throw CommandError(kExitUsage, "cannot open the log " + path + ": it holds " + *held +
                                           ", not a record");
    }
}

CommissioningLog::Appended CommissioningLog::Append(RecordEntry entry) {
    entry.station = station_;
    entry.profile = profile_;
    entry.profileId = profileId_;
    if (!IsOpen()) {
        return {RecordLine(entry), std::nullopt};
    }
    // A last line no reader holds, or one a stop signal kept from being read, cannot be linked
    // to: the line holds no link, and the chain breaks there, rather than link to what no reader
    // can check.
    const RecordFile::AppendedAfter appended = file_.AppendAfter(
        [&entry](std::optional<std::string_view> last) {
            entry.prev = last ? ChainLink(*last) : "";
            return RecordLine(entry) + "\n";
        },
        SaveLockWait(path_), {RecordLines::kLongestLine, [] { return CaughtStopSignal() == 0; }});
    Appended written{appended.line.substr(0, appended.line.size() - 1), Failure(appended.failure)};
    lastWritten_ = !written.failure;
    if (lastWritten_) {
        head_ = ShortIdentity(ChainLink(written.line));
    } else {
        entry.prev.clear();
        written.line = RecordLine(entry);
        written.line.insert(written.line.size() - 1, ",\"recorded\":false");
    }
    return written;
}

// An attempt whose line was not written names no head: the one before would seem to cover it.
std::string CommissioningLog::HeadAfterAttempt() const {
    return head_.empty() || !lastWritten_ ? "" : "; record head " + head_;
}

std::optional<std::string> CommissioningLog::HeadAtEnd() const {
    if (head_.empty()) {
        return std::nullopt;
    }
    return "The record " + path_ + " ends at head " + head_ +
           ": keep it, to check the record with vkd37 report --verify --head " + head_;
}

std::optional<std::string> CommissioningLog::Close() {
    return Failure(file_.Close());
}

std::optional<std::string>
CommissioningLog::Failure(const std::optional<FileFailure>& failure) const {
    if (!failure) {
        return std::nullopt;
    }
    return "cannot write the log " + path_ + ": " + failure->cause;
}

std::string StationName(const std::string& given) {
    return given.empty() ? HostName() : given;
}
