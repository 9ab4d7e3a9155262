#include <gtest/gtest.h>

#include "SettingsFiles.h"

#include <algorithm>
#include <climits>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include "SaveLoop.h"
#include "Scratch.h"
#include "store/FileStore.h"
#include "store/ParameterFile.h"
#include "model/ParameterText.h"
#include "store/FileNames.h"
#include "platform/Handles.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// Each test runs in a directory of its own, which becomes the working directory.
class ParameterFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(previous_);
#ifdef _WIN32
        // Windows removes no read-only file.
        ::SetFileAttributesW((dir_ / kParameterFileName).c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
    }

    static void WriteFile(const std::string& bytes) {
        std::ofstream(kParameterFileName, std::ios::binary) << bytes;
    }
    static std::string ReadFile(const fs::path& path = kParameterFileName) {
        return ReadWholeFile(path);
    }
    // Makes a file look as a save cut short long ago would have left it.
    static void Age(const fs::path& path) {
        fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(2));
    }
    std::vector<std::string> DirectoryEntries(const fs::path& subdirectory = {}) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_ / subdirectory)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    const ScratchFolder scratch_{"vkd37-file"};
    const fs::path dir_ = scratch_.Path();
    fs::path previous_;
};

const std::string kDefaultFile = settings_files::kStartValues;

// A process of the test's own that saves in the working directory. Natively a fork running the
// body; on Windows save_loop.exe with the arguments (SaveLoop.cpp).
class HelperProcess {
public:
#ifdef _WIN32
    explicit HelperProcess(const std::wstring& arguments) {
        wchar_t self[MAX_PATH];
        std::wstring program(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
        program = program.substr(0, program.find_last_of(L"\\/") + 1) + L"save_loop.exe";
        std::wstring commandLine = L"save_loop " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                             nullptr, nullptr, &startup, &info)) {
            ::CloseHandle(info.hThread);
            process_ = info.hProcess;
        }
    }
    bool IsValid() const {
        return process_ != nullptr;
    }
    // The exit status once it has ended within the limit; -1, and it is killed, otherwise.
    int WaitForExit(std::chrono::milliseconds limit) {
        DWORD status = 0;
        if (!process_ ||
            ::WaitForSingleObject(process_, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0 ||
            !::GetExitCodeProcess(process_, &status)) {
            Kill();
            return -1;
        }
        ::CloseHandle(std::exchange(process_, nullptr));
        return static_cast<int>(status);
    }
    void Kill() {
        if (process_) {
            ::TerminateProcess(process_, 1);
            ::WaitForSingleObject(process_, INFINITE);
            ::CloseHandle(std::exchange(process_, nullptr));
        }
    }

private:
    HANDLE process_ = nullptr;
#else
    explicit HelperProcess(const std::function<int()>& body) : process_(::fork()) {
        if (process_ == 0) {
            ::_exit(body());
        }
    }
    bool IsValid() const {
        return process_ > 0;
    }
    int WaitForExit(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (process_ > 0 && ::waitpid(process_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                Kill();
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        process_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Kill() {
        if (process_ > 0) {
            ::kill(process_, SIGKILL);
            ::waitpid(process_, nullptr, 0);
            process_ = -1;
        }
    }

private:
    pid_t process_;
#endif
public:
    ~HelperProcess() {
        Kill();
    }
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;
};

// A process that saves numbered sets until it is killed.
HelperProcess SavingProcess() {
#ifdef _WIN32
    return HelperProcess(L"");
#else
    return HelperProcess([]() -> int { SaveForever(); });
#endif
}

// A process that changes one field `times` times (CountUp).
HelperProcess CountingProcess(int field, int times) {
#ifdef _WIN32
    return HelperProcess(std::to_wstring(field) + L" " + std::to_wstring(times));
#else
    return HelperProcess([=] { return CountUp(field, times); });
#endif
}

#ifndef _WIN32
// Runs the body in a process of its own and gives its exit status, -1 when it did not end
// within a generous bound: no load or save may wait on the file it was given.
int InChild(const std::function<int()>& body) {
    HelperProcess child(body);
    return child.WaitForExit(std::chrono::seconds(20));
}

// The same as nobody, with `group` among its groups, when the test runs as root; otherwise as
// the user who runs it.
int InChildAsNobody(gid_t group, const std::function<int()>& body) {
    return InChild([&] {
        const passwd* nobody = ::getpwnam("nobody");
        if (::geteuid() == 0 &&
            (!nobody || ::setgroups(1, &group) != 0 ||
             ::setresgid(nobody->pw_gid, nobody->pw_gid, nobody->pw_gid) != 0 ||
             ::setresuid(nobody->pw_uid, nobody->pw_uid, nobody->pw_uid) != 0)) {
            return 100;
        }
        return body();
    });
}
#endif

// Nonzero, after saying why on standard error, unless the text is what was expected.
int Mismatch(const std::string& what, const std::string& expected, const std::string& actual) {
    if (expected == actual) {
        return 0;
    }
    std::fprintf(stderr, "%s: expected \"%s\", got \"%s\"\n", what.c_str(), expected.c_str(),
                 actual.c_str());
    return 1;
}

// How many of the files (with their kinds) were not refused, both for loading and for saving,
// as not regular files.
int NotRefused(const std::vector<std::pair<std::string, std::string>>& files) {
    int mismatches = 0;
    for (const auto& [file, kind] : files) {
        const std::string cause = ": it is " + kind + ", not a regular file";
        ParameterSet set;
        const LoadOutcome loaded = LoadParameterFile(file.c_str(), set);
        mismatches += loaded.kind != LoadOutcome::Kind::kUnreadable ||
                      loaded.failure.fault != FileFault::kNotAFile;
        mismatches += Mismatch("load " + file, "cannot read " + file + cause, loaded.failure.text);
        const SaveOutcome saved = SaveParameterFile(file.c_str(), NumberedSet(1));
        mismatches += saved.Saved() || saved.failure.fault != FileFault::kNotAFile;
        mismatches +=
            Mismatch("save " + file, "cannot replace " + file + cause, saved.failure.text);
    }
    return mismatches;
}

// Holds the lock every save takes, as another program's save would, from a handle of its own.
class SaveLockHolder {
public:
    explicit SaveLockHolder(const char* path) {
#ifdef _WIN32
        file_ = FileHandle(::CreateFileW(fs::path(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(kSaveLockOffset);
        at.OffsetHigh = static_cast<DWORD>(kSaveLockOffset >> 32);
        held_ = ::LockFileEx(file_.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                             0, &at) != 0;
#else
        file_ = UniqueFd(::open(path, O_RDWR | O_CLOEXEC));
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = static_cast<off_t>(kSaveLockOffset);
        lock.l_len = 1;
        held_ = ::fcntl(file_.get(), F_OFD_SETLK, &lock) == 0;
#endif
    }
    bool IsHeld() const {
        return held_;
    }
    void Release() {
        file_.Close();
    }

private:
#ifdef _WIN32
    FileHandle file_;
#else
    UniqueFd file_;
#endif
    bool held_ = false;
};

} // namespace

TEST_F(ParameterFileTest, MissingFileGivesTheMissingFileValuesAndKeepsFlags) {
    ParameterSet set;
    set.m_bCyclesOn = 1;
    LoadParameters(set);
    ParameterSet expected;
    expected.ApplyMissingFileValues();
    expected.m_bCyclesOn = 1;
    EXPECT_EQ(WriteParameterText(expected), WriteParameterText(set));
}

TEST_F(ParameterFileTest, SaveAfterFirstStartWritesTheExactBytes) {
    ParameterSet set;
    LoadParameters(set);
    SaveParameters(set, 0);
    EXPECT_EQ(kDefaultFile, ReadFile());
    EXPECT_EQ(std::vector<std::string>{kParameterFileName}, DirectoryEntries());
}

// A face that keeps the stamp of its last load or save can tell another program's save since.
TEST_F(ParameterFileTest, TheStampOfALoadOrASaveTellsAChangeSince) {
    ParameterSet set;
    const SaveOutcome saved = SaveParameterFile(kParameterFileName, NumberedSet(1));
    const LoadOutcome loaded = LoadParameterFile(kParameterFileName, set);
    EXPECT_EQ(saved.stamp, loaded.sight.stamp);
    EXPECT_EQ(WriteParameterText(NumberedSet(1)).size(), loaded.sight.stamp.size);
    // Within the file system's clock's grain only another size, or another file, tells.
    const SaveOutcome again = SaveParameterFile(kParameterFileName, NumberedSet(1000));
    EXPECT_NE(saved.stamp, again.stamp);
    EXPECT_EQ(again.stamp, LoadParameterFile(kParameterFileName, set).sight.stamp);
}

TEST_F(ParameterFileTest, SaveRecordsTheSelectionAndMinusOneForNone) {
    ParameterSet set;
    set.ApplyMissingFileValues();
    SaveParameters(set, 4);
    EXPECT_EQ(4, set.m_nPort);
    EXPECT_EQ("4 " + kDefaultFile.substr(2), ReadFile());

    SaveParameters(set, -1);
    EXPECT_EQ(-1, set.m_nPort);
    EXPECT_EQ("-1 " + kDefaultFile.substr(2), ReadFile());
}

TEST_F(ParameterFileTest, LoadTakesTheFileAsItStands) {
    WriteFile("3\r\n1\r\n");
    ParameterSet set;
    LoadParameters(set);
    EXPECT_EQ("3 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 ", WriteParameterText(set));

    WriteFile("1 0 200 0 10 0 10 108 10 100 2000 2000 0 0 0 0 ");
    LoadParameters(set);
    EXPECT_EQ(200, set.m_nFwdAcc);
    EXPECT_EQ(0, set.m_nFwdSpeed);
}

TEST_F(ParameterFileTest, SaveReplacesALongerFileWhole) {
    WriteFile(std::string(5000, '7'));
    ParameterSet set;
    set.ApplyMissingFileValues();
    SaveParameters(set, 0);
    EXPECT_EQ(kDefaultFile, ReadFile());
}

// Without any write permission (which root would override) the file is not the user's to change.
TEST_F(ParameterFileTest, FileThatCannotBeReplacedStaysIntactAndPortKeepsItsValue) {
    WriteFile("old contents");
#ifdef _WIN32
    ASSERT_TRUE(
        ::SetFileAttributesW(fs::path(kParameterFileName).c_str(), FILE_ATTRIBUTE_READONLY));
#else
    ASSERT_EQ(0, ::chmod(kParameterFileName, 0444));
#endif
    ParameterSet set;
    set.m_nPort = 6;
    SaveParameters(set, 2);
    EXPECT_EQ(6, set.m_nPort);
    EXPECT_EQ("old contents", ReadFile());
    EXPECT_EQ(std::vector<std::string>{kParameterFileName}, DirectoryEntries());
    const SaveOutcome saved = SaveParameterFile(kParameterFileName, set);
    EXPECT_EQ(FileFault::kReadOnly, saved.failure.fault);
    EXPECT_EQ("cannot replace "s + kParameterFileName + ": the file is read-only",
              saved.failure.text);
}

#ifdef _WIN32
TEST_F(ParameterFileTest, SaveKeepsTheAttributesOfTheFile) {
    const fs::path name = kParameterFileName;
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    WriteFile("old contents");
    ASSERT_TRUE(::SetFileAttributesW(name.c_str(), kKept));
    ParameterSet set = NumberedSet(1);
    SaveParameters(set, set.m_nPort);
    EXPECT_EQ(WriteParameterText(set), ReadFile());
    EXPECT_EQ(kKept, ::GetFileAttributesW(name.c_str()) & (kKept | FILE_ATTRIBUTE_READONLY));
}
#else
// The save replaces the contents, not what the file is: its permissions, its owner, the chain
// of links that names it (the temporary lies beside the file, not beside the link).
TEST_F(ParameterFileTest, SaveKeepsThePermissionsOwnerAndLinksOfTheFile) {
    fs::create_directory("real");
    const std::string file = "real/settings";
    std::ofstream(file, std::ios::binary) << "old contents";
    fs::create_symlink("real/settings", "alias");
    fs::create_symlink("alias", kParameterFileName);
    ASSERT_EQ(0, ::chmod(file.c_str(), 0604)); // no usual umask gives a new file this
    const bool mayChangeOwner = ::geteuid() == 0;
    if (mayChangeOwner) {
        ASSERT_EQ(0, ::chown(file.c_str(), 1, 1));
    }
    ParameterSet set = NumberedSet(1);
    SaveParameters(set, set.m_nPort);
    EXPECT_EQ(WriteParameterText(set), ReadFile(file));
    struct stat status {};
    ASSERT_EQ(0, ::stat(kParameterFileName, &status)); // through the links
    EXPECT_EQ(0604u, status.st_mode & 07777);
    if (mayChangeOwner) {
        EXPECT_EQ(1u, status.st_uid);
        EXPECT_EQ(1u, status.st_gid);
    }
    EXPECT_EQ(std::vector<std::string>{"settings"}, DirectoryEntries("real"));

    // A link to no file gets its file, as a shell's redirection would make it.
    fs::remove(file);
    SaveParameters(set, set.m_nPort);
    EXPECT_EQ(WriteParameterText(set), ReadFile(file));
}

// Also when the save writes in place (beside a hard link): the room is made before a byte goes.
TEST_F(ParameterFileTest, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    for (const bool linked : {false, true}) {
        WriteFile("old contents");
        if (linked) {
            fs::create_hard_link(kParameterFileName, "link");
        }
        rlimit previous{};
        ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &previous));
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = previous;
        tiny.rlim_cur = 8; // the file fills up part-way through the 50-odd bytes
        ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &tiny));
        ParameterSet set;
        set.ApplyMissingFileValues();
        set.m_nPort = 6;
        SaveParameters(set, 2);
        const SaveOutcome outcome = SaveParameterFile(kParameterFileName, set);
        const bool saved = outcome.Saved();
        const std::string error = outcome.failure.text;
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);

        EXPECT_EQ(6, set.m_nPort);
        EXPECT_FALSE(saved);
        // The user's file, never the random temporary.
        EXPECT_EQ("cannot write "s + kParameterFileName + ": File too large", error);
        EXPECT_EQ("old contents", ReadFile());
        std::vector<std::string> entries = DirectoryEntries();
        std::sort(entries.begin(), entries.end());
        std::vector<std::string> expected{kParameterFileName};
        if (linked) {
            expected.push_back("link");
            fs::remove("link");
        }
        EXPECT_EQ(expected, entries) << (linked ? "in place" : "by rename");
    }
    // Where SIGXFSZ is not ignored, the limit is looked at before a byte is written: no write of
    // the save ends the process half way.
    EXPECT_EQ(0, InChild([] {
                  const rlimit tiny{8, 8};
                  return setrlimit(RLIMIT_FSIZE, &tiny) != 0 ||
                         SaveParameterFile(kParameterFileName, NumberedSet(1)).failure.fault !=
                             FileFault::kNoRoom;
              }));
    EXPECT_EQ(std::vector<std::string>{kParameterFileName}, DirectoryEntries());
}

// Where the new file could not carry what the old one had, or the folder lets no new file take
// the name, the save writes in place and the file stays what it was: its owner and group, its
// ACL and other attributes.
TEST_F(ParameterFileTest, SaveWritesInPlaceWhereTheFileCannotBeReplaced) {
    const bool root = ::geteuid() == 0;
    const uid_t someone = 4711; // neither the saver nor root
    const gid_t shared = 4711;
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nullptr, nobody);
    // A folder the saver may not write, with a file of its own.
    fs::create_directory("closed");
    std::vector<std::string> files = {"closed/settings"};
    std::ofstream(files[0]) << "old";
    // Attributes a new file would not have, on a file of its own in a folder open to it.
    fs::create_directory("open");
    ASSERT_EQ(0, ::chmod("open", 0777));
    files.push_back("open/attributed");
    std::ofstream(files.back()) << "old";
    const bool attributes = ::setxattr(files.back().c_str(), "user.note", "kept", 4, 0) == 0;
    if (!root) {
        ::chmod("closed", 0555);
    } else {
        for (const std::string& own : files) {
            ASSERT_EQ(0, ::chown(own.c_str(), nobody->pw_uid, nobody->pw_gid));
        }
        // A sticky shared folder, like /tmp, with a file of someone else's.
        fs::create_directory("sticky");
        ASSERT_EQ(0, ::chmod("sticky", 01777));
        files.push_back("sticky/settings");
        std::ofstream(files.back()) << "old";
        ASSERT_EQ(0, ::chmod(files.back().c_str(), 0666));
        // A file of someone else's, shared through a group the saver is in.
        files.push_back("group-shared");
        std::ofstream(files.back()) << "old";
        ASSERT_EQ(0, ::chown(files.back().c_str(), someone, shared));
        ASSERT_EQ(0, ::chmod(files.back().c_str(), 0660));
    }
    std::vector<struct stat> before(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        ASSERT_EQ(0, ::stat(files[i].c_str(), &before[i]));
    }
    const int status = InChildAsNobody(shared, [&] {
        int failures = 0;
        for (const std::string& file : files) {
            failures += Mismatch("save " + file, "",
                                 SaveParameterFile(file.c_str(), NumberedSet(1)).failure.text);
        }
        return failures;
    });
    ::chmod("closed", 0755);
    EXPECT_EQ(0, status);
    for (std::size_t i = 0; i < files.size(); ++i) {
        struct stat after {};
        ASSERT_EQ(0, ::stat(files[i].c_str(), &after));
        EXPECT_EQ(WriteParameterText(NumberedSet(1)), ReadFile(files[i])) << files[i];
        EXPECT_EQ(before[i].st_ino, after.st_ino) << files[i];
        EXPECT_EQ(before[i].st_uid, after.st_uid) << files[i];
        EXPECT_EQ(before[i].st_gid, after.st_gid) << files[i];
        EXPECT_EQ(before[i].st_mode, after.st_mode) << files[i];
    }
    char note[8] = {};
    EXPECT_TRUE(!attributes || ::getxattr(files[1].c_str(), "user.note", note, sizeof note) == 4);
    if (!root) {
        GTEST_SKIP()
            << "the sticky folder and the group-shared file need a second user: run as root";
    }
}

TEST_F(ParameterFileTest, DirectoryThatCannotTakeFilesChangesNothing) {
    fs::create_directory("gone");
    fs::current_path("gone");
    fs::remove(dir_ / "gone"); // the working directory no longer exists
    ParameterSet set;
    set.m_nPort = 6;
    SaveParameters(set, 2);
    EXPECT_EQ(6, set.m_nPort);
    fs::current_path(dir_);
    EXPECT_TRUE(DirectoryEntries().empty());
}
#endif

// Refused at once, never waited on and never replaced, as root too: a device behind a link
// stays the device.
TEST_F(ParameterFileTest, OnlyRegularFilesAreReadOrReplaced) {
    fs::create_directory("folder");
    std::vector<std::pair<std::string, std::string>> files = {{"folder", "a directory"}};
#ifdef _WIN32
    files.emplace_back("NUL", "a device");
    EXPECT_EQ(0, NotRefused(files));
#else
    ASSERT_EQ(0, ::mkfifo("fifo", 0666));
    fs::create_symlink("fifo", "fifo-link");
    const UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "socket");
    ASSERT_EQ(0, ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address));
    files.insert(files.end(),
                 {{"fifo", "a FIFO"}, {"fifo-link", "a FIFO"}, {"socket", "a socket"}});
    // Only root may make a device node (the null device's numbers), and not in every container.
    if (::mknod("device", S_IFCHR | 0666, ::makedev(1, 3)) == 0) {
        fs::create_symlink("device", "device-link");
        files.emplace_back("device-link", "a character device");
    }
    EXPECT_EQ(0, InChild([&] { return NotRefused(files); }))
        << "-1: a load or a save waited on what it was given";
    EXPECT_TRUE(fs::is_fifo("fifo"));
    EXPECT_TRUE(fs::is_socket("socket"));
    if (fs::is_symlink("device-link")) {
        EXPECT_TRUE(fs::is_character_file("device"));
    }
#endif
    EXPECT_TRUE(fs::is_directory("folder"));
}

// Two programs changing the file at once, as two runs of `vkd37 set` or the tool and the dialog:
// each change is read, made and written under the file's lock, so none is lost, whether the
// file is first made by one of them, replaced by rename or written in place (beside a hard link,
// which then sees every change too).
TEST_F(ParameterFileTest, ChangesMadeAtOnceAllLand) {
    constexpr int kTimes = 100;
    ParameterSet start;
    start.ApplyMissingFileValues();
    for (const char* how : {"made", "renamed", "in place"}) {
        if (how == std::string("in place")) {
            fs::create_hard_link(kParameterFileName, "link");
        }
        const std::string before = ReadFile();
        HelperProcess cycles = CountingProcess(0, kTimes);
        HelperProcess delays = CountingProcess(1, kTimes);
        EXPECT_EQ(0, cycles.WaitForExit(std::chrono::seconds(100))) << how;
        EXPECT_EQ(0, delays.WaitForExit(std::chrono::seconds(100))) << how;
        ParameterSet set;
        const LoadOutcome loaded = LoadParameterFile(kParameterFileName, set);
        ASSERT_EQ(LoadOutcome::Kind::kLoaded, loaded.kind) << loaded.failure.text;
        start.m_nCycles += kTimes;
        start.m_nHomeDelay += kTimes;
        EXPECT_EQ(WriteParameterText(start), WriteParameterText(set))
            << how << ", before: " << before;
    }
    EXPECT_EQ(ReadFile(), ReadFile("link"));
}

// A save removes nothing but its own temporaries: not a file whose name merely looks like one
// (those of earlier releases included), nor a FIFO or a link named exactly like one, which it
// neither waits on nor follows.
TEST_F(ParameterFileTest, SaveSweepsOnlyItsOwnTemporaries) {
    const std::string name = kParameterFileName;
    const std::vector<std::string> lookAlikes = {
        name + ".0001.tmp",          name + ".20241206.tmp",        name + ".4711.tmp",
        name + ".vkd37-0000126.tmp", name + ".vkd37-000001267.tmp", name + ".VKD37-00001267.tmp"};
    for (const std::string& file : lookAlikes) {
        std::ofstream(file, std::ios::binary) << "mine";
        Age(file);
    }
    const std::string stale = TemporaryFileName(name, 3);
    std::ofstream(stale, std::ios::binary) << "0 0 10";
    Age(stale);
#ifdef _WIN32
    ParameterSet set = NumberedSet(1);
    SaveParameters(set, set.m_nPort);
    EXPECT_EQ(WriteParameterText(set), ReadFile());
#else
    // A FIFO waits for a writer when opened to read: the sweep must not open it so.
    const std::vector<std::string> specials = {TemporaryFileName(name, 1), name + ".7.tmp",
                                               TemporaryFileName(name, 2)};
    ASSERT_EQ(0, ::mkfifo(specials[0].c_str(), 0666));
    ASSERT_EQ(0, ::mkfifo(specials[1].c_str(), 0666));
    std::ofstream("precious", std::ios::binary) << "mine";
    Age("precious");
    fs::create_symlink("precious", specials[2]);
    EXPECT_EQ(0, InChild([] {
                  ParameterSet set = NumberedSet(1);
                  SaveParameters(set, set.m_nPort);
                  return set.m_nPort == NumberedSet(1).m_nPort ? 0 : 1;
              }))
        << "-1: the save waited on a FIFO";
    for (const std::string& special : specials) {
        EXPECT_TRUE(fs::exists(fs::symlink_status(special))) << special;
    }
    EXPECT_EQ("mine", ReadFile("precious"));
#endif
    for (const std::string& file : lookAlikes) {
        EXPECT_EQ("mine", ReadFile(file)) << file;
    }
    EXPECT_FALSE(fs::exists(stale));
}

// Killed at any moment, a save leaves the old values or the new ones, never a mixture or a
// truncated file, whether it replaces the file or (for the second half, beside a hard link)
// writes in place; the next save clears away the temporary files the killed ones left.
TEST_F(ParameterFileTest, SavesKilledAtRandomMomentsLeaveTheOldOrTheNewValues) {
#ifdef _WIN32
    constexpr int kRounds = 60; // a process start costs more here
#else
    constexpr int kRounds = 300;
#endif
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pauseUs(0, 5000);
    WriteFile(WriteParameterText(NumberedSet(0)));
    int last = 0;
    for (int round = 0; round < kRounds; ++round) {
        if (round == kRounds / 2) {
            fs::create_hard_link(kParameterFileName, "link");
        }
        HelperProcess saver = SavingProcess();
        ASSERT_TRUE(saver.IsValid());
        // Once it has saved at least once, stop it somewhere in a later save.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (SaveNumber(ReadFile()) <= last) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the saver never saved";
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
        saver.Kill();
        const std::string text = ReadFile();
        const int saved = SaveNumber(text);
        ASSERT_GT(saved, last) << "round " << round << " (seed " << seed << "): \"" << text << "\"";
        last = saved;
    }
    for (const std::string& entry : DirectoryEntries()) {
        if (entry != kParameterFileName && entry != "link") {
            Age(entry); // the killed saves' temporaries, once no save can be under way in them
        }
    }
    ParameterSet set = NumberedSet(last + 1);
    SaveParameters(set, set.m_nPort);
    std::vector<std::string> entries = DirectoryEntries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ((std::vector<std::string>{kParameterFileName, "link"}), entries);
    EXPECT_EQ(WriteParameterText(set), ReadFile("link"));
}

// Also for a file in another folder: its stale temporaries lie beside it, not here.
TEST_F(ParameterFileTest, SaveRemovesStaleTemporariesBesideTheFile) {
    fs::create_directory("other");
    const std::string path = "other/" + std::string(kParameterFileName);
    const std::string stale = TemporaryFileName(path, 4294967295ul);
    std::ofstream(stale, std::ios::binary) << "0 0 10";
    Age(stale);
    const SaveOutcome saved = SaveParameterFile(path.c_str(), NumberedSet(1));
    EXPECT_TRUE(saved.Saved()) << saved.failure.text;
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(path));
}

// Whose a temporary is cannot be told across pid namespaces, Wine or a network share: one that
// may belong to a save under way stays, and a save never takes over a name another one uses.
TEST_F(ParameterFileTest, SaveLeavesTemporariesThatMayBelongToASaveUnderWay) {
    const std::string young = TemporaryFileName(kParameterFileName, 4294967295ul);
#ifdef _WIN32
    const std::string sameNumber = TemporaryFileName(kParameterFileName, ::GetCurrentProcessId());
#else
    const std::string sameNumber = TemporaryFileName(kParameterFileName, ::getpid());
#endif
    const std::string held = TemporaryFileName(kParameterFileName, 4294967294ul);
    for (const std::string& temporary : {young, sameNumber, held}) {
        std::ofstream(temporary, std::ios::binary) << "theirs";
    }
    Age(held);
#ifdef _WIN32
    const FileHandle holder(::CreateFileW(fs::path(held).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.IsValid());
#else
    const UniqueFd holder(::open(held.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(0, ::flock(holder.get(), LOCK_EX));
#endif
    ParameterSet set = NumberedSet(1);
    SaveParameters(set, set.m_nPort);
    EXPECT_EQ(WriteParameterText(set), ReadFile());
    for (const std::string& temporary : {young, sameNumber, held}) {
        EXPECT_EQ("theirs", ReadFile(temporary)) << temporary;
    }
}

// Another program's save holds the lock: the save waits as long as its caller says, and tells
// a lock held past the bound (another program holds the file) from a wait its caller ended.
TEST_F(ParameterFileTest, ASaveWaitsForTheLockAsItsCallerSays) {
    WriteFile(kDefaultFile);
    SaveLockHolder holder(kParameterFileName);
    ASSERT_TRUE(holder.IsHeld());
    const SaveOutcome held = SaveParameterFile(kParameterFileName, NumberedSet(1), {200, {}});
    EXPECT_EQ(FileFault::kHeld, held.failure.fault);
    EXPECT_EQ("cannot lock "s + kParameterFileName + ": another program holds the file",
              held.failure.text);
    int polls = 0;
    const SaveOutcome stopped = SaveParameterFile(
        kParameterFileName, NumberedSet(1), {kSaveLockWaitMs, [&polls] { return ++polls < 3; }});
    EXPECT_EQ(FileFault::kStopped, stopped.failure.fault);
    EXPECT_EQ(3, polls);
    EXPECT_EQ(kDefaultFile, ReadFile());
    // Let go of while the save waits: it goes ahead.
    const SaveOutcome saved =
        SaveParameterFile(kParameterFileName, NumberedSet(1), {kSaveLockWaitMs, [&] {
                                                                   holder.Release();
                                                                   return true;
                                                               }});
    EXPECT_TRUE(saved.Saved()) << saved.failure.text;
    EXPECT_EQ(WriteParameterText(NumberedSet(1)), ReadFile());
}

#ifndef _WIN32
// A file server's lease (Samba, NFS) is broken by the save's open, whose holder is then told to
// give it back: the save waits for that, as long as it waits for the lock.
TEST_F(ParameterFileTest, ASaveWaitsForALeaseToBeGivenBack) {
    for (const bool givenBack : {true, false}) {
        SCOPED_TRACE(givenBack ? "given back" : "kept");
        WriteFile(kDefaultFile);
        int ready[2];
        ASSERT_EQ(0, ::pipe(ready));
        HelperProcess holder([&] {
            sigset_t broken;
            sigemptyset(&broken);
            sigaddset(&broken, SIGIO); // the kernel's word that the lease is wanted
            ::sigprocmask(SIG_BLOCK, &broken, nullptr);
            const UniqueFd file(::open(kParameterFileName, O_RDONLY));
            const char leased = ::fcntl(file.get(), F_SETLEASE, F_RDLCK) == 0 ? 'y' : 'n';
            if (::write(ready[1], &leased, 1) != 1 || leased != 'y') {
                return 1;
            }
            const timespec limit{20, 0};
            if (::sigtimedwait(&broken, nullptr, &limit) == SIGIO && givenBack) {
                ::fcntl(file.get(), F_SETLEASE, F_UNLCK);
            }
            ::pause();
            return 0;
        });
        char leased = 'n';
        ASSERT_EQ(1, ::read(ready[0], &leased, 1));
        ::close(ready[0]);
        ::close(ready[1]);
        if (leased != 'y') {
            GTEST_SKIP() << "this file system keeps no leases";
        }
        const SaveOutcome saved = SaveParameterFile(kParameterFileName, NumberedSet(1), {500, {}});
        if (givenBack) {
            EXPECT_TRUE(saved.Saved()) << saved.failure.text;
            EXPECT_EQ(WriteParameterText(NumberedSet(1)), ReadFile());
        } else {
            EXPECT_EQ(FileFault::kHeld, saved.failure.fault);
            EXPECT_EQ("cannot lock "s + kParameterFileName + ": another program holds the file",
                      saved.failure.text);
            EXPECT_EQ(kDefaultFile, ReadFile());
        }
    }
}

// A name as long as the file system allows: the temporary's name is cut to fit, at a whole
// character, and the sweep still knows it for its own.
TEST_F(ParameterFileTest, NamesAtTheFileSystemsLimitAreSaved) {
    const long nameMax = ::pathconf(".", _PC_NAME_MAX);
    ASSERT_GT(nameMax, 40);
    const std::size_t length = static_cast<std::size_t>(nameMax);
    std::string name;
    while (name.size() + 2 <= length - 4) {
        name += "\xC3\xA9"; // é, so that a cut may fall inside a character
    }
    name += std::string(length - 4 - name.size(), 'e') + ".dll";
    ASSERT_EQ(length, name.size());
    const std::string stale = TemporaryFileName(name, 7, length);
    ASSERT_LE(stale.size(), length);
    std::ofstream(stale, std::ios::binary) << "0 0 10";
    Age(stale);
    const SaveOutcome created = SaveParameterFile(name.c_str(), NumberedSet(1));
    EXPECT_EQ(SaveHow::kCreated, created.how) << created.failure.text;
    const SaveOutcome replaced = SaveParameterFile(name.c_str(), NumberedSet(2));
    EXPECT_EQ(SaveHow::kReplaced, replaced.how) << replaced.failure.text;
    EXPECT_EQ(WriteParameterText(NumberedSet(2)), ReadFile(name));
    EXPECT_EQ(std::vector<std::string>{name}, DirectoryEntries());
}

// In place, a save blanks only what a reader takes: a file of any length costs it no more memory
// or writing than that (here a limit on the file size the old one is far beyond).
TEST_F(ParameterFileTest, InPlaceASaveBlanksOnlyWhatAReaderTakes) {
    WriteFile(kDefaultFile);
    fs::resize_file(kParameterFileName, std::uintmax_t{64} << 20);
    fs::create_hard_link(kParameterFileName, "link");
    EXPECT_EQ(0, InChild([] {
                  std::signal(SIGXFSZ, SIG_IGN);
                  const rlimit limit{kStoreReadLimit * 2, kStoreReadLimit * 2};
                  const SaveOutcome saved =
                      setrlimit(RLIMIT_FSIZE, &limit) == 0
                          ? SaveParameterFile(kParameterFileName, NumberedSet(1))
                          : SaveOutcome{};
                  return Mismatch("save", "", saved.failure.text) +
                         (saved.how != SaveHow::kWrittenInPlace);
              }));
    EXPECT_EQ(WriteParameterText(NumberedSet(1)), ReadFile("link"));
}

// Where no new file can take the name though the file itself can be written, the save writes in
// place: a file bind-mounted over another (a container's volume), a disk too full for a second
// copy or its name. A text that needs more room than the disk has leaves the file as it was.
TEST_F(ParameterFileTest, SaveWritesInPlaceWhereNoNewFileCanTakeTheName) {
    const int status = InChild([] {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return 77;
        }
        int failures = 0;
        const auto save = [&failures](const char* file, SaveHow expected) {
            const SaveOutcome saved = SaveParameterFile(file, NumberedSet(1));
            failures += Mismatch(std::string("save ") + file, "", saved.failure.text) +
                        (saved.Saved() && saved.how != expected);
            failures += Mismatch(std::string("read ") + file, WriteParameterText(NumberedSet(1)),
                                 ReadWholeFile(file));
        };
        std::ofstream("volume") << kDefaultFile;
        std::ofstream(kParameterFileName) << "old";
        failures += ::mount("volume", kParameterFileName, nullptr, MS_BIND, nullptr) != 0;
        save(kParameterFileName, SaveHow::kWrittenInPlace);
        failures += Mismatch("volume", WriteParameterText(NumberedSet(1)), ReadWholeFile("volume"));
        // No room for the temporary's contents, then none for its name.
        const auto fill = [](const char* file) {
            std::ofstream filler(file, std::ios::app);
            for (int i = 0; i < 5000 && filler; ++i) {
                filler << std::string(1024, 'x') << std::flush;
            }
        };
        for (const char* options : {"size=16k", "size=1m,nr_inodes=3"}) {
            fs::create_directory("disk");
            failures += ::mount("tmpfs", "disk", "tmpfs", 0, options) != 0;
            std::ofstream("disk/settings") << kDefaultFile;
            fill("disk/filler");
            save("disk/settings", SaveHow::kWrittenInPlace);
            failures += ::umount("disk") != 0;
        }
        // Full to the last page, an empty file cannot grow.
        failures += ::mount("tmpfs", "disk", "tmpfs", 0, "size=16k") != 0;
        std::ofstream("disk/settings").close();
        fill("disk/filler");
        const SaveOutcome grown = SaveParameterFile("disk/settings", NumberedSet(1));
        failures += grown.failure.fault != FileFault::kNoRoom;
        failures += Mismatch("grown", "", ReadWholeFile("disk/settings"));
        // A disk mounted read-only refuses a change as read-only, not as unreadable.
        failures += ::mount(nullptr, "disk", nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0;
        const SaveOutcome readOnly =
            UpdateParameterFile("disk/settings", [](ParameterSet&, FileFailure&) { return true; });
        failures += readOnly.failure.fault != FileFault::kReadOnly;
        failures += Mismatch("read-only", "cannot replace disk/settings: Read-only file system",
                             readOnly.failure.text);
        failures += ::umount("disk") != 0;
        return failures;
    });
    if (status == 77) {
        GTEST_SKIP() << "mounting needs root or a user namespace";
    }
    EXPECT_EQ(0, status);
}
#endif

// A new file whose temporaries the file system cannot name (80 CJK characters are 240 bytes,
// and Linux takes 255 for a name, which Windows under Wine does not know): it is made all the
// same, directly where it must be, and nothing else is left.
TEST_F(ParameterFileTest, ANewFileIsMadeWhereNoTemporaryCanBe) {
    std::string name;
    for (int i = 0; i < 80; ++i) {
        name += "\u53c2";
    }
    name += ".dll";
    const SaveOutcome saved = SaveParameterFile(name.c_str(), NumberedSet(1));
    EXPECT_TRUE(saved.Saved()) << saved.failure.text;
    EXPECT_EQ(WriteParameterText(NumberedSet(1)), ReadFile(fs::u8path(name)));
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(".")) {
        entries.push_back(entry.path().filename().u8string());
    }
    EXPECT_EQ(std::vector<std::string>{name}, entries);
}
