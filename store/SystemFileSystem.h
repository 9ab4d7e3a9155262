#pragma once

// This system's files: each call defined by the platform's twin, FileSystemPosix.cpp or
// FileSystemWin32.cpp, of its system calls alone.

#include "store/FileSystem.h"

class SystemFileSystem final : public FileSystem {
public:
    Opened Open(const std::string& path, Access access) override;
    Opened Create(const std::string& path, FileRef like) override;
    Opened OpenToAppend(const std::string& path) override;
    SystemErrorCode Close(FileRef file) override;
    SystemErrorCode Describe(FileRef file, Info& info) override;
    SystemErrorCode ReadAt(FileRef file, std::uint64_t offset, char* bytes, std::size_t size,
                           std::size_t& read) override;
    SystemErrorCode WriteAt(FileRef file, std::uint64_t offset, std::string_view bytes,
                            std::size_t& written) override;
    SystemErrorCode SetLength(FileRef file, std::uint64_t length) override;
    SystemErrorCode Sync(FileRef file) override;
    ByteLockOutcome TryLockByte(FileRef file, std::uint64_t offset,
                                SystemErrorCode& error) override;
    void UnlockByte(FileRef file, std::uint64_t offset) override;
    bool CanReplaceWhole(FileRef file) override;
    SystemErrorCode RoomFor(std::uint64_t size) override;
    SystemErrorCode ReplaceName(const std::string& replacement, const std::string& target) override;
    SystemErrorCode TakeNewName(const std::string& file, const std::string& target) override;
    SystemErrorCode Remove(const std::string& path) override;
    SystemErrorCode FollowLinks(const std::string& name, std::string& target) override;
    std::vector<Entry> List(const std::string& folder, std::string_view prefix) override;
    void RemoveUnlessHeld(const std::string& path, const Entry& entry) override;
    std::size_t NameLimit(const std::string& path) override;
    std::uint64_t Seed() override;
    ErrorMeaning Meaning(SystemErrorCode error) const override;
    std::string Text(SystemErrorCode error) const override { return SystemErrorText(error); }
    const WaitClock& Clock() const override { return SystemWaitClock(); }
};
