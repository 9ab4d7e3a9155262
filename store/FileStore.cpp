#include "store/FileStore.h"

#include "store/SaveSteps.h"
#include "platform/StopSignals.h"

namespace {

// Reads, changes and writes the file under its lock: in one step where it can, else in place.
// Nothing when it is missing or was replaced while this save waited (`locking` says which).
// A stop signal ends the wait for the lock; once it is taken, the save ends whole first.
SaveHow ChangeLockedFile(const char* name, const std::string& target, std::size_t limit,
                         const ContentChange& change, const LockWait& wait, Locking& locking,
                         long long& written, FileFailure& failure) {
    const std::unique_ptr<LockedFile> file =
        LockFile(name, target, limit > 0, wait, locking, failure);
    if (!file) {
        return SaveHow::kFailed;
    }
    const HoldStopSignals held;
    std::string old;
    if (!file->Read(limit, old, failure)) {
        return SaveHow::kFailed;
    }
    const std::optional<std::string> contents = change(ReadOutcome::kRead, old, failure);
    if (!contents) {
        return SaveHow::kFailed;
    }
    switch (file->ReplaceWhole(*contents, written, failure)) {
    case LockedFile::Replacement::kDone:
        return SaveHow::kReplaced;
    case LockedFile::Replacement::kFailed:
        return SaveHow::kFailed;
    case LockedFile::Replacement::kRefused:
        break;
    }
    return file->WriteInPlace(*contents, written, failure) ? SaveHow::kWrittenInPlace
                                                           : SaveHow::kFailed;
}

SaveOutcome Failed(FileFailure failure) {
    return {SaveHow::kFailed, std::move(failure)};
}

} // namespace

SaveOutcome UpdateFileContents(const char* name, std::size_t limit, const ContentChange& change,
                               const LockWait& wait) {
    FileFailure failure;
    const std::optional<std::string> target = FileBehindLinks(name, limit > 0, failure);
    if (!target) {
        return Failed(std::move(failure));
    }
    // Each new attempt follows a save by another program that replaced or created the file.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        long long written = 0;
        Locking locking = Locking::kFailed;
        const SaveHow how =
            ChangeLockedFile(name, *target, limit, change, wait, locking, written, failure);
        if (how != SaveHow::kFailed) {
            RemoveStaleTemporaryFiles(*target, written);
            return {how, {}};
        }
        if (locking == Locking::kMissing) {
            const HoldStopSignals held;
            const std::optional<std::string> contents = change(ReadOutcome::kMissing, {}, failure);
            if (!contents) {
                return Failed(std::move(failure));
            }
            switch (CreateMissingFile(name, *target, *contents, written, failure)) {
            case Creation::kDone:
                RemoveStaleTemporaryFiles(*target, written);
                return {SaveHow::kCreated, {}};
            case Creation::kFailed:
                return Failed(std::move(failure));
            case Creation::kTaken:
                continue;
            }
        }
        if (locking != Locking::kReplaced) {
            return Failed(std::move(failure));
        }
    }
    return Failed(
        StoreFailure(FileFault::kHeld, "replace", name, "other programs kept replacing it"));
}

SaveOutcome ReplaceFileContents(const char* name, std::string_view bytes, const LockWait& wait) {
    return UpdateFileContents(
        name, 0,
        [bytes](ReadOutcome, const std::string&, FileFailure&) -> std::optional<std::string> {
            return std::string(bytes);
        },
        wait);
}
