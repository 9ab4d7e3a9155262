#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
    std::string error;
    EXPECT_FALSE(SaveParameterFile(kParameterFileName, set, error));
    EXPECT_EQ("cannot replace "s + kParameterFileName + ": the file is read-only", error);
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

TEST_F(ParameterFileTest, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    WriteFile("old contents");
    rlimit previous{};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &previous));
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = previous;
    tiny.rlim_cur = 8; // the temporary file fills up part-way through the 50-odd bytes
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &tiny));
    ParameterSet set;
    set.ApplyMissingFileValues();
    set.m_nPort = 6;
    SaveParameters(set, 2);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(6, set.m_nPort);
    EXPECT_EQ("old contents", ReadFile());
    EXPECT_EQ(std::vector<std::string>{kParameterFileName}, DirectoryEntries());
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

// A process that saves numbered sets in the working directory until it is killed.
class SavingProcess {
public:
#ifdef _WIN32
    SavingProcess() {
        wchar_t self[MAX_PATH];
        std::wstring program(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
        program = program.substr(0, program.find_last_of(L"\\/") + 1) + L"save_loop.exe";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (::CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &info)) {
            ::CloseHandle(info.hThread);
            process_ = info.hProcess;
        }
    }
    ~SavingProcess() {
        Kill();
    }
    bool IsValid() const {
        return process_ != nullptr;
    }
    void Kill() {
        if (process_) {
            ::TerminateProcess(process_, 1);
            ::WaitForSingleObject(process_, INFINITE);
            ::CloseHandle(process_);
            process_ = nullptr;
        }
    }

private:
    HANDLE process_ = nullptr;
#else
    SavingProcess() : process_(::fork()) {
        if (process_ == 0) {
            SaveForever();
        }
    }
    ~SavingProcess() {
        Kill();
    }
    bool IsValid() const {
        return process_ > 0;
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
    SavingProcess(const SavingProcess&) = delete;
    SavingProcess& operator=(const SavingProcess&) = delete;
};

// Killed at any moment, a save leaves the old values or the new ones, never a mixture or a
// truncated file; the next save clears away the temporary files the killed ones left.
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
        SavingProcess saver;
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
        if (entry != kParameterFileName) {
            Age(entry); // the killed saves' temporaries, once no save can be under way in them
        }
    }
    ParameterSet set = NumberedSet(last + 1);
    SaveParameters(set, set.m_nPort);
    EXPECT_EQ(std::vector<std::string>{kParameterFileName}, DirectoryEntries());
}

// Also for a file in another folder: its stale temporaries lie beside it, not here.
TEST_F(ParameterFileTest, SaveRemovesStaleTemporariesBesideTheFile) {
    fs::create_directory("other");
    const std::string path = "other/" + std::string(kParameterFileName);
    const std::string stale = TemporaryFileName(path, 4294967295ul);
    std::ofstream(stale, std::ios::binary) << "0 0 10";
    Age(stale);
    std::string error;
    EXPECT_TRUE(SaveParameterFile(path.c_str(), NumberedSet(1), error)) << error;
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

TEST(TemporaryFileName, NamesItsNumberAndNothingElse) {
    const std::string name = kParameterFileName;
    EXPECT_EQ(name + ".4711.tmp", TemporaryFileName(name, 4711));
    EXPECT_EQ(4711ul, TemporaryFileNumber(name + ".4711.tmp", name));
    EXPECT_EQ(4294967295ul, TemporaryFileNumber(name + ".4294967295.tmp", name));
    for (const std::string& other :
         {name, name + ".tmp", name + "..tmp", name + ".12a.tmp", name + ".4294967296.tmp",
          name + ".1.tmp.bak", "x" + name + ".1.tmp", std::string("InitialParameter.dl.1.tmp")}) {
        EXPECT_FALSE(TemporaryFileNumber(other, name)) << other;
    }
}
