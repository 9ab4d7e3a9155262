#include <gtest/gtest.h>

#include <algorithm>
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
#include "model/FileStore.h"
#include "model/ParameterFile.h"
#include "model/ParameterText.h"
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

const std::string kDefaultFile = "0 0 10 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ";

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

// Every name of the file sees the new values: a save never splits hard links.
TEST_F(ParameterFileTest, SaveKeepsHardLinksJoined) {
    WriteFile("old contents");
    fs::create_hard_link(kParameterFileName, "other name");
    ParameterSet set = NumberedSet(1);
    SaveParameters(set, set.m_nPort);
    EXPECT_EQ(WriteParameterText(set), ReadFile());
    EXPECT_EQ(WriteParameterText(set), ReadFile("other name"));
}

// Two programs changing the file at once, as two runs of `vkd37 set` or the tool and the dialog:
// each change is read, made and written under the file's lock, so none is lost, whether the
// file is first made by one of them, replaced by rename or written in place.
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

TEST(TemporaryFileName, NamesItsNumberInOneFormAndNothingElse) {
    const std::string name = kParameterFileName;
    EXPECT_EQ(name + ".vkd37-00001267.tmp", TemporaryFileName(name, 4711));
    EXPECT_EQ(4711u, TemporaryFileNumber(name + ".vkd37-00001267.tmp", name));
    EXPECT_EQ(4294967295u, TemporaryFileNumber(name + ".vkd37-ffffffff.tmp", name));
    for (const std::string& other :
         {name, name + ".tmp", name + ".4711.tmp", name + ".vkd37-.tmp",
          name + ".vkd37-0000126g.tmp", name + ".vkd37-0000126F.tmp", name + ".vkd37-+0001267.tmp",
          name + ".vkd37-00001267.tmp.bak", name + ".vkd37-00001267.TMP",
          "x" + name + ".vkd37-00001267.tmp",
          std::string("InitialParameter.dl.vkd37-00001267.tmp")}) {
        EXPECT_FALSE(TemporaryFileNumber(other, name)) << other;
    }
}
