#include <gtest/gtest.h>

#include <clocale>
#include <cwchar>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "record/LabelPattern.h"
#include "record/LabelText.h"
#include "record/RecordReport.h"
#include "record/Utf8.h"

#ifndef _WIN32
#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "Scratch.h"
#endif

using Match = LabelPattern::Match;

#ifndef _WIN32
namespace {

// nullopt for a pattern refused, else whether the label matches.
std::optional<bool> Judged(const std::string& pattern, const std::string& label) {
    std::string error;
    const std::optional<LabelPattern> compiled = LabelPattern::Compile(pattern, error);
    if (!compiled) {
        return std::nullopt;
    }
    return compiled->Whole(label) == Match::kMatches;
}

// Patterns of a small grammar with every construct the automaton treats apart, those JavaScript
// refuses among them (a repeated lookaround), and labels of the characters they name.
std::vector<std::pair<std::string, std::string>> RandomCases(std::size_t count) {
    std::mt19937 random(37);
    const auto pick = [&random](const std::vector<std::string>& from) {
        return from[random() % from.size()];
    };
    const std::vector<std::string> atoms = {"a",   "b", ".", "[ab]", "[^a]",   "\\w",
                                            "\\W", "_", " ", "\\s",  "[a-b_]", "甲"};
    const std::vector<std::string> opens = {"(?:", "(", "(?=", "(?!", "(?<=", "(?<!"};
    const std::vector<std::string> conditions = {"^", "$", "\\b", "\\B"};
    const std::vector<std::string> quantifiers = {"", "", "*", "+", "?", "{0,2}", "{2}", "*?"};
    std::function<std::string(int)> sequence = [&](int depth) {
        std::string text;
        for (std::size_t terms = 1 + random() % 3; terms > 0; --terms) {
            const unsigned kind = random() % 10;
            std::string term = kind < 6 || depth == 0 ? pick(atoms)
                               : kind < 9             ? pick(opens) + sequence(depth - 1) + ")"
                                                      : pick(conditions);
            text += term + pick(quantifiers);
        }
        return random() % 5 == 0 ? text + "|" + sequence(depth - 1) : text;
    };
    std::vector<std::pair<std::string, std::string>> cases;
    while (cases.size() < count) {
        std::string label;
        for (std::size_t length = random() % 6; length > 0; --length) {
            label += pick({"a", "b", "_", " ", "甲"});
        }
        cases.emplace_back(sequence(2), label);
    }
    return cases;
}

} // namespace

// Every answer is JavaScript's, from node's RegExp with the u flag, whose language the tool and the
// page take; backreferences, which JavaScript takes, are refused.
TEST(LabelPatternTest, JudgesLabelsAsJavaScriptDoes) {
    std::vector<std::pair<std::string, std::string>> cases = {
        // In characters, not bytes.
        {"线-.{2}", "线-甲乙"},
        {".{4}", "号1"},
        {"[甲乙]-1", "乙-1"},
        {".", "😀"},
        {"..", "😀"},
        {"[😀-🙏]", "🙂"},
        {"\\u{1F600}", "😀"},
        {"\\ud83d\\ude00", "😀"},
        // Lookarounds, named groups, properties.
        {"A-(?<=A-)[0-9]{4}", "A-0017"},
        {"(?<line>[A-Z])-(?<number>[0-9]{4})", "A-0017"},
        {"(?=.*\\d)(?=.*[a-z])\\w{4,}", "ab12"},
        {"(?=.*\\d)\\w{4,}", "abcd"},
        {"(?<!B)-1", "-1"},
        {"[A-Z](?!0)\\d+", "A017"},
        {"a(?=b)", "a"},
        {"\\p{L}+-\\d+", "线甲-12"},
        {"\\p{sc=Han}{2}", "甲乙"},
        {"\\p{Script_Extensions=Hira}", "ー"},
        {"\\p{scx=Zinh}", "\u0951"}, // Inherited, but its extensions name other scripts
        {"\\p{scx=Deva}", "\u0951"},
        {"\\p{gc=P}\\p{M}\\p{Z}", "-\u0301\u3000"},
        {"\\P{L}", "1"},
        {"\\p{Emoji_Presentation}", "😀"},
        {"\\p{Lu}\\p{Ll}", "Ab"},
        {"\\p{General_Category=Decimal_Number}", "٣"},
        {"[\\p{L}\\p{N}]+", "a1甲"},
        // Characters JavaScript's escapes and classes name.
        {"\\s", "\u3000"},
        {"\\s", "\u0085"},
        {"[^]", "\n"},
        {".", "\n"},
        {".", "\u2028"},
        {"\\cJ", "\n"},
        {"\\x41\\u0042\\u{43}", "ABC"},
        {"[\\b]", "\b"},
        {"[\\-a]", "-"},
        {"\\bA\\b", "A"},
        {"\\w\\B\\w", "ab"},
        {"[]", ""},
        {"", ""},
        {"a||b", ""},
        {"(?:)*", ""},
        {"(a*)*b", "aaaaaaaaaaaa"},
        {"(?:^a|b$)+", "ab"},
        // Patterns JavaScript refuses, or takes only without the u flag.
        {"a{2,1}", "a"},
        {"a{,3}", "a"},
        {"{", "{"},
        {"]", "]"},
        {"a{1", "a"},
        {"\\-", "-"},
        {"[\\d-z]", "a"},
        {"[z-\\d]", "a"},
        {"[a-]", "-"},
        {"[\\w-]", "-"},
        {"\\00", "a"},
        {"\\8", "8"},
        {"(a)\\2", "a"},
        {"\\k", "k"},
        {"\\c", "c"},
        {"[\\c]", "c"},
        {"\\x4", "a"},
        {"\\u12", "a"},
        {"\\u{110000}", "a"},
        {"\\u{0000000041}", "A"},
        {"(?=a)*", "a"},
        {"(?<=a)?", ""},
        {"^*", ""},
        {"\\b+", ""},
        {"a**", "a"},
        {"a{2}{3}", "a"},
        {"(?i:a)", "a"},
        {"\\p{L", "a"},
        {"\\p{}", "a"},
        {"\\p{gc=}", "a"},
        {"\\p{Latin}", "a"},
        {"\\p{ascii}", "a"},
        {"\\p{sc=Hrkt}", "a"},
        {"(?<$x\\u0061>a)", "a"},
        {"(?<1a>a)", "a"},
        {"(?<a\\u200Cb>a)", "a"},
        {"(?<𝒜>x)", "x"},
        {"(?<a>x)|(?<a>y)", "x"},
        {"[\\B]", "B"},
        {"(?:", ""},
        {"(?", ""},
        {"(?<a", ""},
        {"a)", "a"},
        {"[", ""},
        {"\\", ""},
        {"\\/", "/"},
        {"[a-\\p{L}]", "a"},
        {"[b-a]", "a"},
        {"\\p{Any}", "\xF4\x8F\xBF\xBF"},
        // Backreferences: refused by the tool and the page alike.
        {"(a)\\1", "aa"},
        {"\\k<a>(?<a>)", ""},
        {"\\\\1", "\\1"},
    };
    const std::vector<std::pair<std::string, std::string>> random = RandomCases(3000);
    cases.insert(cases.end(), random.begin(), random.end());

    ScratchFolder scratch("vkd37-patterns");
    const std::string input = scratch / "cases.json";
    std::ofstream(input) << nlohmann::json(cases).dump();
    // A backreference is an escape \1-\9 or \k after an even number of backslashes; inside a
    // class either is already a SyntaxError with the u flag.
    const std::string script =
        "const cases = JSON.parse(require('fs').readFileSync(process.argv[1], 'utf8'));"
        "const backreference = /(?:^|[^\\\\])(?:\\\\\\\\)*\\\\(?:[1-9]|k)/u;"
        "console.log(JSON.stringify(cases.map(([pattern, label]) => {"
        "  try { new RegExp(pattern, 'u'); } catch { return null; }"
        "  if (backreference.test(pattern)) return null;"
        "  return new RegExp(`^(?:${pattern})$`, 'u').test(label);"
        "})));";
    ChildProcess node(VKD_NODE, {"-e", script, input});
    const nlohmann::json answers = nlohmann::json::parse(node.OutputText(), nullptr, false);
    ASSERT_EQ(0, node.WaitForExit()) << node.ErrorText();
    ASSERT_EQ(cases.size(), answers.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& [pattern, label] = cases[i];
        const std::optional<bool> expected =
            answers[i].is_null() ? std::nullopt : std::optional<bool>(answers[i].get<bool>());
        EXPECT_EQ(expected, Judged(pattern, label)) << "/" << pattern << "/ '" << label << "'";
    }
}
#endif

// Time grows with the label, never faster, and no stack with it; a stop ends a match at once.
TEST(LabelPatternTest, LongLabelsAndCostlyPatternsEndInTime) {
    const std::string run(100000, 'a');
    const struct {
        const char* pattern;
        std::string label;
        Match match;
    } cases[] = {
        {"(a|b)*", run, Match::kMatches},
        {"(a*)*c", run, Match::kDiffers},
        {"(?=(a+)+b).*", run, Match::kDiffers},
        {"(?<=(a|aa)*)a*", run, Match::kMatches},
        {"(?:a{1,20}){1,50}", run.substr(0, 1000), Match::kMatches},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::optional<LabelPattern> pattern = LabelPattern::Compile(c.pattern, error);
        ASSERT_TRUE(pattern) << c.pattern << ": " << error;
        EXPECT_EQ(c.match, pattern->Whole(c.label)) << c.pattern;
        int asked = 0;
        EXPECT_EQ(Match::kStopped, pattern->Whole(c.label, [&asked] { return ++asked > 2; }));
    }
    std::string error;
    EXPECT_FALSE(LabelPattern::Compile("(?:a{1,200}){1,100}", error));
    EXPECT_NE(std::string::npos, error.find("too large")) << error;
    const auto nested = [](int depth) { return std::string(depth, '(') + std::string(depth, ')'); };
    EXPECT_TRUE(LabelPattern::Compile(nested(LabelPattern::kMaxNesting), error)) << error;
    EXPECT_FALSE(LabelPattern::Compile(nested(LabelPattern::kMaxNesting + 1), error));
    EXPECT_NE(std::string::npos, error.find("nested too deeply")) << error;
}

TEST(LabelTextTest, BlanksAreTrimmedAndControlsEscaped) {
    const struct {
        const char* text;
        const char* trimmed;
        const char* escaped;
    } cases[] = {
        {" \t甲-1\u3000\r", "甲-1", " \\t甲-1\u3000\\r"},
        {"\u3000\u3000", "", "\u3000\u3000"},
        {"A\nB", "A\nB", "A\\nB"},
        {"\x1B[2J\x7F\xC2\x85", "\x1B[2J\x7F\xC2\x85", "\\x1B[2J\\x7F\\x85"},
        {"a\u202Eb\u2028", "a\u202Eb\u2028", "a\\u202Eb\\u2028"},
        // What shows nothing would make two labels read alike; the joiners of emoji stay.
        {"G-1\u200B\uFEFF\u00AD\u2060", "G-1\u200B\uFEFF\u00AD\u2060",
         "G-1\\u200B\\uFEFF\\xAD\\u2060"},
        {"\U0001F468\u200D\U0001F467", "\U0001F468\u200D\U0001F467", "\U0001F468\u200D\U0001F467"},
        {"\u00A0x", "\u00A0x", "\u00A0x"}, // not a blank JavaScript's trim and ours agree on
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.trimmed, TrimmedLabel(c.text)) << c.text;
        EXPECT_EQ(c.escaped, EscapedControls(c.text)) << c.text;
        EXPECT_EQ(c.escaped, ShownLabel(c.text)) << c.text;
    }
    // A label typed with a backslash reads as typed, never as the character its escape shows.
    EXPECT_EQ("G-1\\\\u200B", ShownLabel("G-1\\u200B"));
    EXPECT_EQ("\\\\.\\\\COM3", ShownLabel("\\.\\COM3"));
}

#ifndef _WIN32
// Widths by the Unicode tables, as the C library's own tables give them in a UTF-8 locale, where
// it does not deviate from Unicode's East Asian widths (two of its ranges).
TEST(LabelTextTest, ColumnWidthsAreThoseOfTheUnicodeTables) {
    ASSERT_TRUE(std::setlocale(LC_CTYPE, "C.UTF-8"));
    std::size_t compared = 0;
    for (char32_t code = 0x20; code <= 0x10FFFF; ++code) {
        const int width = ::wcwidth(static_cast<wchar_t>(code));
        const bool deviates =
            (code >= 0x3248 && code <= 0x324F) || (code >= 0x4DC0 && code <= 0x4DFF);
        if (width < 0 || deviates || (code >= 0xD800 && code <= 0xDFFF)) {
            continue;
        }
        std::string text;
        AppendUtf8(text, code);
        ASSERT_EQ(static_cast<std::size_t>(width), ColumnWidth(text)) << std::hex << code;
        ++compared;
    }
    EXPECT_GT(compared, 100000u);
    std::setlocale(LC_CTYPE, "C");
    // Characters that show as one: a flag of two regional indicators, a text character the emoji
    // selector follows, a letter with its combining accent.
    for (const auto& [text, width] : std::vector<std::pair<const char*, std::size_t>>{
             {"\U0001F1E8\U0001F1F3", 2}, {"\u2764\uFE0F", 2}, {"e\u0301", 1}}) {
        EXPECT_EQ(width, ColumnWidth(text)) << text;
    }
}
#endif

#ifndef _WIN32
// The summary's columns stand where a terminal shows them, whatever characters a label holds, and
// a line end in a label begins no row of its own.
TEST(LabelTextTest, TheSummarysColumnsLineUpAndALabelIsOneRow) {
    ParameterSet set;
    set.ApplyMissingFileValues();
    CommissioningRecord record;
    const std::vector<std::string> units = {"A-1", "😀-1", "甲乙-1", "A\nB-1", "e\u0301-1"};
    for (const std::string& unit : units) {
        record.entries.push_back(AttemptEntry("2025-03-04T09:00:00.000Z", unit, "COM3", set,
                                              EchoOutcome::kConfirmed, 41, "vkd37"));
    }
    const std::string summary = ReportSummary(record, Language::kEnglish);
    const std::string table = summary.substr(summary.find("\nUnit ") + 1);
    ASSERT_TRUE(std::setlocale(LC_CTYPE, "C.UTF-8"));
    // The terminal's columns before the attempts: "Attempts" in the heading, "1" in each row.
    const auto columnOfAttempts = [](const std::string& row) {
        const std::size_t at =
            row.compare(0, 5, "Unit ") == 0 ? row.find("Attempts") : row.rfind(" 1 ") + 1;
        std::wstring wide(at + 1, L'\0');
        wide.resize(std::mbstowcs(wide.data(), row.substr(0, at).c_str(), wide.size()));
        return ::wcswidth(wide.c_str(), wide.size());
    };
    std::vector<std::string> rows;
    for (std::size_t at = 0, end; (end = table.find('\n', at)) != std::string::npos; at = end + 1) {
        rows.push_back(table.substr(at, end - at));
    }
    ASSERT_EQ(units.size() + 1, rows.size()) << table;
    for (const std::string& row : rows) {
        EXPECT_EQ(columnOfAttempts(rows[0]), columnOfAttempts(row)) << table;
    }
    EXPECT_NE(std::string::npos, table.find("\nA\\nB-1 ")) << table;
    std::setlocale(LC_CTYPE, "C");
}
#endif
