#include <gtest/gtest.h>

#include "FakeFiles.h"
#include "link/EchoRule.h"
#include "link/UploadFrame.h"
#include "store/FileStore.h"
#include "ui/SaveWait.h"

namespace {

using std::chrono::milliseconds;
using Call = FakeFiles::Call;

// From the click until its save has ended the dialog answers no message: the longest send (the
// write and the read each at their bound) and the save's waits, by Windows' 15.6 ms tick, stay
// within the time after which Windows calls the window not responding, whatever holds the file.
TEST(DialogSave, KeepsTheWindowWithinWindowsBoundWhateverHoldsTheFile) {
    const milliseconds send(2 * LineTiming::TransferLimitMs(UploadFrame{}.size()));
    const milliseconds lastMoment(kSaveWaitMs - 20);
    const struct {
        const char* name;
        milliseconds lock;
        std::vector<FakeFiles::Answer> answers;
    } cases[] = {
        {"another save holds the lock", std::chrono::hours(1), {}},
        {"it lets go at the last moment, and a scanner holds the new file",
         lastMoment,
         {{Call::kReplaceName, "", WindowsError::kSharingViolation}}},
        {"the old file gone, and a scanner holds the new one",
         lastMoment,
         {{Call::kReplaceName, "", WindowsError::kUnableToMoveReplacement, 1},
          {Call::kTakeNewName, "", WindowsError::kSharingViolation}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFiles files;
        files.Put("settings", "old");
        files.lockHeldFor = c.lock;
        files.answers = c.answers;
        ReplaceFileContents("settings", "new", {kSaveWaitMs, {}}, files);
        EXPECT_GE(files.clock.Elapsed(), lastMoment);
        EXPECT_LT(send + files.clock.Elapsed(), milliseconds(kNotRespondingMs))
            << "send " << send.count() << " ms, save " << files.clock.Elapsed().count() << " ms";
    }
}

} // namespace
