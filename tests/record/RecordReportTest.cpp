#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "record/RecordEntry.h"
#include "record/RecordReport.h"

namespace {

// The line the page's core gives for these values (web/page/core.mjs recordLine), which
// JSON.stringify(JSON.parse(line)) gives back unchanged.
constexpr char kPageLine[] =
    R"({"time":"2025-03-04T09:15:02.123Z","unit":"A-0017","port":"COM3",)"
    R"("frame":"03000A6B0A000A6B0A00000000000000000000","outcome":"confirmed","ms":41,)"
    R"("values":{"fwd.source":0,"fwd.acc":10,"fwd.speed":108,"fwd.dec":10,"rev.source":0,)"
    R"("rev.acc":10,"rev.speed":108,"rev.dec":10,"cycles":100,"home_delay_ms":2000,)"
    R"("end_delay_ms":2000,"cycles.on":0,"home_delay.on":0,"end_delay.on":0,"auto_home":0},)"
    R"("program":"vkd37.html 1.0.0.1"})";

// A line as vkd37 --log wrote it before units and values were recorded.
constexpr char kFirstShapeLine[] =
    R"({"time":"2025-03-04T08:00:00.000Z","port":"/dev/ttyUSB0",)"
    R"("frame":"03000A6B0A000A6B0A00000000000000000000","outcome":"no-echo","ms":1103})";

ParameterSet StartSet() {
    ParameterSet set;
    set.ApplyMissingFileValues();
    return set;
}

RecordEntry Attempt(const char* time, const char* unit, EchoOutcome outcome) {
    return AttemptEntry(time, unit, "COM3", StartSet(), outcome, 41, "vkd37 1.0.0.1");
}

} // namespace

TEST(RecordTest, TheLineIsThePagesByteForByteAndReadsBack) {
    const RecordEntry entry = AttemptEntry("2025-03-04T09:15:02.123Z", "A-0017", "COM3", StartSet(),
                                           EchoOutcome::kConfirmed, 41, "vkd37.html 1.0.0.1");
    EXPECT_EQ(kPageLine, RecordLine(entry));
    const std::optional<RecordEntry> read = ReadRecordLine(kPageLine);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(kPageLine, RecordLine(*read));

    // Texts escaped as JSON.stringify escapes them; bytes that are not UTF-8 become U+FFFD.
    RecordEntry odd = entry;
    odd.unit = "\"A\\17\"\t\x1F\xC3\xA9\xFF";
    odd.values.clear();
    odd.program.clear();
    const std::string line = RecordLine(odd);
    EXPECT_NE(std::string::npos, line.find(R"("unit":"\"A\\17\"\t\u001fé)"
                                           "\xEF\xBF\xBD\""))
        << line;
    EXPECT_EQ(std::string::npos, line.find("values"));
    EXPECT_EQ("\"A\\17\"\t\x1F\xC3\xA9\xEF\xBF\xBD", ReadRecordLine(line).value_or(entry).unit);
    // Every control character as JSON.stringify writes it, read back as it was; one left raw in
    // a line makes it no entry.
    constexpr char kShortForms[] = "\bb\ff\nn\rr\tt";
    for (char c = 0; c < 0x20; ++c) {
        odd.unit = std::string(1, c);
        const char* shortForm = c ? std::strchr(kShortForms, c) : nullptr;
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
        const std::string written = RecordLine(odd);
        EXPECT_NE(std::string::npos,
                  written.find("\"unit\":\"" +
                               (shortForm ? std::string{'\\', shortForm[1]} : escaped) + "\""))
            << written;
        EXPECT_EQ(odd.unit, ReadRecordLine(written).value_or(entry).unit);
        EXPECT_FALSE(
            ReadRecordLine(R"({"time":"2025-03-04T09:00:00.000Z","outcome":"confirmed","unit":")" +
                           odd.unit + "\"}"))
            << int(c);
    }
}

TEST(RecordTest, TimesWithAZoneReadAsUtcAndOthersAreNoEntry) {
    const struct {
        const char* written;
        const char* read; // "" where the line is no entry
    } cases[] = {
        {"2025-03-04T09:15:02.123Z", "2025-03-04T09:15:02.123Z"},
        {"2025-03-04t09:15:02.5z", "2025-03-04T09:15:02.500Z"},
        {"2025-03-04T09:15:02.123999Z", "2025-03-04T09:15:02.123Z"},
        {"2025-03-04T10:30:00+01:00", "2025-03-04T09:30:00.000Z"},
        {"2025-03-01T00:30:00.000+01:00", "2025-02-28T23:30:00.000Z"},
        {"2024-03-01T00:00:00+00:01", "2024-02-29T23:59:00.000Z"},
        {"2024-12-31T23:00:00-01:30", "2025-01-01T00:30:00.000Z"},
        {"", ""},
        {"garbage", ""},
        {"2025-03-04T09:20:00.000", ""}, // no zone: whose time?
        {"2025-03-04 09:20:00Z", ""},
        {"2025-03-04T09:20:00.Z", ""},
        {"2025-02-29T00:00:00Z", ""},
        {"2025-03-04T24:00:00Z", ""},
        {"2025-13-01T00:00:00Z", ""},
        {"2025-03-04T09:20:00+24:00", ""},
        {"0000-01-01T00:00:00+00:01", ""},
        {"2025-03-04T09:20:00Z ", ""},
    };
    for (const auto& c : cases) {
        const std::optional<RecordEntry> entry =
            ReadRecordLine(std::string(R"({"outcome":"confirmed","time":")") + c.written + R"("})");
        EXPECT_EQ(c.read, entry ? entry->time : "") << c.written;
    }
    // An attempt is judged by its time wherever its zone was: the failure at 09:45 UTC comes
    // after the confirmation written at 10:30 an hour east.
    CommissioningRecord record;
    ReadRecordText(R"({"time":"2025-03-04T09:45:00.000Z","unit":"A","outcome":"no-echo"})"
                   "\n"
                   R"({"time":"2025-03-04T10:30:00.000+01:00","unit":"A","outcome":"confirmed"})",
                   record);
    EXPECT_NE(std::string::npos, ReportSummary(record, Language::kEnglish)
                                     .find("A     2         no echo       2025-03-04 09:45:00"));
}

TEST(RecordTest, LinesOfEveryShapeReadAndOthersAreLeftOutByNumber) {
    const std::string text =
        std::string("\xEF\xBB\xBF") + kFirstShapeLine + "\r\n" +
        "\n \t\r\n" // blank lines, CR LF ones too, are no entries, and not left out either
        + kPageLine + "\n" +
        R"({"time":"2025-03-04T09:00:00.000Z","outcome":"re-sent","unit":7,"later":[1,{"a":[]}],"ms":1.5,)"
        R"("values":{"fwd.acc":"10","cycles":-3,"speed":9},"port":"A\u00e9\ud83d\ude00\ud800"})"
        "\n"
        R"({"time":"2025-03-04T09:00:00.000Z","port":"COM1"})"
        "\n"                                                          // no outcome
        R"({"time":"2025-03-04T09:00:00.000Z","outcome":"confirmed")" // cut short, as by a full
                                                                      // disk
        "\n"
        "not json\n" +
        std::string(100, '[') + "\n" + // nesting deeper than any record's
        R"({"time":"2025-03-04T09:00:00.000Z","outcome":"confirmed"} x)"
        "\n" +
        kPageLine; // the last line without its end
    CommissioningRecord record;
    EXPECT_EQ((std::vector<std::size_t>{6, 7, 8, 9, 10}), ReadRecordText(text, record));
    EXPECT_EQ(5u, record.leftOut);
    ASSERT_EQ(4u, record.entries.size());

    const RecordEntry& first = record.entries[0];
    EXPECT_EQ("/dev/ttyUSB0", first.port);
    EXPECT_EQ(EchoOutcome::kNoEcho, first.outcome);
    EXPECT_EQ(1103, first.ms.value_or(0));
    EXPECT_TRUE(first.unit.empty() && first.values.empty() && first.program.empty());

    // Members of the wrong type count as absent; unknown ones are skipped. A later program's
    // outcome keeps its name.
    const RecordEntry& odd = record.entries[2];
    EXPECT_EQ(std::nullopt, odd.outcome);
    EXPECT_NE(std::string::npos, RecordLine(odd).find(R"("outcome":"re-sent")"));
    EXPECT_NE(std::string::npos, ReportCsv(record).find(",re-sent,,")) << ReportCsv(record);
    EXPECT_EQ("", odd.unit);
    EXPECT_FALSE(odd.ms.has_value());
    EXPECT_EQ("A\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD", odd.port);
    ASSERT_EQ(RecordedFields().size(), odd.values.size());
    for (std::size_t i = 0; i < odd.values.size(); ++i) {
        const std::string name = RecordedFields()[i]->name;
        EXPECT_EQ(name == "cycles" ? std::optional<long long>(-3) : std::nullopt, odd.values[i])
            << name;
    }
    EXPECT_EQ(kPageLine, RecordLine(record.entries[3]));
}

TEST(RecordTest, UnitsCountByTheirLastAttempt) {
    const CommissioningRecord record{
        {Attempt("2025-03-04T09:00:00.000Z", "A-1", EchoOutcome::kNoEcho),
         Attempt("2025-03-04T09:01:00.000Z", "A-1", EchoOutcome::kConfirmed),
         Attempt("2025-03-04T09:02:00.000Z", "B,\"2\"", EchoOutcome::kConfirmed),
         Attempt("2025-03-04T09:03:00.000Z", "B,\"2\"", EchoOutcome::kShortEcho),
         Attempt("2025-03-04T08:59:00.000Z", "", EchoOutcome::kConfirmed)},
        1};
    EXPECT_EQ("Commissioning report\n"
              "First entry:                          2025-03-04 08:59:00 UTC\n"
              "Last entry:                           2025-03-04 09:03:00 UTC\n"
              "Record written by:                    vkd37 1.0.0.1\n"
              "Units:                                2\n"
              "Units confirmed (last attempt):       1\n"
              "Units not confirmed:                  1\n"
              "Attempts:                             5\n"
              "Attempts confirmed:                   3\n"
              "Attempts failed:                      2\n"
              "Attempts that name no unit:           1\n"
              "Lines left out (not record entries):  1\n"
              "\n"
              "Unit   Attempts  Last outcome  Time (UTC)\n"
              "A-1    2         confirmed     2025-03-04 09:01:00\n"
              "B,\"2\"  2         short echo    2025-03-04 09:03:00\n",
              ReportSummary(record, Language::kEnglish));

    const std::string csv = ReportCsv(record);
    EXPECT_EQ(0u, csv.find("\xEF\xBB\xBFtime,unit,port,outcome,ms,frame,fwd.source,fwd.acc,"));
    EXPECT_NE(std::string::npos,
              csv.find("\r\n2025-03-04T09:03:00.000Z,\"B,\"\"2\"\"\",COM3,short-echo,41,"
                       "03000A6B0A000A6B0A00000000000000000000,0,10,108,10,0,10,108,10,100,2000,"
                       "2000,0,0,0,0\r\n"))
        << csv;
    EXPECT_EQ(6u, std::count(csv.begin(), csv.end(), '\n'));
    // A label a spreadsheet would take for a formula stays text.
    const std::string formulas =
        ReportCsv({{Attempt("t", "=HYPERLINK(\"x\")", EchoOutcome::kConfirmed),
                    Attempt("t", "-1+1", EchoOutcome::kConfirmed)}});
    EXPECT_NE(std::string::npos, formulas.find("\r\nt,\"'=HYPERLINK(\"\"x\"\")\",COM3,"))
        << formulas;
    EXPECT_NE(std::string::npos, formulas.find("\r\nt,'-1+1,COM3,")) << formulas;
    // Whatever a formula may begin with; a cell with a line break is quoted.
    for (const char* lead : {"+", "@", "\t", "\r"}) {
        const std::string unit = lead + std::string("SUM(A1)\n");
        const std::string csv = ReportCsv({{Attempt("t", unit.c_str(), EchoOutcome::kConfirmed)}});
        EXPECT_NE(std::string::npos, csv.find("\r\nt,\"'" + unit + "\",COM3,")) << csv;
    }
    // A label is text in the printed report too, never markup, and its control characters are
    // shown as the summary shows them.
    const std::string markup = ReportHtml({{Attempt("t",
                                                    "<x>&'\u202E1-A\x1D"
                                                    "2",
                                                    EchoOutcome::kNoEcho)}},
                                          Language::kEnglish, "vkd37", "t");
    EXPECT_EQ(std::string::npos, markup.find("<x>"));
    EXPECT_NE(std::string::npos, markup.find("&lt;x&gt;&amp;&#39;\\u202E1-A\\x1D2")) << markup;

    const std::string html =
        ReportHtml(record, Language::kChinese, "vkd37 1.0.0.1", "2025-03-05T08:00:00.000Z");
    for (const char* part :
         {"<html lang=\"zh-Hans\">", "<dd>vkd37 1.0.0.1</dd>", "<dd>2025-03-05 08:00:00 UTC</dd>",
          "<p class=\"verdict\">2 台设备中 1 台确认成功</p>",
          "未确认的设备：</b>B,&quot;2&quot;（回传不完整）",
          "第 \" counter(page) \" 页，共 \" counter(pages) \" 页",
          "<span>fwd.source=内部速度</span>", "<dt>未标明设备的上传</dt><dd>1</dd>"}) {
        EXPECT_NE(std::string::npos, html.find(part)) << part;
    }
    // Every word in the report's language: each outcome's meaning in the legend, no English word
    // of a value.
    for (int outcome = 0; outcome <= static_cast<int>(EchoOutcome::kLineLost); ++outcome) {
        EXPECT_NE(std::string::npos,
                  html.find(EchoOutcomeMeaning(EchoOutcome(outcome), Language::kChinese)));
    }
    for (const ParameterField* field : RecordedFields()) {
        for (int value = field->min; value <= 2 && field->kind != ValueKind::kNumber; ++value) {
            const char* word = ValueWord(*field, value);
            EXPECT_EQ(std::string::npos, html.find(std::string("=") + (word ? word : "?") + "<"))
                << field->name;
        }
    }
    // The unit not confirmed comes first; A-1's failed attempt is marked as confirmed later,
    // B's is not.
    EXPECT_LT(html.find("<td>B,&quot;2&quot;</td>"), html.find("<td>A-1</td>"));
    const std::size_t later = html.find("之后的上传已确认");
    EXPECT_LT(html.find("<td>A-1</td><td>", html.find("失败的上传</h2>")), later);
    EXPECT_EQ(std::string::npos, html.find("之后的上传已确认", later + 1));
    // Self-contained: nothing runs, nothing is fetched, no style attribute the page's policy
    // would refuse.
    for (const char* part : {"<script", "src=", "href=", "url(", "style="}) {
        EXPECT_EQ(std::string::npos, html.find(part)) << part;
    }
    // The two failed attempts, in their table, and no confirmed one there.
    std::size_t failedRows = 0;
    for (std::size_t at = html.find("失败的上传</h2>");
         (at = html.find("<tbody><tr><td>", at + 1)) != std::string::npos;) {
        ++failedRows;
    }
    EXPECT_EQ(2u, failedRows);
}

// Attempts of the same time keep the order of their lines: the later line is the verdict.
TEST(RecordTest, AttemptsOfOneTimeKeepTheirLinesOrder) {
    for (const auto& [first, last] : {std::pair(EchoOutcome::kNoEcho, EchoOutcome::kConfirmed),
                                      std::pair(EchoOutcome::kConfirmed, EchoOutcome::kNoEcho)}) {
        const CommissioningRecord record{{Attempt("2025-03-04T09:00:00.000Z", "A-1", first),
                                          Attempt("2025-03-04T09:00:00.000Z", "A-1", last)}};
        EXPECT_NE(std::string::npos, ReportSummary(record, Language::kEnglish)
                                         .find(std::string("A-1   2         ") +
                                               EchoOutcomeWord(last, Language::kEnglish)));
    }
}

// A record read a piece at a time gives the lines it gives read whole, wherever the pieces break
// (in a CR LF, in the byte order mark, at a line's end), each with its number and where it
// begins; a line longer than any record line can be is left out without being held.
TEST(RecordTest, ARecordReadInPiecesGivesItsLinesWhereverThePiecesBreak) {
    using Line = std::tuple<std::string, bool, std::size_t, std::uint64_t>;
    const auto lines = [](const std::string& text, std::size_t piece) {
        std::vector<Line> read;
        const auto take = [&read](const RecordLines::Line& line) {
            read.emplace_back(std::string(line.text), line.whole, line.number, line.offset);
        };
        RecordLines splitter;
        for (std::size_t at = 0; at < text.size(); at += piece) {
            splitter.Add(std::string_view(text).substr(at, piece), take);
        }
        splitter.End(take);
        return read;
    };
    const std::string text = std::string("\xEF\xBB\xBF") + kFirstShapeLine + "\r\n\n" + kPageLine +
                             "\nnot json\n" + kPageLine;
    const std::vector<Line> whole = lines(text, text.size());
    ASSERT_EQ(5u, whole.size());
    for (const Line& line : whole) {
        EXPECT_EQ(std::get<0>(line), text.substr(std::get<3>(line), std::get<0>(line).size()));
    }
    EXPECT_EQ(std::string(kFirstShapeLine) + "\r", std::get<0>(whole[0]));
    EXPECT_EQ(kPageLine, std::get<0>(whole[4]));
    for (const std::size_t piece : {1, 2, 3, 7, 64}) {
        EXPECT_EQ(whole, lines(text, piece)) << piece;
    }
    const std::string overlong = std::string(RecordLines::kLongestLine + 1, 'x') + "\n" + kPageLine;
    const std::vector<Line> read = lines(overlong, 1 << 20);
    ASSERT_EQ(2u, read.size());
    EXPECT_EQ(Line("", false, 1, 0), read[0]);
    EXPECT_EQ(Line(kPageLine, true, 2, RecordLines::kLongestLine + 2), read[1]);
}
