#include "store/FileStore.h"

#include <algorithm>
#include <utility>

#include "platform/StopSignals.h"
#include "store/FileNames.h"
#include "store/FileSteps.h"
#include "store/SystemFileSystem.h"

namespace {

using Access = FileSystem::Access;

constexpr std::size_t kFirstReadSize = 64 * 1024;

// Virus scanners and indexers open a freshly written file for a moment; a rename then fails with
// a sharing error, so it is tried again for about a second, within the save's own time.
constexpr Deadline::Ms kScannerMoment{1000};
constexpr Deadline::Ms kScannerPace{50};

// The cause when another program's save has held the lock for all of the wait.
constexpr char kHeldByAnotherProgram[] = "another program holds the file";

// A temporary file, removed again unless it has taken the file's place (Release).
class Temporary {
public:
    explicit Temporary(FileSystem& files) : files_(files) {}
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary() { Remove(); }

    const std::string& Path() const { return path_; }
    void Take(std::string path) { path_ = std::move(path); }
    void Release() { path_.clear(); }
    void Remove() {
        if (!path_.empty()) {
            files_.Remove(path_);
            path_.clear();
        }
    }

private:
    FileSystem& files_;
    std::string path_;
};

// A file this user may not read is not read-only: only the system's words say why.
FileFailure ReadFailure(FileFailure failure) {
    if (failure.fault == FileFault::kReadOnly) {
        failure.fault = FileFault::kOther;
    }
    return failure;
}

FileFailure ReadOnlyFailure(const char* name) {
    return StoreFailure(FileFault::kReadOnly, "replace", name, "the file is read-only");
}

bool IsMissing(const FileSystem& files, const FileSystem::Opened& opened) {
    return !opened.notRegular && files.Meaning(opened.error).kind == ErrorKind::kMissing;
}

// Why a wait ended without what it waited for.
FileFailure WaitFailure(WaitEnd end, const char* name) {
    return end == WaitEnd::kStopped
               ? StoreFailure(FileFault::kStopped, "lock", name,
                              std::string(kHeldByAnotherProgram) + "; stopped waiting")
               : StoreFailure(FileFault::kHeld, "lock", name, kHeldByAnotherProgram);
}

// The file's first `limit` bytes; an error leaves none.
SystemErrorCode ReadAll(FileSystem& files, FileRef file, std::size_t limit, std::string& bytes) {
    bytes.assign(std::min(limit, kFirstReadSize), '\0');
    std::size_t filled = 0;
    while (filled < limit) {
        if (filled == bytes.size()) {
            bytes.resize(std::min(limit, bytes.size() * 2));
        }
        std::size_t read = 0;
        if (const SystemErrorCode error =
                files.ReadAt(file, filled, bytes.data() + filled, bytes.size() - filled, read)) {
            bytes.clear();
            return error;
        }
        if (read == 0) {
            break;
        }
        filled += read;
    }
    bytes.resize(filled);
    return 0;
}

// One save: the file it changes, and the time it may wait.
struct Save {
    Save(FileSystem& files, const char* name, const LockWait& wait)
        : files(files), name(name), deadline(SaveDeadline(wait, files)) {}

    FileSystem& files;
    const char* name; // as the user gave it, for every message
    std::string target;
    Deadline deadline;
    FileStamp stamp;                    // of the file as the save left it
    FileFailure failure;                // why it failed
    std::optional<FileFailure> gaveWay; // why no new copy took the file's place
};

// Tries `rename` again while the file is held for a moment, as long as a scanner holds one and
// the save's time lasts. A move is refused so too while another program holds the file open;
// a replacement refused so is refused for good.
template <class Rename> SystemErrorCode RetryWhileHeld(Save& save, bool moving, Rename rename) {
    Deadline retry(std::min(kScannerMoment, save.deadline.Remaining()), kScannerPace, {},
                   save.files.Clock());
    SystemErrorCode error = 0;
    retry.Until([&] {
        error = rename();
        const ErrorKind kind = error ? save.files.Meaning(error).kind : ErrorKind::kOther;
        return kind != ErrorKind::kHeldForAMoment && !(moving && kind == ErrorKind::kDenied);
    });
    return error;
}

enum class Locking {
    kLocked,   // the file is open and locked for the save
    kMissing,  // there is no file to lock
    kReplaced, // another save put a new file in the place of the one locked: start again
    kFailed,   // the file cannot be opened or locked (save.failure)
};

// Opens the file for the change and takes its lock, waiting for a lease and the lock within the
// save's time. kReplaced when another save put its new file in the place of the one locked here
// while this one waited: the lock then guards nothing.
Locking OpenAndLock(Save& save, bool reading, OwnedFile& file, FileSystem::Info& info) {
    FileSystem& files = save.files;
    FileSystem::Opened opened;
    // A lease's holder has been told to give it back by the open that was refused.
    for (;;) {
        opened = files.Open(save.target, reading ? Access::kReadWrite : Access::kWrite);
        if (opened.file != kNoFile || files.Meaning(opened.error).kind != ErrorKind::kLeased) {
            break;
        }
        if (const std::optional<WaitEnd> end = save.deadline.Pause()) {
            save.failure = WaitFailure(*end, save.name);
            return Locking::kFailed;
        }
    }
    file = OwnedFile(files, opened.file);
    if (!file) {
        const ErrorKind kind = files.Meaning(opened.error).kind;
        if (IsMissing(files, opened)) {
            return Locking::kMissing;
        }
        if (!opened.notRegular && kind == ErrorKind::kReadOnlyDisk) {
            save.failure = Failure(files, "replace", save.name, opened.error);
        } else if (opened.notRegular || kind != ErrorKind::kDenied) {
            save.failure = reading ? ReadFailure(OpenFailure(files, opened, "read", save.name))
                                   : OpenFailure(files, opened, "replace", save.name);
        } else if (reading && !OwnedFile(files, files.Open(save.target, Access::kRead).file)) {
            save.failure = ReadFailure(OpenFailure(files, opened, "read", save.name));
        } else {
            save.failure = ReadOnlyFailure(save.name);
        }
        return Locking::kFailed;
    }
    // A read-only file is one the user does not want written, also where the system would let
    // this user (root, Wine's implementation of the calls below).
    if (opened.info.readOnly) {
        save.failure = ReadOnlyFailure(save.name);
        return Locking::kFailed;
    }
    SystemErrorCode error = 0;
    switch (WaitForSaveLock(files, file.get(), save.deadline, error)) {
    case LockEnd::kTaken:
        file.Locked();
        break;
    case LockEnd::kNotKept: // as saves went before there was a lock
        break;
    case LockEnd::kHeld:
        save.failure = WaitFailure(WaitEnd::kTimeUp, save.name);
        return Locking::kFailed;
    case LockEnd::kStopped:
        save.failure = WaitFailure(WaitEnd::kStopped, save.name);
        return Locking::kFailed;
    case LockEnd::kFailed:
        save.failure = Failure(files, "lock", save.name, error);
        return Locking::kFailed;
    }
    const FileSystem::Opened named = files.Open(save.target, Access::kLook);
    OwnedFile(files, named.file).Close();
    if (named.file == kNoFile || !named.info.stamp.SameFile(opened.info.stamp) ||
        files.Describe(file.get(), info) != 0) {
        return Locking::kReplaced;
    }
    return Locking::kLocked;
}

// Writes the new file whole and to the disk, before it takes any name, and closes it; its stamp
// is the save's.
SystemErrorCode WriteNewFile(Save& save, OwnedFile& file, std::string_view bytes) {
    FileSystem::Info info;
    SystemErrorCode error = WriteAll(save.files, file.get(), 0, bytes);
    error = error ? error : save.files.Sync(file.get());
    error = error ? error : save.files.Describe(file.get(), info);
    const SystemErrorCode closing = file.Close();
    save.stamp = info.stamp;
    return error ? error : closing;
}

// Numbers that differ between processes and between calls, mixed from the system's seed
// (splitmix64); a collision costs a try.
std::uint32_t TemporaryNumber(FileSystem& files) {
    thread_local std::uint64_t state = 0;
    state += 0x9E3779B97F4A7C15ull ^ files.Seed();
    std::uint64_t mixed = state;
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ull;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>(mixed ^ (mixed >> 31));
}

// A temporary beside the file, made where no file of its name is: the name may be another
// save's (see TemporaryFileName). It takes what `like` has, where the system lets it.
SystemErrorCode MakeTemporary(Save& save, FileRef like, Temporary& temporary, OwnedFile& file) {
    const std::size_t limit = save.files.NameLimit(save.target);
    SystemErrorCode error = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = TemporaryFileName(save.target, TemporaryNumber(save.files), limit);
        const FileSystem::Opened made = save.files.Create(path, like);
        if (made.file != kNoFile) {
            temporary.Take(std::move(path));
            file = OwnedFile(save.files, made.file);
            return 0;
        }
        error = made.error;
        if (save.files.Meaning(error).kind != ErrorKind::kExists) {
            break;
        }
    }
    return error;
}

enum class Creation { kDone, kTaken, kFailed };

// Makes the file at the target itself, where no file is, and writes it whole; kTaken when another
// save made it meanwhile. Half a file is not left: one that cannot be written whole goes again.
Creation MakeFileDirectly(Save& save, std::string_view bytes, SystemErrorCode& error) {
    const FileSystem::Opened made = save.files.Create(save.target, kNoFile);
    error = made.error;
    if (made.file == kNoFile) {
        return save.files.Meaning(error).kind == ErrorKind::kExists ? Creation::kTaken
                                                                    : Creation::kFailed;
    }
    OwnedFile file(save.files, made.file);
    error = WriteNewFile(save, file, bytes);
    if (!error) {
        return Creation::kDone;
    }
    save.files.Remove(save.target);
    return Creation::kFailed;
}

enum class Replacement { kDone, kGaveWay, kFailed };

// A step that cannot be taken though the file itself can be written gives way to writing in
// place, its cause kept; any other failure ends the save.
Replacement GiveWay(Save& save, const char* verb, SystemErrorCode error) {
    FileFailure failure = Failure(save.files, verb, save.name, error);
    if (save.files.Meaning(error).givesWay) {
        save.gaveWay = std::move(failure);
        return Replacement::kGaveWay;
    }
    save.failure = std::move(failure);
    return Replacement::kFailed;
}

// A new file holding `bytes` takes the place of the one open, only where it can carry all that
// one has; kGaveWay, with nothing left behind, where it cannot.
Replacement ReplaceWhole(Save& save, OwnedFile& file, const FileSystem::Info& info,
                         std::string_view bytes) {
    FileSystem& files = save.files;
    if (info.links != 1 || !files.CanReplaceWhole(file.get())) {
        return Replacement::kGaveWay;
    }
    if (const SystemErrorCode error = files.RoomFor(bytes.size())) {
        save.failure = Failure(files, "write", save.name, error);
        return Replacement::kFailed;
    }
    Temporary temporary(files);
    OwnedFile made(files);
    SystemErrorCode error = MakeTemporary(save, file.get(), temporary, made);
    if (error) {
        return GiveWay(save, "replace", error);
    }
    // No room for a second copy (a full disk, a quota) leaves the file its own.
    error = WriteNewFile(save, made, bytes);
    if (error) {
        return GiveWay(save, "write", error);
    }
    error = RetryWhileHeld(save, false,
                           [&] { return files.ReplaceName(temporary.Path(), save.target); });
    if (!error) {
        temporary.Release();
        return Replacement::kDone;
    }
    if (files.Meaning(error).kind != ErrorKind::kReplacementLeft) {
        return GiveWay(save, "replace", error);
    }
    // The old file is gone and the new one still has the temporary name: once this save's hold
    // on the old one ends, the name is free for it.
    file.Close();
    error = RetryWhileHeld(save, true,
                           [&] { return files.TakeNewName(temporary.Path(), save.target); });
    if (!error) {
        temporary.Release();
        return Replacement::kDone;
    }
    // Nor can it take the name: the file is made there anew, with the same contents.
    SystemErrorCode making = 0;
    if (MakeFileDirectly(save, bytes, making) == Creation::kDone) {
        return Replacement::kDone;
    }
    // The one message that names a temporary file: it holds the only copy of the values. The
    // file is gone, which no fault of its own says.
    save.failure =
        StoreFailure(FileFault::kOther, "replace", save.name,
                     files.Text(error) + "; the new contents are in " + temporary.Path());
    temporary.Release();
    return Replacement::kFailed;
}

// Over the file itself, which stays all it was. The room for a longer text is made first, as
// blanks after the old one (the size limit, the disk), so that no failure leaves the file half
// written and a crash leaves the old values followed by blanks; a file that shrinks has the rest
// of its old text blanked in the same write, as far as a reader takes it, so that a crash before
// it is cut to length leaves the new values followed by blanks, nothing of the old ones that a
// reader sees. A file of any length thus costs no more memory or writing than that.
bool WriteInPlace(Save& save, OwnedFile& file, FileSystem::Info& info, std::string_view bytes) {
    FileSystem& files = save.files;
    const std::uint64_t oldSize = info.stamp.size;
    std::string text(bytes);
    text.resize(std::max<std::size_t>(
                    static_cast<std::size_t>(std::min<std::uint64_t>(oldSize, kStoreReadLimit)),
                    bytes.size()),
                ' ');
    SystemErrorCode error = files.RoomFor(text.size());
    if (!error && bytes.size() > oldSize) {
        error = WriteAll(files, file.get(), oldSize, std::string(bytes.size() - oldSize, ' '));
        if (error) {
            files.SetLength(file.get(), oldSize);
        }
    }
    error = error ? error : WriteAll(files, file.get(), 0, text);
    error = error ? error : files.SetLength(file.get(), bytes.size());
    error = error ? error : files.Sync(file.get());
    error = error ? error : files.Describe(file.get(), info);
    if (error) {
        save.failure = Failure(files, "write", save.name, error);
        // Why no new copy took its place, where that was another cause.
        if (save.gaveWay && save.gaveWay->cause != save.failure.cause) {
            save.failure.text += "; nor could a new copy take its place: " + save.gaveWay->cause;
        }
        return false;
    }
    save.stamp = info.stamp;
    return true;
}

// The file where there was none. It takes the name only if no other save has made the file
// meanwhile (kTaken): that save's change would be lost. Where no temporary can be made, or it
// cannot take the name, the file is made and written directly.
Creation CreateMissingFile(Save& save, std::string_view bytes) {
    FileSystem& files = save.files;
    if (const SystemErrorCode error = files.RoomFor(bytes.size())) {
        save.failure = Failure(files, "write", save.name, error);
        return Creation::kFailed;
    }
    Temporary temporary(files);
    OwnedFile made(files);
    SystemErrorCode error = MakeTemporary(save, kNoFile, temporary, made);
    error = error ? error : WriteNewFile(save, made, bytes);
    if (!error) {
        error = RetryWhileHeld(save, true,
                               [&] { return files.TakeNewName(temporary.Path(), save.target); });
        if (!error) {
            temporary.Release();
            return Creation::kDone;
        }
        if (files.Meaning(error).kind == ErrorKind::kExists) {
            return Creation::kTaken;
        }
    }
    temporary.Remove();
    const Creation direct = MakeFileDirectly(save, bytes, error);
    if (direct == Creation::kFailed) {
        save.failure = Failure(files, "write", save.name, error);
    }
    return direct;
}

// Removes the temporaries beside the file that no save under way can own any more, by the time
// of the save just made: the file system's clock, which on a share is not this machine's. Only
// regular files of exactly the temporaries' form are taken, never a folder or a link.
void RemoveStaleTemporaries(FileSystem& files, const std::string& target, const FileStamp& now) {
    const auto [folder, name] = SplitDirectory(target);
    const std::size_t limit = files.NameLimit(target);
    const std::string prefix =
        std::string(TemporaryNameStem(name, limit)) + std::string(kTemporaryMarker);
    for (const FileSystem::Entry& entry : files.List(std::string(folder), prefix)) {
        if (entry.regular && TemporaryFileNumber(entry.name, name, limit) &&
            now.modifiedSeconds - entry.stamp.modifiedSeconds > kStaleTemporarySeconds) {
            files.RemoveUnlessHeld(std::string(folder) + entry.name, entry);
        }
    }
}

// Reads, changes and writes the file under its lock: in one step where it can, else in place.
SaveHow ChangeLockedFile(Save& save, OwnedFile& file, FileSystem::Info& info, std::size_t limit,
                         const ContentChange& change) {
    const HoldStopSignals held;
    std::string old;
    if (const SystemErrorCode error = ReadAll(save.files, file.get(), limit, old)) {
        save.failure = ReadFailure(Failure(save.files, "read", save.name, error));
        return SaveHow::kFailed;
    }
    const std::optional<std::string> contents =
        change(ReadOutcome::kRead, old, info.stamp, save.failure);
    if (!contents) {
        return SaveHow::kFailed;
    }
    switch (ReplaceWhole(save, file, info, *contents)) {
    case Replacement::kDone:
        return SaveHow::kReplaced;
    case Replacement::kFailed:
        return SaveHow::kFailed;
    case Replacement::kGaveWay:
        break;
    }
    return WriteInPlace(save, file, info, *contents) ? SaveHow::kWrittenInPlace : SaveHow::kFailed;
}

// Nothing when another save made the file meanwhile: this one starts again.
std::optional<SaveHow> ChangeMissingFile(Save& save, const ContentChange& change) {
    const HoldStopSignals held;
    const std::optional<std::string> contents = change(ReadOutcome::kMissing, {}, {}, save.failure);
    if (!contents) {
        return SaveHow::kFailed;
    }
    const Creation created = CreateMissingFile(save, *contents);
    if (created == Creation::kTaken) {
        return std::nullopt;
    }
    return created == Creation::kDone ? SaveHow::kCreated : SaveHow::kFailed;
}

SaveOutcome Failed(FileFailure failure) {
    return {SaveHow::kFailed, std::move(failure), {}};
}

} // namespace

FileSystem& SystemFiles() {
    static SystemFileSystem files;
    return files;
}

Deadline SaveDeadline(const LockWait& wait, const FileSystem& files) {
    return Deadline(Deadline::Ms(wait.limitMs), Deadline::Ms(kSaveLockPollMs), wait.keepWaiting,
                    files.Clock());
}

SystemErrorCode WriteAll(FileSystem& files, FileRef file, std::uint64_t offset,
                         std::string_view bytes, std::size_t* written) {
    std::size_t total = 0;
    SystemErrorCode error = 0;
    while (!error && total < bytes.size()) {
        std::size_t done = 0;
        error = files.WriteAt(file, offset, bytes.substr(total), done);
        error = error ? error : done == 0 ? kNothingWritten : 0;
        total += done;
        offset += offset == FileSystem::kAtEnd ? 0 : done;
    }
    if (written) {
        *written = total;
    }
    return error;
}

FileFailure OpenFailure(const FileSystem& files, const FileSystem::Opened& opened, const char* verb,
                        const char* name) {
    if (opened.notRegular) {
        return StoreFailure(FileFault::kNotAFile, verb, name,
                            std::string("it is ") + opened.notRegular + ", not a regular file");
    }
    if (files.Meaning(opened.error).kind == ErrorKind::kLeased) {
        return StoreFailure(FileFault::kHeld, verb, name, kHeldByAnotherProgram);
    }
    return Failure(files, verb, name, opened.error);
}

FileFailure Failure(const FileSystem& files, const char* verb, const char* name,
                    SystemErrorCode error) {
    return error == kNothingWritten
               ? StoreFailure(FileFault::kOther, verb, name, "nothing was written")
               : StoreFailure(files.Meaning(error).fault, verb, name, files.Text(error));
}

LockEnd WaitForSaveLock(FileSystem& files, FileRef file, Deadline& deadline,
                        SystemErrorCode& error) {
    ByteLockOutcome outcome = ByteLockOutcome::kFailed;
    const WaitEnd end = deadline.Until([&] {
        outcome = files.TryLockByte(file, kSaveLockOffset, error);
        return outcome != ByteLockOutcome::kHeld;
    });
    switch (outcome) {
    case ByteLockOutcome::kTaken:
        return LockEnd::kTaken;
    case ByteLockOutcome::kNotKept:
        return LockEnd::kNotKept;
    case ByteLockOutcome::kFailed:
        return LockEnd::kFailed;
    case ByteLockOutcome::kHeld:
        break;
    }
    return end == WaitEnd::kStopped ? LockEnd::kStopped : LockEnd::kHeld;
}

ReadOutcome ReadFileContents(const char* path, std::size_t limit, std::string& bytes,
                             FileFailure& failure, FileStamp* stamp, FileSystem& files) {
    const FileSystem::Opened opened = files.Open(path, Access::kRead);
    const OwnedFile file(files, opened.file);
    if (!file) {
        failure = ReadFailure(OpenFailure(files, opened, "read", path));
        return IsMissing(files, opened) ? ReadOutcome::kMissing : ReadOutcome::kFailed;
    }
    if (const SystemErrorCode error = ReadAll(files, file.get(), limit, bytes)) {
        failure = ReadFailure(Failure(files, "read", path, error));
        return ReadOutcome::kFailed;
    }
    if (stamp) {
        *stamp = opened.info.stamp;
    }
    return ReadOutcome::kRead;
}

SaveOutcome UpdateFileContents(const char* name, std::size_t limit, const ContentChange& change,
                               const LockWait& wait, FileSystem& files) {
    Save save(files, name, wait);
    if (!*name) {
        return Failed({FileFault::kOther, "cannot write a file without a name", {}});
    }
    if (const SystemErrorCode error = files.FollowLinks(name, save.target)) {
        return Failed(Failure(files, limit > 0 ? "read" : "replace", name, error));
    }
    // Each new attempt follows a save by another program that replaced or created the file.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        OwnedFile file(files);
        FileSystem::Info info;
        SaveHow how = SaveHow::kFailed;
        switch (OpenAndLock(save, limit > 0, file, info)) {
        case Locking::kLocked:
            how = ChangeLockedFile(save, file, info, limit, change);
            break;
        case Locking::kMissing:
            if (const std::optional<SaveHow> created = ChangeMissingFile(save, change)) {
                how = *created;
                break;
            }
            continue;
        case Locking::kReplaced:
            continue;
        case Locking::kFailed:
            break;
        }
        if (how == SaveHow::kFailed) {
            return Failed(std::move(save.failure));
        }
        file.Close();
        RemoveStaleTemporaries(files, save.target, save.stamp);
        return {how, {}, save.stamp};
    }
    return Failed(
        StoreFailure(FileFault::kHeld, "replace", name, "other programs kept replacing it"));
}

SaveOutcome ReplaceFileContents(const char* name, std::string_view bytes, const LockWait& wait,
                                FileSystem& files) {
    return UpdateFileContents(
        name, 0,
        [bytes](ReadOutcome, const std::string&, const FileStamp&,
                FileFailure&) -> std::optional<std::string> { return std::string(bytes); },
        wait, files);
}
