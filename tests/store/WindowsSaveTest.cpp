#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "FakeFiles.h"
#include "store/FileStore.h"
#include "store/RecordFile.h"

namespace {

using namespace WindowsError;
using Call = FakeFiles::Call;
using Disk = std::map<std::string, std::string>;

const std::string kOld = "old";
const std::string kNew = "old changed";

// A change of "settings" as `vkd37 set` makes it: what was read, changed, or a new file.
SaveOutcome Change(FakeFiles& files, const LockWait& wait = {}) {
    return UpdateFileContents(
        "settings", 100,
        [](ReadOutcome read, const std::string& bytes, const FileStamp&,
           FileFailure&) -> std::optional<std::string> {
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

struct Case {
    const char* name;
    std::vector<FakeFiles::Answer> answers;
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
// Tried at once, then every 50 ms (62.5 by Windows' ticks) for a second.
const std::string kMovesForASecond = kMove + " (17)";
const std::string kRemove = "remove <temporary>";
const std::string kCut = "cut settings";
const FakeFiles::Answer kUnableToMove = {Call::kReplaceName, "", kUnableToMoveReplacement, 1};
const auto kNoFile = [](FakeFiles& files) { files.names.clear(); };
const auto kTheirs = [](FakeFiles& files) { files.Put("settings", "theirs"); };

// Each branch of the save as Windows answers it, with what it leaves and what it says.
// clang-format off
const Case kCases[] = {
    {"replaced whole", {}, {},
     SaveHow::kReplaced, {{"settings", kNew}}, "", {kCreate, kSync, kReplace}},
    {"a scanner holds the new file for a moment",
     {{Call::kReplaceName, "", kSharingViolation, 3}}, {},
     SaveHow::kReplaced, {{"settings", kNew}}, "", {kCreate, kSync, kReplace + " (4)"}},
    {"ReplaceFileW refused for good", {{Call::kReplaceName, "", kAccessDenied}}, {},
     SaveHow::kWrittenInPlace, {{"settings", kNew}}, "",
     {kCreate, kSync, kReplace, kRemove, kCut, "sync settings"}},
    {"the old file gone, the new one takes the name", {kUnableToMove}, {},
     SaveHow::kReplaced, {{"settings", kNew}}, "", {kCreate, kSync, kReplace, kMove}},
    {"the old file gone, the name refused, the file made anew",
     {kUnableToMove, {Call::kTakeNewName, "", kAccessDenied}}, {},
     SaveHow::kReplaced, {{"settings", kNew}}, "",
     {kCreate, kSync, kReplace, kMovesForASecond, "create settings", "sync settings", kRemove}},
    {"the old file gone, nothing takes the name",
     {kUnableToMove, {Call::kTakeNewName, "", kAccessDenied},
      {Call::kCreate, "settings", kAccessDenied}}, {},
     SaveHow::kFailed, {{"<temporary>", kNew}},
     "cannot replace settings: Access is denied; the new contents are in <temporary>",
     {kCreate, kSync, kReplace, kMovesForASecond}},
    {"room for the file, not for a copy", {},
     [](FakeFiles& files) { files.room = kOld.size() + kNew.size() - 1; },
     SaveHow::kWrittenInPlace, {{"settings", kNew}}, "", {kCreate, kRemove, kCut, "sync settings"}},
    {"a full disk", {}, [](FakeFiles& files) { files.room = kOld.size() + 1; },
     SaveHow::kFailed, {{"settings", kOld}},
     "cannot write settings: There is not enough space on the disk", {kCreate, kRemove, kCut}},
    {"ReplaceFileW refused, then the file itself",
     {{Call::kReplaceName, "", kAccessDenied}, {Call::kWrite, "settings", kLockViolation}}, {},
     SaveHow::kFailed, {{"settings", kOld}},
     "cannot write settings: The process cannot access the file because another process has "
     "locked a portion of the file; nor could a new copy take its place: Access is denied",
     {kCreate, kSync, kReplace, kRemove, kCut}},
    {"no file, no temporary, no room", {{Call::kCreate, "<temporary>", kAccessDenied}},
     [](FakeFiles& files) { kNoFile(files), files.room = 2; },
     SaveHow::kFailed, {}, "cannot write settings: There is not enough space on the disk",
     {"create settings", "remove settings"}},
    {"another program locked part of the file", {{Call::kRead, "settings", kLockViolation}}, {},
     SaveHow::kFailed, {{"settings", kOld}},
     "cannot read settings: The process cannot access the file because another process has "
     "locked a portion of the file", {}},
    {"the lock refused, not waited for", {{Call::kLock, "", kAccessDenied, 1}}, {},
     SaveHow::kFailed, {{"settings", kOld}}, "cannot lock settings: Access is denied", {}},
    {"a share that keeps no locks", {}, [](FakeFiles& files) { files.locksKept = false; },
     SaveHow::kReplaced, {{"settings", kNew}}, "", {kCreate, kSync, kReplace}},
    {"a file this user may not read", {{Call::kOpen, "settings", kAccessDenied}}, {},
     SaveHow::kFailed, {{"settings", kOld}}, "cannot read settings: Access is denied", {}},
    {"a read-only file", {}, [](FakeFiles& files) { files.names["settings"]->readOnly = true; },
     SaveHow::kFailed, {{"settings", kOld}}, "cannot replace settings: the file is read-only", {}},
    {"a read-only file under Wine as root", {},
     [](FakeFiles& files) { files.wine = files.names["settings"]->readOnly = true; },
     SaveHow::kFailed, {{"settings", kOld}}, "cannot replace settings: the file is read-only", {}},
    {"a hard link", {}, [](FakeFiles& files) { files.names["other"] = files.names["settings"]; },
     SaveHow::kWrittenInPlace, {{"other", kNew}, {"settings", kNew}}, "", {kCut, "sync settings"}},
    {"Wine, whose ReplaceFileW is not one step", {}, [](FakeFiles& files) { files.wine = true; },
     SaveHow::kWrittenInPlace, {{"settings", kNew}}, "", {kCut, "sync settings"}},
    {"no file, then another save's", {},
     [](FakeFiles& files) { kNoFile(files), files.meanwhile[Call::kTakeNewName] = kTheirs; },
     SaveHow::kReplaced, {{"settings", "theirs changed"}}, "",
     {kCreate, kSync, kMove, kRemove, kCreate, kSync, kReplace}},
    {"no file, no temporary", {{Call::kCreate, "<temporary>", kAccessDenied}}, kNoFile,
     SaveHow::kCreated, {{"settings", "new"}}, "", {"create settings", "sync settings"}},
    {"another save replaces the file while this one waits", {},
     [](FakeFiles& files) {
         files.lockHeldFor = std::chrono::milliseconds(500);
         files.meanwhile[Call::kLockTaken] = kTheirs;
     },
     SaveHow::kReplaced, {{"settings", "theirs changed"}}, "", {kCreate, kSync, kReplace}},
    {"a link to no file yet", {},
     [](FakeFiles& files) { kNoFile(files), files.links["settings"] = "real/settings"; },
     SaveHow::kCreated, {{"real/settings", "new"}}, "",
     {kCreate, kSync, "move <temporary> real/settings"}},
};
// clang-format on

TEST(WindowsSave, EachBranchLeavesAndSaysWhatItShould) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        FakeFiles files;
        files.Put("settings", kOld);
        files.answers = c.answers;
        if (c.play) {
            c.play(files);
        }
        const SaveOutcome saved = Change(files);
        EXPECT_EQ(c.how, saved.how);
        EXPECT_EQ(c.said, FakeFiles::Shown(saved.failure.text));
        EXPECT_EQ(c.left, files.Disk());
        EXPECT_EQ(c.log, Runs(files.log));
        // A file this user may not read is not read-only.
        EXPECT_TRUE(c.said.rfind("cannot read", 0) || saved.failure.fault != FileFault::kReadOnly);
        // The stamp the outcome carries is the saved file's as it is now.
        std::string target;
        files.FollowLinks("settings", target);
        const FileStamp now = files.Open(target, FileSystem::Access::kLook).info.stamp;
        EXPECT_TRUE(!saved.Saved() || now == saved.stamp);
    }
}

// In place, a shorter text blanks the rest of the old one before the file is cut, so that a crash
// between the two leaves nothing of the old values to read.
TEST(WindowsSave, InPlaceTheOldTextIsBlankedBeforeTheCut) {
    FakeFiles files;
    files.wine = true;
    files.Put("settings", "1 2 3 4");
    std::string beforeCut;
    files.meanwhile[Call::kCut] = [&](FakeFiles& f) { beforeCut = f.names["settings"]->bytes; };
    ReplaceFileContents("settings", "5 6", {}, files);
    EXPECT_EQ("5 6    ", beforeCut);
    EXPECT_EQ((Disk{{"settings", "5 6"}}), files.Disk());
}

// A record's line is written whatever ends its wait for the lock, and says how the wait ended.
TEST(WindowsSave, ARecordLineTellsAHeldLockFromAStoppedWait) {
    for (const LockEnd end : {LockEnd::kTaken, LockEnd::kHeld, LockEnd::kStopped}) {
        FakeFiles files;
        files.lockHeldFor = std::chrono::hours(end == LockEnd::kTaken ? 0 : 1);
        RecordFile record(files);
        ASSERT_FALSE(record.Open("settings"));
        const RecordFile::Appended appended =
            record.Append("line\n", {1000, [end] { return end != LockEnd::kStopped; }});
        EXPECT_EQ(end, appended.lock);
        EXPECT_FALSE(appended.failure);
        EXPECT_EQ((Disk{{"settings", "line\n"}}), files.Disk()); // made, and the line written
    }
}

// Lines never run into each other: a cut last line is ended before the next, and a line the disk
// cuts is taken back where the file may be shortened and nobody else writes, else ended.
TEST(WindowsSave, ARecordLineIsWholeOrNothingAndNeverRunsIntoAnother) {
    const std::string kFirst = "{\"time\":\"1\"}\n";
    const struct {
        const char* name;
        std::string before;
        std::size_t room; // the disk's, for the first line; the second finds room
        bool lengthFixed;
        bool lockHeld;
        std::string afterFirst; // the first line fails unless this ends with it
        std::string afterSecond;
    } cases[] = {
        {"a cut last line", "{\"ti", 1000, true, false, "{\"ti\nline\n", "{\"ti\nline\nline\n"},
        {"a full disk, the file shortened", kFirst, kFirst.size() + 2, false, false, kFirst,
         kFirst + "line\n"},
        {"a full disk, an append-only handle", kFirst, kFirst.size() + 2, true, false,
         kFirst + "li", kFirst + "li\nline\n"},
        {"a full disk, another program's lock", kFirst, kFirst.size() + 2, false, true,
         kFirst + "li", kFirst + "li\nline\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFiles files;
        files.Put("settings", c.before);
        files.room = c.room;
        files.appendOnlyLengthFixed = c.lengthFixed;
        files.lockHeldFor = std::chrono::hours(c.lockHeld ? 1 : 0);
        RecordFile record(files);
        ASSERT_FALSE(record.Open("settings"));
        const bool kept =
            c.afterFirst.size() >= 5 && c.afterFirst.substr(c.afterFirst.size() - 5) == "line\n";
        EXPECT_EQ(kept, !record.Append("line\n", {0, {}}).failure);
        EXPECT_EQ(c.afterFirst, files.Disk()["settings"]);
        files.room = static_cast<std::size_t>(-1);
        EXPECT_FALSE(record.Append("line\n", {0, {}}).failure);
        EXPECT_EQ(c.afterSecond, files.Disk()["settings"]);
    }
}

// The chain links a line to the record's last line as readers take lines: found from the end,
// never read further back than the longest line they hold, and given up at a stop; the line is
// written all the same.
TEST(WindowsSave, ARecordsLastLineIsReadFromItsEndAsFarAsReadersHoldLines) {
    constexpr std::size_t kLongest = std::size_t{100} << 10; // past one read
    const std::string wide(kLongest, 'w');
    const struct {
        const char* name;
        std::string record;
        std::optional<std::string> last;
    } cases[] = {
        {"none", "", ""},
        {"blank lines only", "\n \r\n\t\n", ""},
        {"cut", "a\nb", "b"},
        {"blank lines after it, CR LF", "a\r\nb\r\n\r\n  \n", "b\r"},
        {"a byte-order mark alone after it (a marked file joined on)", "a\nb\n\xEF\xBB\xBF \n",
         "b"},
        {"a byte-order mark before it", "\xEF\xBB\xBF" + std::string("b"),
         "\xEF\xBB\xBF"
         "b"},
        {"as long as readers hold", "a\n" + wide + "\n\n", wide},
        {"the file's only line", wide, wide},
        {"longer than readers hold", "a\n" + wide + "w\n", std::nullopt},
        {"a blank line longer than readers hold", "a\n" + wide + " \n", std::nullopt},
        {"far longer", "a\n" + std::string(std::size_t{10} << 20, 'x'), std::nullopt},
    };
    for (const bool stop : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (stop ? ", stopped" : ""));
            FakeFiles files;
            files.Put("record", c.record);
            RecordFile record(files);
            ASSERT_FALSE(record.Open("record"));
            std::optional<std::string> given = "not asked";
            int reads = 0;
            const auto lineAfter = [&given](std::optional<std::string_view> last) {
                given = last ? std::optional<std::string>(*last) : std::nullopt;
                return std::string("line\n");
            };
            const auto keepReading = [&reads, stop] { return ++reads, !stop; };
            EXPECT_FALSE(record.AppendAfter(lineAfter, {0, {}}, {kLongest, keepReading}).failure);
            EXPECT_EQ(stop && !c.record.empty() ? std::nullopt : c.last, given);
            EXPECT_LE(reads, 3); // the limit and a read's worth
            const std::string after = files.Disk()["record"];
            EXPECT_EQ("line\n", after.substr(after.size() - 5));
        }
    }
}

} // namespace
