#include <gtest/gtest.h>

#include "SettingsFiles.h"

#include <climits>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "model/ParameterTable.h"
#include "model/ParameterText.h"
#include "model/SaveDecision.h"

using namespace std::string_literals;

namespace {

// The stored values in the file order the table gives them, for comparing a whole set at once.
std::vector<int> Stored(const ParameterSet& set) {
    std::vector<int> values;
    for (const ParameterField* field : FieldsInFileOrder()) {
        values.push_back(set.*(field->member));
    }
    return values;
}

std::vector<int> ReadAll(const std::string& text) {
    ParameterSet set;
    ReadParameterText(text, set);
    return Stored(set);
}

const std::string kDefaultFile = settings_files::kStartValues;

} // namespace

TEST(ParameterText, WritesEachValueFollowedByOneSpaceInFileOrder) {
    ParameterSet set;
    set.ApplyMissingFileValues();
    EXPECT_EQ(kDefaultFile, WriteParameterText(set));

    set.m_nPort = -1;
    set.m_nFwdSource = 1;
    set.m_nFwdAcc = 2;
    set.m_nFwdSpeed = 3;
    set.m_nFwdDec = 4;
    set.m_nRevSource = 5;
    set.m_nRevAcc = 6;
    set.m_nRevSpeed = 7;
    set.m_nRevDec = 8;
    set.m_nCycles = 9;
    set.m_nHomeDelay = 10;
    set.m_nEndDelay = INT_MIN;
    set.m_bCyclesOn = 12;
    set.m_bHomeDelayOn = 13;
    set.m_bEndDelayOn = 14;
    set.m_bAutoHome = 15;
    set.m_bAutoStart = 16; // never stored
    set.m_bLegendOn = 17;  // never stored
    EXPECT_EQ("-1 1 2 3 4 5 8 7 6 9 10 -2147483648 12 13 14 15 ", WriteParameterText(set));
}

TEST(ParameterText, RoundTripsEveryValue) {
    ParameterSet set;
    int next = -8;
    for (const ParameterField& field : ParameterFields()) {
        set.*(field.member) = next++ * 1000003;
    }
    set.m_nPort = INT_MAX;
    set.m_bAutoHome = INT_MIN;
    ParameterSet loaded;
    EXPECT_EQ(kStoredValueCount, ReadParameterText(WriteParameterText(set), loaded).values);
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
    const ParameterReading reading = ReadParameterText("3 1", set);
    EXPECT_EQ(2, reading.values);
    EXPECT_EQ(ReadStop::kEndOfText, reading.stop);
    EXPECT_FALSE(reading.StoppedAtUnreadable());
    std::vector<int> expected(kStoredValueCount, 0);
    expected[0] = 3;
    expected[1] = 1;
    EXPECT_EQ(expected, Stored(set));
}

// Where and why reading stopped is what the tool refuses a file by and the faces say.
TEST(ParameterText, StopsAtTheFirstValueThatIsNotANumber) {
    struct Case {
        std::string text;
        std::vector<int> leading; // values taken before the scan stops
        ReadStop stop;
        std::size_t offset;
    };
    constexpr std::size_t kLimit = kParameterFileReadLimit;
    const std::string blanks(kLimit, ' ');
    const std::string utf16 = "\xFF\xFE"
                              "3\0 \0"
                              "1\0"s;
    const std::vector<Case> cases = {
        {"12abc 5", {12}, ReadStop::kNotANumber, 2},
        {"+5 -0 007", {5, 0, 7}, ReadStop::kEndOfText, 9},
        {"0x10 4", {0}, ReadStop::kNotANumber, 1},
        {"- 5", {}, ReadStop::kNotANumber, 0},
        {"4 -", {4}, ReadStop::kNotANumber, 2},
        {"4 +-3", {4}, ReadStop::kNotANumber, 2},
        // An editor's byte-order mark is skipped; one later on is text like any other.
        {"\xEF\xBB\xBF"
         "1 2",
         {1, 2},
         ReadStop::kEndOfText,
         6},
        {"1 \xEF\xBB\xBF"
         "2",
         {1},
         ReadStop::kNotANumber,
         2},
        {utf16, {}, ReadStop::kNotANumber, 0},
        {"1 2\x1A 3", {1, 2}, ReadStop::kNotANumber, 3},
        {"7 "s + '\0' + " 8", {7}, ReadStop::kNotANumber, 2},
        {"9 \x80\xFF 1", {9}, ReadStop::kNotANumber, 2},
        {"1 99999999999 3", {1}, ReadStop::kOutOfRange, 2},
        {"", {}, ReadStop::kEndOfText, 0},
        {"        ", {}, ReadStop::kEndOfText, 8},
        {kDefaultFile + "junk", ReadAll(kDefaultFile), ReadStop::kComplete,
         kDefaultFile.size() - 1},
        // No reader takes more than the limit: what runs into it, or lies beyond, is not known.
        {blanks + "5 6", {}, ReadStop::kReadLimit, kLimit},
        {blanks.substr(2) + "12345", {}, ReadStop::kReadLimit, kLimit - 2},
        {blanks.substr(3) + "7 -", {7}, ReadStop::kReadLimit, kLimit - 1},
        {blanks.substr(3) + "7 8", {7}, ReadStop::kReadLimit, kLimit - 1},
        {kDefaultFile + blanks.substr(kDefaultFile.size()), ReadAll(kDefaultFile),
         ReadStop::kComplete, kDefaultFile.size() - 1},
        {blanks.substr(3) + "x 1", {}, ReadStop::kNotANumber, kLimit - 3},
    };
    for (const Case& c : cases) {
        ParameterSet set;
        set.m_nFwdSpeed = set.m_nFwdDec = set.m_bAutoHome = 77;
        const ParameterReading reading = ReadParameterText(c.text, set);
        const int taken = reading.values;
        EXPECT_EQ(static_cast<int>(c.leading.size()), taken) << c.text;
        EXPECT_EQ(c.stop, reading.stop) << c.text;
        EXPECT_EQ(c.offset, reading.stopOffset) << c.text;
        EXPECT_EQ(c.text.rfind("\xEF\xBB\xBF", 0) == 0, reading.byteOrderMark) << c.text;
        std::vector<int> values = Stored(set);
        for (size_t i = 0; i < c.leading.size(); ++i) {
            EXPECT_EQ(c.leading[i], values[i]) << c.text;
        }
        if (c.stop != ReadStop::kComplete) {
            EXPECT_EQ(77, set.m_bAutoHome) << c.text;
        }
    }
}

TEST(ParameterText, NumberBeyondIntStopsTheScanThere) {
    ParameterSet set;
    set.m_nFwdAcc = 55;
    set.m_nFwdSpeed = 66;
    EXPECT_EQ(2, ReadParameterText("2147483647 -2147483648 99999999999 4", set).values);
    EXPECT_EQ(INT_MAX, set.m_nPort);
    EXPECT_EQ(INT_MIN, set.m_nFwdSource);
    EXPECT_EQ(55, set.m_nFwdAcc);
    EXPECT_EQ(66, set.m_nFwdSpeed);

    EXPECT_EQ(0, ReadParameterText("2147483648", set).values);
    EXPECT_EQ(0, ReadParameterText("-2147483649", set).values);
    EXPECT_EQ(1, ReadParameterText("-000000000000000000002147483648", set).values);
    EXPECT_EQ(INT_MIN, set.m_nPort);
}

TEST(ParameterText, MegabytesOfDigitsAreRefusedQuickly) {
    ParameterSet set;
    EXPECT_EQ(1, ReadParameterText("5 " + std::string(4 << 20, '9'), set).values);
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
        ASSERT_EQ(static_cast<int>(expected.size()), ReadParameterText(text, set).values) << text;
        const std::vector<int> values = Stored(set);
        EXPECT_EQ(expected, std::vector<int>(values.begin(), values.begin() + expected.size()))
            << text;
    }
}

// Whether a face may write the file: over what it read or last wrote there, as that reads whole,
// and over nothing else unasked (the verdicts the faces' tests do not reach).
TEST(ParameterText, ASaveWritesOnlyOverWhatTheFaceKnowsAndCouldRead) {
    const std::string stopped = "1 2 5 60 7 1 127 1\0 0 65535 15 16777210 1 1 1 1 "s;
    const auto seen = [](const std::string& bytes, std::int64_t seconds = 1,
                         std::uint64_t index = 7, std::uint64_t size = 0) {
        return FileSight::Seen({1, index, size ? size : bytes.size(), seconds, 0}, bytes);
    };
    // Held by another program, which keeps its bytes from being read.
    const auto held = [&](const std::string& bytes, std::uint64_t size = 0) {
        FileSight sight = seen(bytes, 1, 7, size);
        sight.bytes.reset();
        return sight;
    };
    FileSight unknown;
    unknown.kind = FileSight::Kind::kUnknown;
    const std::uint64_t huge = kParameterFileReadLimit + 1; // its first MiB read alike
    const struct {
        FileSight known, found;
        SaveVerdict verdict;
    } cases[] = {
        {seen(kDefaultFile), seen(kDefaultFile, 9, 8), SaveVerdict::kWrite}, // the same bytes
        {seen(kDefaultFile), {}, SaveVerdict::kWrite}, // removed by another program
        {unknown, seen(stopped), SaveVerdict::kUnread},
        {seen(stopped), held(stopped), SaveVerdict::kUnread},
        {seen(kDefaultFile), held(kDefaultFile, 99), SaveVerdict::kChanged}, // only its size
        {seen("1 2"), seen("1 3"), SaveVerdict::kChanged},                   // only its bytes
        {seen(kDefaultFile, 1, 7, huge), seen(kDefaultFile, 2, 7, huge), SaveVerdict::kChanged},
        {seen(kDefaultFile, 1, 7, huge), seen(kDefaultFile, 1, 8, huge), SaveVerdict::kChanged},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.verdict, DecideSave(c.known, c.found).verdict) << &c - cases;
    }
}
