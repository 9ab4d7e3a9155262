#include <gtest/gtest.h>

#include "ui/framework/IntegerText.h"

namespace {

constexpr int kUntouched = 4711;

int Parsed(const wchar_t* text) {
    int value = kUntouched;
    EXPECT_TRUE(ParseIntegerText(text, value)) << "text: \"" << text << "\"";
    return value;
}

void ExpectRefused(const wchar_t* text) {
    int value = kUntouched;
    EXPECT_FALSE(ParseIntegerText(text, value)) << "text: \"" << text << "\"";
    EXPECT_EQ(kUntouched, value) << "a refused text must not be stored";
}

} // namespace

TEST(IntegerText, AcceptsSignedNumbersWithBlanksAround) {
    EXPECT_EQ(0, Parsed(L"0"));
    EXPECT_EQ(108, Parsed(L"108"));
    EXPECT_EQ(42, Parsed(L"  42 "));
    EXPECT_EQ(5, Parsed(L"\t5\r\n"));
    EXPECT_EQ(-7, Parsed(L"-7"));
    EXPECT_EQ(7, Parsed(L"+7"));
    EXPECT_EQ(7, Parsed(L"007"));
}

TEST(IntegerText, AcceptsTheWholeIntRange) {
    EXPECT_EQ(2147483647, Parsed(L"2147483647"));
    EXPECT_EQ(-2147483647 - 1, Parsed(L"-2147483648"));
    EXPECT_EQ(16777211, Parsed(L"16777211"));
}

TEST(IntegerText, RefusesWhatIsNotOneDecimalNumber) {
    for (const wchar_t* text : {L"", L"   ", L"-", L"+", L"abc", L"12a", L"a12", L"1 2", L"1.5",
                                L"0x10", L"--1", L"+-1", L"1e3", L"\uFF11\uFF12",
                                // blanks of other scripts and a byte-order mark are not blanks
                                L"\u00A012", L"12\u3000", L"\uFEFF12"}) {
        ExpectRefused(text);
    }
}

TEST(IntegerText, RefusesNumbersBeyondInt) {
    for (const wchar_t* text :
         {L"2147483648", L"-2147483649", L"99999999999", L"123456789012345678901234567890"}) {
        ExpectRefused(text);
    }
}
