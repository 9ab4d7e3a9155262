#include <gtest/gtest.h>

#include "FakeFiles.h"
#include "store/FileStore.h"
#include "store/RecordFile.h"

namespace {

using namespace WindowsError;
using Call = FakeFiles::Call;
using Disk = std::map<std::string, std::string>;
constexpr const char* kTemporary = FakeFiles::kTemporary;

const std::string kOld = "old";
const std::string kNew = "old changed";

// A change of "settings" as `vkd37 set` makes it: what was read, changed, or a new file.
SaveOutcome Change(FakeFiles& files, const LockWait& wait = {}) {
    return UpdateFileContents(
        "settings", 100,
        [](ReadOutcome read, const std::string& bytes, FileFailure&) -> std::optional<std::string> {
            return read == ReadOutcome::kRead ? bytes + " changed" : "new";
        },
        wait, files);
}

// The log with each run of one line as "line (n)".
std::vector<std::string> Runs(const std::vector<std::string>& log) {
    std::vector<std::string> runs;
    for (std::size_t at = 0, end = 0; at < log.size(); at = end) {
        for (end = at; end < log.size() && log[end] == log[at]; ++end) {
        }
        runs.push_back(log[at] + (end - at > 1 ? " (" + std::to_string(end - at) + ")" : ""));
    }
    return runs;
}

// A run of tries cut at the bound of a second, whose count the clock's ticks decide.
std::string Retried(const std::string& line) {
    return line + " (17)"; // a try at once, then one every 50 ms paused as 62.5 ms, up to 1 s
}

struct Case {
    const char* name;
    std::function<void(FakeFiles&)> play;
    SaveHow how;
    Disk left;
    std::string said; // the failure's text, "" when saved
    std::vector<std::string> log;
};

const std::string kCreate = "create <temporary>";
const std::string kSync = "sync <temporary>";
const std::string kReplace = "replace <temporary> settings";
const std::string kMove = "move <temporary> settings";

// Each branch of the save as Windows answers it, with what it leaves and what it says.
const Case kCases[] = {
    {"replaced whole",
     {},
     SaveHow::kReplaced,
     {{"settings", kNew}},
     "",
     {kCreate, kSync, kReplace}},
    {"a scanner holds the new file for a moment",
     [](FakeFiles& files) {
         files.answers = {{Call::kReplaceName, "", kSharingViolation, 3}};
     },
     SaveHow::kReplaced,
     {{"settings", kNew}},
     "",
     {kCreate, kSync, kReplace + " (4)"}},
    {"ReplaceFileW refused for good",
     [](FakeFiles& files) {
         files.answers = {{Call::kReplaceName, "", kAccessDenied}};
     },
     SaveHow::kWrittenInPlace,
     {{"settings", kNew}},
     "",
     {kCreate, kSync, kReplace, "remove <temporary>", "sync settings"}},
    {"the old file gone, the new one takes the name",
     [](FakeFiles& files) {
         files.answers = {{Call::kReplaceName, "", kUnableToMoveReplacement, 1}};
     },
     SaveHow::kReplaced,
     {{"settings", kNew}},
     "",
     {kCreate, kSync, kReplace, kMove}},
    {"the old file gone, the name refused, the file made anew",
     [](FakeFiles& files) {
         files.answers = {{Call::kReplaceName, "", kUnableToMoveReplacement, 1},
                          {Call::kTakeNewName, "", kAccessDenied}};
     },
     SaveHow::kReplaced,
     {{"settings", kNew}},
     "",
     {kCreate, kSync, kReplace, Retried(kMove), "create settings", "sync settings",
      "remove <temporary>"}},
    {"the old file gone, nothing takes the name",
     [](FakeFiles& files) {
         files.answers = {{Call::kReplaceName, "", kUnableToMoveReplacement, 1},
                          {Call::kTakeNewName, "", kAccessDenied},
                          {Call::kCreate, "settings", kAccessDenied}};
     },
     SaveHow::kFailed,
     {{kTemporary, kNew}},
     "cannot replace settings: Access is denied; the new contents are in <temporary>",
     {kCreate, kSync, kReplace, Retried(kMove)}},
    {"room for the file, not for a copy",
     [](FakeFiles& files) { files.room = kOld.size() + kNew.size() - 1; },
     SaveHow::kWrittenInPlace,
     {{"settings", kNew}},
     "",
     {kCreate, "remove <temporary>", "sync settings"}},
    {"a full disk",
     [](FakeFiles& files) { files.room = kOld.size() + 1; },
     SaveHow::kFailed,
     {{"settings", kOld}},
     "cannot write settings: There is not enough space on the disk",
     {kCreate, "remove <temporary>"}},
    {"ReplaceFileW refused, then the file itself",
     [](FakeFiles& files) {
         files.answers = {{Call::kReplaceName, "", kAccessDenied},
                          {Call::kWrite, "settings", kLockViolation}};
     },
     SaveHow::kFailed,
     {{"settings", kOld}},
     "cannot write settings: The process cannot access the file because another process has "
     "locked a portion of the file; nor could a new copy take its place: Access is denied",
     {kCreate, kSync, kReplace, "remove <temporary>"}},
    {"a read-only file",
     [](FakeFiles& files) { files.names["settings"]->readOnly = true; },
     SaveHow::kFailed,
     {{"settings", kOld}},
     "cannot replace settings: the file is read-only",
     {}},
    {"a read-only file under Wine as root",
     [](FakeFiles& files) {
         files.wine = true;
         files.names["settings"]->readOnly = true;
     },
     SaveHow::kFailed,
     {{"settings", kOld}},
     "cannot replace settings: the file is read-only",
     {}},
    {"a hard link",
     [](FakeFiles& files) { files.names["other"] = files.names["settings"]; },
     SaveHow::kWrittenInPlace,
     {{"other", kNew}, {"settings", kNew}},
     "",
     {"sync settings"}},
    {"Wine, whose ReplaceFileW is not one step",
     [](FakeFiles& files) { files.wine = true; },
     SaveHow::kWrittenInPlace,
     {{"settings", kNew}},
     "",
     {"sync settings"}},
    {"no file",
     [](FakeFiles& files) { files.names.clear(); },
     SaveHow::kCreated,
     {{"settings", "new"}},
     "",
     {kCreate, kSync, kMove}},
    {"no file, then another save's",
     [](FakeFiles& files) {
         files.names.clear();
         files.answers = {{Call::kTakeNewName, "", kAlreadyExists, 1,
                           [](FakeFiles& meanwhile) { meanwhile.Put("settings", "theirs"); }}};
     },
     SaveHow::kReplaced,
     {{"settings", "theirs changed"}},
     "",
     {kCreate, kSync, kMove, "remove <temporary>", kCreate, kSync, kReplace}},
    {"no file, and no temporary can be made",
     [](FakeFiles& files) {
         files.names.clear();
         files.answers = {{Call::kCreate, kTemporary, kAccessDenied}};
     },
     SaveHow::kCreated,
     {{"settings", "new"}},
     "",
     {"create settings", "sync settings"}},
    {"another save holds the lock",
     [](FakeFiles& files) { files.lockHeldFor = std::chrono::hours(1); },
     SaveHow::kFailed,
     {{"settings", kOld}},
     "cannot lock settings: another program holds the file",
     {}},
    {"another save replaces the file while this one waits",
     [](FakeFiles& files) {
         files.lockHeldFor = std::chrono::milliseconds(500);
         files.letGo = [](FakeFiles& meanwhile) { meanwhile.Put("settings", "theirs"); };
     },
     SaveHow::kReplaced,
     {{"settings", "theirs changed"}},
     "",
     {kCreate, kSync, kReplace}},
    {"a scanner holds the file",
     [](FakeFiles& files) {
         files.answers = {{Call::kOpen, "settings", kSharingViolation}};
     },
     SaveHow::kFailed,
     {{"settings", kOld}},
     "cannot read settings: The process cannot access the file because it is being used by "
     "another process",
     {}},
    {"a folder",
     [](FakeFiles& files) { files.names["settings"]->directory = true; },
     SaveHow::kFailed,
     {{"settings", kOld}},
     "cannot read settings: it is a directory, not a regular file",
     {}},
    {"a link to no file yet",
     [](FakeFiles& files) {
         files.names.clear();
         files.links["settings"] = "real/settings";
     },
     SaveHow::kCreated,
     {{"real/settings", "new"}},
     "",
     {kCreate, kSync, "move <temporary> real/settings"}},
};

TEST(WindowsSave, EachBranchLeavesAndSaysWhatItShould) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        FakeFiles files;
        files.Put("settings", kOld);
        if (c.play) {
            c.play(files);
        }
        const SaveOutcome saved = Change(files);
        EXPECT_EQ(c.how, saved.how);
        EXPECT_EQ(c.said, FakeFiles::Shown(saved.failure.text));
        EXPECT_EQ(c.left, files.Disk());
        EXPECT_EQ(c.log, Runs(files.log));
        // The stamp the outcome carries is the saved file's as it is now.
        FileStamp stamp;
        std::string bytes;
        FileFailure failure;
        if (saved.Saved() &&
            ReadFileContents(files.links.count("settings") ? "real/settings" : "settings", 100,
                             bytes, failure, &stamp, files) == ReadOutcome::kRead) {
            EXPECT_EQ(stamp, saved.stamp);
        }
    }
}

// A record's line is written whatever ends its wait for the lock, and says how the wait ended.
TEST(WindowsSave, ARecordLineTellsAHeldLockFromAStoppedWait) {
    for (const LockEnd end : {LockEnd::kTaken, LockEnd::kHeld, LockEnd::kStopped}) {
        FakeFiles files;
        files.Put("settings", "");
        files.lockHeldFor =
            end == LockEnd::kTaken ? std::chrono::milliseconds(0) : std::chrono::hours(1);
        RecordFile record(files);
        ASSERT_FALSE(record.Open("settings"));
        const RecordFile::Appended appended =
            record.Append("line\n", {1000, [end] { return end != LockEnd::kStopped; }});
        EXPECT_EQ(end, appended.lock);
        EXPECT_FALSE(appended.failure);
        EXPECT_EQ((Disk{{"settings", "line\n"}}), files.Disk());
    }
}

} // namespace
