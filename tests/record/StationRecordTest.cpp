#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "record/Profile.h"
#include "record/RecordChain.h"
#include "record/RecordReport.h"
#include "record/StationRecord.h"

namespace {

constexpr const char* kLatinLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

ParameterSet StartSet() {
    ParameterSet set;
    set.ApplyMissingFileValues();
    return set;
}

Profile StartProfile() {
    return {"Line 3", "approved", StartSet()};
}

// The last line of text that is not blank, without its line end; empty when there is none.
std::string_view LastLineOf(std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = text.find_last_of('\n', text.size() - 1);
        const std::string_view line = end == std::string_view::npos ? text : text.substr(end + 1);
        if (line.find_first_not_of(" \t\r") != std::string_view::npos) {
            return line;
        }
        text = end == std::string_view::npos ? std::string_view() : text.substr(0, end);
    }
    return {};
}

// A station's record of these units, each line linked as the tool links it.
std::string StationText(const std::vector<const char*>& units, const char* station,
                        const ParameterSet& values = StartSet(), std::string text = "") {
    int second = 10;
    for (const char* unit : units) {
        RecordEntry entry =
            AttemptEntry("2025-03-04T09:00:" + std::to_string(second++) + ".000Z", unit, "COM3",
                         values, EchoOutcome::kConfirmed, 41, "vkd37 1.3.0");
        entry.station = station;
        entry.profile = "Line 3";
        entry.profileId = ValuesIdentity(StartSet());
        entry.prev = ChainLink(LastLineOf(text));
        text += RecordLine(entry) + "\n";
    }
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

// The files gathered as the tool gathers them, each given `piece` bytes at a time, so that lines
// are split where a chunk ends.
struct Gathered {
    CommissioningRecord record;
    std::vector<RecordFileFacts> files;
};

Gathered Gather(const std::vector<std::pair<std::string, std::string>>& files,
                std::size_t piece = 7) {
    Gathered gathered;
    RecordGathering gathering;
    RecordEntry entry;
    for (const auto& [name, text] : files) {
        gathering.StartFile(name);
        const auto take = [&](const RecordLines::Line& line) {
            if (gathering.Add(line, entry) == RecordGathering::LineIs::kEntry) {
                gathered.record.entries.push_back(entry);
            }
        };
        RecordLines lines;
        for (std::size_t at = 0; at < text.size(); at += piece) {
            lines.Add(std::string_view(text).substr(at, piece), take);
        }
        lines.End(take);
    }
    gathering.End();
    gathered.record.chains = gathering.Chains();
    gathered.files = gathering.Files();
    return gathered;
}

} // namespace

// The identity is the values' alone: spacing, order, words for numbers, the name and the note do
// not change it; every value does.
TEST(ProfileTest, TheIdentityIsTheValuesWhateverTheFilesForm) {
    const Profile profile = StartProfile();
    const std::string text = ProfileText(profile);
    const ProfileReading read = ReadProfileText(text);
    ASSERT_TRUE(read.profile) << read.problem;
    EXPECT_EQ(text, ProfileText(*read.profile));
    // Saved by an editor that puts a byte-order mark first.
    const ProfileReading marked = ReadProfileText("\xEF\xBB\xBF" + text);
    ASSERT_TRUE(marked.profile) << marked.problem;
    EXPECT_TRUE(LooksLikeProfile("\xEF\xBB\xBF" + text));
    EXPECT_EQ(text, ProfileText(*marked.profile));

    const std::string reordered = R"({"values":{"auto_home":0,"end_delay.on":"off",)"
                                  R"("home_delay.on":0,"cycles.on":0,"end_delay_ms":2000,)"
                                  R"("home_delay_ms":2000,"cycles":100,"rev.dec":10,)"
                                  R"("rev.speed":108,"rev.acc":10,"rev.source":"internal",)"
                                  R"("fwd.dec":10,"fwd.speed":108,"fwd.acc":10,"fwd.source":0},)"
                                  "\r\n\t\"note\":\"\",\"profile\":\"Another name\"}";
    const ProfileReading other = ReadProfileText(reordered);
    ASSERT_TRUE(other.profile) << other.problem;
    EXPECT_EQ(ValuesIdentity(profile.values), ValuesIdentity(other.profile->values));

    for (const ParameterField* field : RecordedFields()) {
        ParameterSet changed = profile.values;
        changed.*(field->member) += field->max > 1 ? 1 : -1;
        EXPECT_NE(ValuesIdentity(profile.values), ValuesIdentity(changed)) << field->name;
    }
    ParameterSet otherPort = profile.values;
    otherPort.m_nPort = 7;
    EXPECT_EQ(ValuesIdentity(profile.values), ValuesIdentity(otherPort));
}

// A profile holds every recorded value once, within range, and nothing else.
TEST(ProfileTest, RefusesWhatIsNotAnApprovedProfile) {
    const std::string good = ProfileText(StartProfile());
    const auto with = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const struct {
        std::string text;
        const char* problem;
    } cases[] = {
        {with("\"fwd.acc\": 10", "\"fwd.acc\": 300"), "fwd.acc=300 is out of range (0-127)"},
        {with("\"fwd.acc\": 10,", ""), "fwd.acc is missing"},
        {with("\"fwd.acc\": 10", "\"fwd.acc\": 10, \"fwd.acc\": 10"), "fwd.acc is given twice"},
        {with("\"fwd.acc\": 10", "\"port\": 1, \"fwd.acc\": 10"),
         "\"port\" is not a value a profile holds"},
        {with("\"note\"", "\"approver\": \"x\", \"note\""),
         "\"approver\" is not part of a profile"},
        {with("\"fwd.acc\": 10", "\"fwd.acc\": 1.5"), "fwd.acc is not a whole number"},
        {with("\"fwd.source\": \"internal\"", "\"fwd.source\": \"fast\""),
         "fwd.source is \"fast\", not a value"},
        {with("\"profile\": \"Line 3\"", "\"profile\": \"\""), "the profile has no name"},
        {with("\"profile\": \"Line 3\"", "\"profile\": \" \\t\u3000\""), "the profile has no name"},
        {good.substr(0, good.size() - 3), "not a profile"},
    };
    for (const auto& c : cases) {
        const ProfileReading read = ReadProfileText(c.text);
        EXPECT_FALSE(read.profile) << c.text;
        EXPECT_EQ(0u, read.problem.find(c.problem)) << read.problem;
    }
}

// Each way of tampering is named at the line it touched, with what most likely happened there
// where its neighbours tell; a cut line the next links to is a gap; a record from before the chain
// reads, and says so.
TEST(ChainTest, NamesTheLineWhereAFilesChainBreaks) {
    const std::vector<std::string> lines =
        SplitLines(StationText({"A", "B", "C", "D", "E", "F"}, "s1"));
    const auto with = [&lines](std::size_t at, std::size_t erase, std::vector<std::string> put) {
        std::vector<std::string> changed = lines;
        changed.erase(changed.begin() + at, changed.begin() + at + erase);
        changed.insert(changed.begin() + at, put.begin(), put.end());
        return Joined(changed);
    };
    std::string edited = lines[2];
    edited.replace(edited.find("\"fwd.acc\":10"), 12, "\"fwd.acc\":11");
    std::string relinked = lines[3];
    relinked.replace(relinked.find("\"prev\":\"") + 8, 4, "abcd");
    std::string unlinked;
    for (const std::string& line : lines) {
        const std::size_t prev = line.find(",\"prev\":");
        unlinked += line.substr(0, prev) + line.substr(line.find('"', prev + 9) + 1) + "\n";
    }
    // A line made up and linked to the one before it, as a forger who knows the chain would.
    const std::string madeUp =
        SplitLines(StationText({"X"}, "s1", StartSet(), lines[0] + "\n" + lines[1] + "\n"))[2];
    // The last line cut by a full disk; the station ends it and links the next to what is left.
    const std::string cut = Joined(lines).substr(0, Joined(lines).size() - 100) + "\n";
    const std::vector<std::string> old = {
        R"({"time":"2025-03-04T08:00:00.000Z","outcome":"no-echo"})", "not an entry"};
    const std::string continued = StationText({"G"}, "s1", StartSet(), Joined(old));
    std::string crlf = "\xEF\xBB\xBF";
    for (const std::string& line : lines) {
        crlf += line + "\r\n";
    }
    const struct {
        const char* what;
        std::string text;
        ChainState state;
        std::size_t line;
        ChainBreak reason;
    } cases[] = {
        {"as written, blank lines aside", Joined(lines) + "\n \r\n", ChainState::kHeld, 0,
         ChainBreak::kNone},
        {"turned to CR LF and marked by an editor", crlf, ChainState::kHeld, 0, ChainBreak::kNone},
        {"begun in an editor's new, empty file",
         StationText({"A", "B"}, "s1", StartSet(), "\xEF\xBB\xBF"), ChainState::kHeld, 0,
         ChainBreak::kNone},
        {"begun after an editor's empty line",
         StationText({"A", "B"}, "s1", StartSet(), "\xEF\xBB\xBF\r\n"), ChainState::kHeld, 0,
         ChainBreak::kNone},
        {"a value changed", with(2, 1, {edited}), ChainState::kBroken, 3, ChainBreak::kChanged},
        {"a link changed", with(3, 1, {relinked}), ChainState::kBroken, 4, ChainBreak::kReplaced},
        {"a line removed", with(3, 1, {}), ChainState::kBroken, 3, ChainBreak::kChanged},
        {"two lines swapped", with(3, 2, {lines[4], lines[3]}), ChainState::kBroken, 4,
         ChainBreak::kOutOfOrder},
        {"a line copied in", with(5, 0, {lines[1]}), ChainState::kBroken, 6, ChainBreak::kInserted},
        {"a line copied to the end", with(6, 0, {lines[1]}), ChainState::kBroken, 7,
         ChainBreak::kUnfit},
        {"a line made up and linked", with(2, 0, {madeUp}), ChainState::kBroken, 3,
         ChainBreak::kInserted},
        {"an unlinked line put in",
         with(4, 0, {R"({"time":"2025-03-04T09:00:30.000Z","port":"COM3","outcome":"confirmed"})"}),
         ChainState::kBroken, 5, ChainBreak::kUnlinked},
        {"every link taken out", unlinked, ChainState::kBroken, 1, ChainBreak::kUnlinked},
        {"the first line removed", with(0, 1, {}), ChainState::kBroken, 1, ChainBreak::kStartGone},
        {"a cut line ended and linked to", StationText({"G"}, "s1", StartSet(), cut),
         ChainState::kHeld, 0, ChainBreak::kNone},
        {"a cut line at the end", cut, ChainState::kHeld, 0, ChainBreak::kNone},
        {"a cut line, then one not linked to it", cut + lines[0], ChainState::kBroken, 6,
         ChainBreak::kStray},
        {"an old record", Joined(old), ChainState::kNone, 0, ChainBreak::kNone},
        {"no lines, blank ones aside", "\r\n \n", ChainState::kNone, 0, ChainBreak::kNone},
        {"an old record continued by a station", continued, ChainState::kHeld, 0,
         ChainBreak::kNone},
    };
    for (const auto& c : cases) {
        // Whole, and read as the report reads a file, with lines split across its chunks.
        for (const ChainCheck& check :
             {CheckChain(c.text), Gather({{"f", c.text}}, 1).files[0].chain,
              Gather({{"f", c.text}}, 64).files[0].chain}) {
            EXPECT_EQ(c.state, check.state) << c.what;
            EXPECT_EQ(c.line, check.line) << c.what;
            EXPECT_EQ(c.reason, check.reason) << c.what;
            EXPECT_EQ(std::string(c.what).find("a cut line") == 0 && c.state == ChainState::kHeld,
                      check.cut == 1 && check.firstCut == 6)
                << c.what;
        }
        // Said in Chinese, each state and reason leaves no English word: numbers and the head only.
        const ChainCheck check = CheckChain(c.text);
        std::string chinese = ChainText(check, Language::kChinese);
        const std::size_t head = chinese.find(ShortIdentity(check.head));
        if (head != std::string::npos && !check.head.empty()) {
            chinese.erase(head, ShortIdentity(check.head).size());
        }
        EXPECT_EQ(std::string::npos, chinese.find_first_of(kLatinLetters))
            << c.what << ": " << chinese;
    }
    EXPECT_EQ(2u, CheckChain(continued).unlinked);
    // A file with no record lines was not written by an older program.
    for (const char* none : {"\n", "{\"time\":\"2026", "\f\n\xEF\xBB\xBF\xEF\xBB\xBF\n"}) {
        EXPECT_EQ("no chain: the file has no record lines",
                  ChainText(CheckChain(none), Language::kEnglish));
    }
    // Which programs' lines must be linked: the tool's and the page's downloads from 1.2.0 on.
    for (const char* program : {"vkd37 1.2", "vkd37 1.10.0", "vkd37.html 1.2.0"}) {
        EXPECT_TRUE(ProgramLinks(program)) << program;
    }
    for (const char* program :
         {"vkd37 1.1.9", "vkd37.html 1.1.0", "vkd37.htm 1.3.0", "vkd37 next"}) {
        EXPECT_FALSE(ProgramLinks(program)) << program;
    }
    // The last line, which no link covers, is covered by the head the station printed.
    EXPECT_EQ(ChainLink(lines[5]), CheckChain(Joined(lines)).head);
    EXPECT_NE(CheckChain(Joined(lines)).head, CheckChain(with(5, 1, {edited})).head);

    // The summary says every chain held only where every file has one.
    EXPECT_EQ(RecordChains::kHeld, Gather({{"a", Joined(lines)}, {"b", continued}}).record.chains);
    EXPECT_EQ(RecordChains::kNotEveryFile,
              Gather({{"a", Joined(lines)}, {"b", Joined(old)}}).record.chains);
    EXPECT_EQ(RecordChains::kNone, Gather({{"a", Joined(old)}}).record.chains);
    // A file with no record lines counts neither way; with none at all, there is nothing to say.
    EXPECT_EQ(RecordChains::kHeld,
              Gather({{"a", Joined(lines)}, {"b", "\n"}, {"c", "{\"time\""}}).record.chains);
    EXPECT_EQ(std::nullopt, Gather({{"a", ""}, {"b", "\r\n"}}).record.chains);
}

// Several stations' files: a line in two files counts once, each keeps its station, a unit
// confirmed with other values at another station is a conflict (whatever its last attempt did),
// a file with a gap is named, and units off their profile and the counts by profile come out.
// A line the report leaves out is either a gap the chain names or a break: never an attempt that
// disappears while every chain holds. The chain hashes a line without an editor's marks, so a mark
// the reader does not take must not make a whole, linked line look cut.
TEST(ChainTest, ALineTheReportLeavesOutIsNeverHiddenByAHeldChain) {
    const std::vector<std::string> lines = SplitLines(StationText({"A", "B", "C", "D"}, "s1"));
    const struct {
        const char* what;
        std::size_t at;
        std::string line;
    } cases[] = {
        {"a byte-order mark before a line amid others", 2, "\xEF\xBB\xBF" + lines[2]},
        {"a byte-order mark before the last line", 3, "\xEF\xBB\xBF" + lines[3]},
    };
    for (const auto& c : cases) {
        std::vector<std::string> changed = lines;
        changed[c.at] = c.line;
        const Gathered gathered = Gather({{"f", Joined(changed)}});
        const bool allRead = gathered.record.entries.size() == lines.size();
        EXPECT_TRUE(allRead || gathered.files[0].chain.state == ChainState::kBroken)
            << c.what << ": " << gathered.record.entries.size() << " of " << lines.size()
            << " attempts read, and the chain says "
            << ChainText(gathered.files[0].chain, Language::kEnglish);
    }
}

TEST(StationRecordTest, GathersStationsFilesIntoOneRecord) {
    ParameterSet other = StartSet();
    other.m_nFwdAcc = 12;
    const char* const c = "C\\1"; // shown C\\1: no escape reads as it
    const std::string first = StationText({"A", "B", c}, "s1");
    std::vector<std::string> second = SplitLines(StationText({c, "D", "E"}, "s2", other));
    second.erase(second.begin() + 1);
    // C failed at s2 after both stations had confirmed it.
    RecordEntry failed = AttemptEntry("2025-03-04T09:00:30.000Z", c, "COM3", other,
                                      EchoOutcome::kNoEcho, 41, "vkd37 1.3.0");
    failed.station = "s2";
    failed.prev = kChainStart;
    Gathered gathered = Gather({{"s1.jsonl", first},
                                {"copy.jsonl", first},
                                {"s2.jsonl", Joined(second)},
                                // the same values again, at a station whose name holds an ESC
                                {"s3.jsonl", StationText({"A"}, "s\x1B"
                                                                "3")},
                                {"s2-later.jsonl", RecordLine(failed) + "\n"}});
    RecordInMemory source(gathered.record);

    EXPECT_EQ(7u, gathered.record.entries.size());
    EXPECT_EQ(3u, gathered.files[1].repeated);
    EXPECT_EQ(std::vector<std::string>{"s2"}, gathered.files[2].stations);
    EXPECT_FALSE(gathered.files[0].HasGap());
    EXPECT_TRUE(gathered.files[2].HasGap());
    EXPECT_EQ(RecordChains::kBroken, gathered.record.chains);
    // The printed report says so.
    EXPECT_NE(std::string::npos, ReportHtml(gathered.record, Language::kEnglish, "vkd37", "now")
                                     .find("<dt>Record chains</dt><dd>BROKEN"));

    const StationFacts facts = StationFactsOf(source, nullptr);
    ASSERT_EQ(1u, facts.conflicts.size());
    EXPECT_EQ(c, facts.conflicts[0].unit);
    // E was confirmed with values other than the profile its line names; C's last confirmed
    // values are s1's.
    ASSERT_EQ(1u, facts.offProfile.size());
    EXPECT_EQ("E", facts.offProfile[0].unit);
    ASSERT_EQ(1u, facts.byProfile.size());
    EXPECT_EQ(3u, facts.byProfile[0].units); // A, B and E: C's last attempt failed

    Profile against = StartProfile();
    against.values = other;
    const StationFacts held = StationFactsOf(source, &against);
    ASSERT_EQ(3u, held.offProfile.size()); // A, B and C
    ASSERT_EQ(1u, held.offProfile[0].changes.size());
    EXPECT_EQ("fwd.acc (正向加速)  12 -> 10", ChangeText(held.offProfile[0].changes[0]));
    const std::string english = StationFactsText(gathered.files, held, Language::kEnglish);
    EXPECT_NE(std::string::npos, english.find("\n  C\\\\1: s2 [")) << english;
    EXPECT_NE(std::string::npos, english.find("s\\x1B3")) << english;

    // Said in Chinese, no English word is left: only the names of units, stations, files and the
    // profile, and identities.
    const std::string chinese = std::regex_replace(
        StationFactsText(gathered.files, held, Language::kChinese),
        std::regex(R"(\[?[0-9a-f]{12}\]?|[a-z0-9-]+\.jsonl|s(\\x1B)?[123]|[A-E]|)" + against.name),
        "");
    EXPECT_EQ(std::string::npos, chinese.find_first_of(kLatinLetters)) << chinese;
}
