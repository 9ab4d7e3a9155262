#pragma once

// A file system of the test's own behind the store's seam, answering as Windows documents its
// calls: ReplaceFileW refuses or leaves the replacement behind, a scanner holds a fresh file
// for a moment, a disk fills up, a move finds its name taken. Time is a clock of Windows' ticks,
// so no wait lasts. What is left on its disk, and every change of names, can be read back.

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TickClock.h"
#include "store/FileNames.h"
#include "store/FileSystem.h"
#include "store/WindowsErrors.h"

class FakeFiles final : public FileSystem {
public:
    enum class Call {
        kOpen,
        kCreate,
        kRead,
        kWrite,
        kLock,
        kReplaceName,
        kTakeNewName,
        kLockTaken,
        kCut
    };
    // The next `times` calls (-1: every call) on `path` ("" any, kTemporary any temporary) fail
    // with `error`.
    struct Answer {
        Call call;
        std::string path;
        SystemErrorCode error = 0;
        int times = -1;
    };
    struct Node {
        std::string bytes;
        std::uint64_t index = 0;
        std::int64_t written = 0;
        bool readOnly = false;
    };

    static constexpr char kTemporary[] = "<temporary>";

    std::map<std::string, std::shared_ptr<Node>> names;
    std::map<std::string, std::string> links; // symbolic ones
    std::vector<Answer> answers;
    std::size_t room = static_cast<std::size_t>(-1); // bytes of all files together
    bool wine = false;     // as root: a read-only file opens for writing, ReplaceFileW is not used
    bool locksKept = true; // false: a share that keeps no locks
    // A handle that may only append sets no length, as Windows has it; false plays POSIX.
    bool appendOnlyLengthFixed = true;
    // Another program's save holds the lock of the file then named "settings" until this time.
    std::chrono::milliseconds lockHeldFor{0};
    // What another program does just before the save's next call of a kind.
    std::map<Call, std::function<void(FakeFiles&)>> meanwhile;
    std::vector<std::string> log; // "create", "sync", "cut", "replace", "move", "remove": the names
    TickClock clock;

    std::shared_ptr<Node> Put(const std::string& path, std::string bytes) {
        auto node = std::make_shared<Node>();
        node->bytes = std::move(bytes);
        node->index = ++made_;
        node->written = ++writes_;
        return names[path] = node;
    }
    // Every file on the disk, a temporary by the name "<temporary>".
    std::map<std::string, std::string> Disk() const {
        std::map<std::string, std::string> disk;
        for (const auto& [path, node] : names) {
            disk[Shown(path)] = node->bytes;
        }
        return disk;
    }
    // The text with any temporary's name as "<temporary>".
    static std::string Shown(std::string text) {
        const std::size_t marker = text.find(kTemporaryMarker);
        if (marker != std::string::npos) {
            const std::size_t start = text.rfind(' ', marker) + 1;
            text.replace(start, marker + kTemporaryMarker.size() + 12 - start, kTemporary);
        }
        return text;
    }

    Opened Open(const std::string& path, Access access) override {
        Opened opened;
        const auto found = names.find(path);
        if ((opened.error = Answered(Call::kOpen, path))) {
        } else if (found == names.end()) {
            opened.error = WindowsError::kFileNotFound;
        } else if (found->second->readOnly && access >= Access::kWrite && !wine) {
            opened.error = WindowsError::kAccessDenied;
        } else {
            opened.file = Hold(path, found->second);
            Describe(opened.file, opened.info);
        }
        return opened;
    }
    Opened Create(const std::string& path, FileRef) override {
        Opened made;
        if ((made.error = Answered(Call::kCreate, path))) {
        } else if (names.count(path)) {
            made.error = WindowsError::kFileExists;
        } else {
            Log("create " + path);
            made.file = Hold(path, Put(path, {}));
        }
        return made;
    }
    Opened OpenToAppend(const std::string& path) override {
        const FileRef file = Hold(path, names.count(path) ? names[path] : Put(path, {}));
        handles_[file].appending = true;
        return {file, 0, nullptr, {}};
    }
    SystemErrorCode Close(FileRef file) override {
        handles_.erase(file);
        return 0;
    }
    SystemErrorCode Describe(FileRef file, Info& info) override {
        const Node& node = *handles_.at(file).node;
        info.stamp = {1, node.index, node.bytes.size(), node.written, 0};
        info.links = static_cast<std::uint32_t>(
            std::count_if(names.begin(), names.end(),
                          [&](const auto& name) { return name.second.get() == &node; }));
        info.readOnly = node.readOnly;
        return 0;
    }
    SystemErrorCode ReadAt(FileRef file, std::uint64_t offset, char* bytes, std::size_t size,
                           std::size_t& read) override {
        const std::string& text = handles_.at(file).node->bytes;
        read = offset < text.size() ? text.copy(bytes, size, offset) : 0;
        return Answered(Call::kRead, handles_.at(file).path);
    }
    SystemErrorCode WriteAt(FileRef file, std::uint64_t offset, std::string_view bytes,
                            std::size_t& written) override {
        Node& node = *handles_.at(file).node;
        const std::size_t at = offset == kAtEnd ? node.bytes.size() : offset;
        written = 0;
        if (const SystemErrorCode error = Answered(Call::kWrite, handles_.at(file).path)) {
            return error;
        }
        // A disk that fills up takes what fits, and refuses the next write.
        const std::size_t fits = std::min(bytes.size(), Room(node, at));
        if (fits == 0) {
            return WindowsError::kDiskFull;
        }
        node.bytes.replace(at, fits, bytes.substr(0, fits));
        node.written = ++writes_;
        written = fits;
        return 0;
    }
    SystemErrorCode SetLength(FileRef file, std::uint64_t length) override {
        if (handles_.at(file).appending && appendOnlyLengthFixed) {
            return WindowsError::kAccessDenied;
        }
        Log("cut " + handles_.at(file).path);
        Meanwhile(Call::kCut);
        handles_.at(file).node->bytes.resize(length); // the store only ever cuts it
        return 0;
    }
    SystemErrorCode Sync(FileRef file) override {
        Log("sync " + handles_.at(file).path);
        return 0;
    }
    ByteLockOutcome TryLockByte(FileRef file, std::uint64_t, SystemErrorCode& error) override {
        if ((error = Answered(Call::kLock, handles_.at(file).path))) {
            return ByteLockOutcome::kFailed;
        }
        const auto settings = names.find("settings");
        if (clock.Elapsed() < lockHeldFor && settings != names.end() &&
            handles_.at(file).node == settings->second) {
            return ByteLockOutcome::kHeld;
        }
        Meanwhile(Call::kLockTaken);
        return locksKept ? ByteLockOutcome::kTaken : ByteLockOutcome::kNotKept;
    }
    void UnlockByte(FileRef, std::uint64_t) override {}
    bool CanReplaceWhole(FileRef) override { return !wine; }
    SystemErrorCode RoomFor(std::uint64_t) override { return 0; }

    SystemErrorCode ReplaceName(const std::string& replacement,
                                const std::string& target) override {
        Log("replace " + replacement + " " + target);
        const SystemErrorCode error = Answered(Call::kReplaceName, target);
        if (error == WindowsError::kUnableToMoveReplacement) {
            names.erase(target); // the old file is gone, the new one keeps its own name
        }
        return error ? error : Move(replacement, target);
    }
    SystemErrorCode TakeNewName(const std::string& file, const std::string& target) override {
        Log("move " + file + " " + target);
        Meanwhile(Call::kTakeNewName);
        const SystemErrorCode error = Answered(Call::kTakeNewName, target);
        return error                 ? error
               : names.count(target) ? WindowsError::kAlreadyExists
                                     : Move(file, target);
    }
    SystemErrorCode Remove(const std::string& path) override {
        Log("remove " + path);
        return names.erase(path) ? 0 : WindowsError::kFileNotFound;
    }
    SystemErrorCode FollowLinks(const std::string& name, std::string& target) override {
        for (target = name; links.count(target);) {
            target = links[target];
        }
        return 0;
    }
    // The sweep of stale temporaries is the real file systems' to show.
    std::vector<Entry> List(const std::string&, std::string_view) override { return {}; }
    void RemoveUnlessHeld(const std::string&, const Entry&) override {}
    std::size_t NameLimit(const std::string&) override { return kNoNameLimit; }
    std::uint64_t Seed() override { return ++made_; }
    ErrorMeaning Meaning(SystemErrorCode error) const override {
        return WindowsErrorMeaning(static_cast<std::uint32_t>(error));
    }
    // Windows' words for the codes played here.
    std::string Text(SystemErrorCode error) const override {
        return std::map<SystemErrorCode, std::string>{
            {WindowsError::kAccessDenied, "Access is denied"},
            {WindowsError::kDiskFull, "There is not enough space on the disk"},
            {WindowsError::kSharingViolation, "The process cannot access the file because it is "
                                              "being used by another process"},
            {WindowsError::kLockViolation, "The process cannot access the file because another "
                                           "process has locked a portion of the file"},
        }
            .at(error); // a code a test plays without its words here ends the test
    }
    const WaitClock& Clock() const override { return clock; }

private:
    struct Handle {
        std::string path;
        std::shared_ptr<Node> node;
        bool appending = false;
    };

    SystemErrorCode Answered(Call call, const std::string& path) {
        for (Answer& answer : answers) {
            const bool named = answer.path.empty() || answer.path == path ||
                               (answer.path == kTemporary && Shown(path) != path);
            if (answer.call == call && named && answer.times != 0) {
                answer.times -= answer.times > 0 ? 1 : 0;
                return answer.error;
            }
        }
        return 0;
    }
    void Meanwhile(Call call) {
        if (const auto play = std::exchange(meanwhile[call], {})) {
            play(*this);
        }
    }
    FileRef Hold(const std::string& path, std::shared_ptr<Node> node) {
        handles_[++opened_] = {path, std::move(node)};
        return opened_;
    }
    // How many bytes from `at` on the file may hold, the others' taken from the disk's room.
    std::size_t Room(const Node& node, std::size_t at) const {
        std::size_t used = 0;
        for (const auto& [path, other] : names) {
            used += other.get() == &node ? 0 : other->bytes.size();
        }
        const std::size_t size = std::max(node.bytes.size(), used < room ? room - used : 0);
        return size > at ? size - at : 0;
    }
    SystemErrorCode Move(const std::string& from, const std::string& to) {
        names[to] = names.at(from);
        names.erase(from);
        return 0;
    }
    void Log(const std::string& what) { log.push_back(Shown(what)); }

    std::map<FileRef, Handle> handles_;
    FileRef opened_ = 2;
    std::uint64_t made_ = 0;
    std::int64_t writes_ = 0;
};
