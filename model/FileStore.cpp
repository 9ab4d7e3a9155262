#include "model/FileStore.h"

#include "model/SaveSteps.h"

namespace {

// Reads, changes and writes the file under its lock: in one step where it can, else in place.
// Nothing when it is missing or was replaced while this save waited (`locking` says which).
bool ChangeLockedFile(const char* name, const std::string& target, std::size_t limit,
                      const ContentChange& change, Locking& locking, long long& written,
                      std::string& error) {
    const std::unique_ptr<LockedFile> file = LockFile(name, target, limit > 0, locking, error);
    std::string old;
    if (!file || !file->Read(limit, old, error)) {
        return false;
    }
    const std::optional<std::string> contents = change(ReadOutcome::kRead, old, error);
    if (!contents) {
        return false;
    }
    switch (file->ReplaceWhole(*contents, written, error)) {
    case LockedFile::Replacement::kDone:
        return true;
    case LockedFile::Replacement::kFailed:
        return false;
    case LockedFile::Replacement::kRefused:
        break;
    }
    return file->WriteInPlace(*contents, written, error);
}

} // namespace

bool UpdateFileContents(const char* name, std::size_t limit, const ContentChange& change,
                        std::string& error) {
    const std::optional<std::string> target = FileBehindLinks(name, limit > 0, error);
    if (!target) {
        return false;
    }
    // Each new attempt follows a save by another program that replaced or created the file.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        long long written = 0;
        Locking locking = Locking::kFailed;
        if (ChangeLockedFile(name, *target, limit, change, locking, written, error)) {
            RemoveStaleTemporaryFiles(*target, written);
            return true;
        }
        if (locking == Locking::kMissing) {
            const std::optional<std::string> contents = change(ReadOutcome::kMissing, {}, error);
            if (!contents) {
                return false;
            }
            switch (CreateMissingFile(name, *target, *contents, written, error)) {
            case Creation::kDone:
                RemoveStaleTemporaryFiles(*target, written);
                return true;
            case Creation::kFailed:
                return false;
            case Creation::kTaken:
                continue;
            }
        }
        if (locking != Locking::kReplaced) {
            return false;
        }
    }
    error = FileError("replace", name, "other programs kept replacing it");
    return false;
}

bool ReplaceFileContents(const char* name, std::string_view bytes, std::string& error) {
    return UpdateFileContents(
        name, 0,
        [bytes](ReadOutcome, const std::string&, std::string&) -> std::optional<std::string> {
            return std::string(bytes);
        },
        error);
}
