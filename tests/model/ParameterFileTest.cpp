#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
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
#include "platform/Handles.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// The stored values in file order, for comparing a whole set at once.
std::vector<int> Stored(const ParameterSet& s) {
    return {s.m_nPort,     s.m_nFwdSource,   s.m_nFwdAcc,     s.m_nFwdSpeed,
            s.m_nFwdDec,   s.m_nRevSource,   s.m_nRevDec,     s.m_nRevSpeed,
            s.m_nRevAcc,   s.m_nCycles,      s.m_nHomeDelay,  s.m_nEndDelay,
            s.m_bCyclesOn, s.m_bHomeDelayOn, s.m_bEndDelayOn, s.m_bAutoHome};
}

std::vector<int> ReadAll(const std::string& text) {
    ParameterSet set;
    ReadParameterText(text, set);
    return Stored(set);
}

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

TEST(ParameterText, WritesEachValueFollowedByOneSpaceInFileOrder) {
    ParameterSet set;
    set.ApplyMissingFileValues();
    EXPECT_EQ(kDefaultFile, WriteParameterText(set));

    set = ParameterSet{};
    set.m_nPort = -1;
    set.m_nFwdSource = 1;
    set.m_nRevDec = 7;
    set.m_nRevSpeed = 8;
    set.m_nRevAcc = 9;
    set.m_nEndDelay = INT_MIN;
    set.m_bAutoHome = 1;
    set.m_bAutoStart = 1; // never stored
    set.m_bLegendOn = 1;  // never stored
    EXPECT_EQ("-1 1 0 0 0 0 7 8 9 0 0 -2147483648 0 0 0 1 ", WriteParameterText(set));
}

TEST(ParameterText, RoundTripsEveryValue) {
    ParameterSet set;
    int next = -8;
    for (int* member :
         {&set.m_nPort, &set.m_nFwdSource, &set.m_nFwdAcc, &set.m_nFwdSpeed, &set.m_nFwdDec,
          &set.m_nRevSource, &set.m_nRevDec, &set.m_nRevSpeed, &set.m_nRevAcc, &set.m_nCycles,
          &set.m_nHomeDelay, &set.m_nEndDelay, &set.m_bCyclesOn, &set.m_bHomeDelayOn,
          &set.m_bEndDelayOn, &set.m_bAutoHome}) {
        *member = next++ * 1000003;
    }
    set.m_nPort = INT_MAX;
    set.m_bAutoHome = INT_MIN;
    ParameterSet loaded;
    EXPECT_EQ(kStoredValueCount, ReadParameterText(WriteParameterText(set), loaded));
    EXPECT_EQ(Stored(set), Stored(loaded));
}

TEST(ParameterText, AnyRunOfBlanksSeparatesValues) {
    const std::vector<int> expected = ReadAll(kDefaultFile);
    EXPECT_EQ(expected, ReadAll("0\n0\r\n10\t108    10\v0\f10 108\n\n\n10 100 2000 2000 0 0 0 0"));
    EXPECT_EQ(expected, ReadAll("   \n" + kDefaultFile + "\n\n  "));
}

// A new set starts with every member at 0, and the values the file lacks keep that.
TEST(ParameterText, ShortFileLeavesTheRestAsTheyWere) {
    ParameterSet set;
    EXPECT_EQ(2, ReadParameterText("3 1", set));
    std::vector<int> expected(kStoredValueCount, 0);
    expected[0] = 3;
    expected[1] = 1;
    EXPECT_EQ(expected, Stored(set));
}

TEST(ParameterText, StopsAtTheFirstValueThatIsNotANumber) {
    struct Case {
        std::string text;
        std::vector<int> leading; // values taken before the scan stops
    };
    const std::vector<Case> cases = {
        {"12abc 5", {12}},
        {"+5 -0 007", {5, 0, 7}},
        {"0x10 4", {0}},
        {"- 5", {}},
        {"4 -", {4}},
        {"4 +-3", {4}},
        {"\xEF\xBB\xBF"
         "1 2",
         {}},
        {"1 2\x1A 3", {1, 2}},
        {"7 "s + '\0' + " 8", {7}},
        {"9 \x80\xFF 1", {9}},
        {"", {}},
        {"        ", {}},
    };
    for (const Case& c : cases) {
        ParameterSet set;
        set.m_nFwdSpeed = set.m_nFwdDec = set.m_bAutoHome = 77;
        const int taken = ReadParameterText(c.text, set);
        EXPECT_EQ(static_cast<int>(c.leading.size()), taken) << c.text;
        std::vector<int> values = Stored(set);
        for (size_t i = 0; i < c.leading.size(); ++i) {
            EXPECT_EQ(c.leading[i], values[i]) << c.text;
        }
        EXPECT_EQ(77, set.m_bAutoHome) << c.text;
    }
}

TEST(ParameterText, NumberBeyondIntStopsTheScanThere) {
    ParameterSet set;
    set.m_nFwdAcc = 55;
    set.m_nFwdSpeed = 66;
    EXPECT_EQ(2, ReadParameterText("2147483647 -2147483648 99999999999 4", set));
    EXPECT_EQ(INT_MAX, set.m_nPort);
    EXPECT_EQ(INT_MIN, set.m_nFwdSource);
    EXPECT_EQ(55, set.m_nFwdAcc);
    EXPECT_EQ(66, set.m_nFwdSpeed);

    EXPECT_EQ(0, ReadParameterText("2147483648", set));
    EXPECT_EQ(0, ReadParameterText("-2147483649", set));
    EXPECT_EQ(1, ReadParameterText("-000000000000000000002147483648", set));
    EXPECT_EQ(INT_MIN, set.m_nPort);
}

TEST(ParameterText, MegabytesOfDigitsAreRefusedQuickly) {
    ParameterSet set;
    EXPECT_EQ(1, ReadParameterText("5 " + std::string(4 << 20, '9'), set));
    EXPECT_EQ(5, set.m_nPort);
    EXPECT_EQ(0, set.m_nFwdSource);
}

// Whatever the C run-time's "%d " takes from text whose numbers all fit an int, ours takes too.
TEST(ParameterText, AgreesWithTheCScanOnNumbersThatFit) {
    std::mt19937 random(20261207);
    const std::string alphabet = "0123456789      \n\t+-xa.";
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 40);
        int digitsInARow = 0;
        for (int i = 0; i < length; ++i) {
            char c = alphabet[random() % alphabet.size()];
            if (c >= '0' && c <= '9' && ++digitsInARow > 9) {
                c = ' ';
            }
            if (c < '0' || c > '9') {
                digitsInARow = 0;
            }
            text += c;
        }
        std::vector<int> expected;
        for (const char* p = text.c_str(); expected.size() < kStoredValueCount;) {
            int value = 0;
            int used = 0;
            if (std::sscanf(p, "%d %n", &value, &used) != 1) {
                break;
            }
            expected.push_back(value);
            p += used;
        }
        ParameterSet set;
        ASSERT_EQ(static_cast<int>(expected.size()), ReadParameterText(text, set)) << text;
        const std::vector<int> values = Stored(set);
        EXPECT_EQ(expected, std::vector<int>(values.begin(), values.begin() + expected.size()))
            << text;
    }
}

TEST_F(ParameterFileTest, MissingFileGivesTheMissingFileValuesAndKeepsFlags) {
    ParameterSet set;
    set.m_bCyclesOn = 1;
    LoadParameters(set);
    ParameterSet expected;
    expected.ApplyMissingFileValues();
    expected.m_bCyclesOn = 1;
    EXPECT_EQ(Stored(expected), Stored(set));
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
    std::vector<int> expected(kStoredValueCount, 0);
    expected[0] = 3;
    expected[1] = 1;
    EXPECT_EQ(expected, Stored(set));

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
