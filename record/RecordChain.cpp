#include "record/RecordChain.h"

#include <array>
#include <optional>
#include <utility>

#include "model/Sha256.h"
#include "record/Profile.h"
#include "record/ReportWords.h"

namespace {

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

// The line as it was written: an editor's byte-order mark and carriage return taken off.
std::string_view AsWritten(std::string_view line) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (line.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        line.remove_prefix(kByteOrderMark.size());
    }
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

} // namespace

// A file that holds only a byte-order mark (an editor's new, empty file) has no line yet.
std::string ChainLink(std::string_view previousLine) {
    const std::string_view written = AsWritten(previousLine);
    return written.empty() ? std::string(kChainStart) : Sha256Hex(written);
}

std::string LinkedLine(std::string_view line, std::string_view previousLine) {
    std::optional<RecordEntry> entry = ReadRecordLine(line);
    if (!entry) {
        return std::string(line);
    }
    entry->prev = ChainLink(previousLine);
    return RecordLine(*entry);
}

bool ProgramLinks(std::string_view program) {
    const std::size_t space = program.rfind(' ');
    if (space == std::string_view::npos) {
        return false;
    }
    // The tool links every line it writes, and the page every line of the log it downloads
    // (it keeps them unlinked, but no file of it holds them so).
    const std::string_view name = program.substr(0, space);
    if (name != "vkd37" && name != "vkd37.html") {
        return false;
    }
    // The version's first three numbers against 1.2.0, the first that links.
    constexpr std::array<unsigned, 3> kFirstLinking = {1, 2, 0};
    std::string_view version = program.substr(space + 1);
    for (const unsigned first : kFirstLinking) {
        unsigned number = 0;
        std::size_t digits = 0;
        while (digits < version.size() && digits < 6 && version[digits] >= '0' &&
               version[digits] <= '9') {
            number = number * 10 + static_cast<unsigned>(version[digits++] - '0');
        }
        if (digits == 0 && !version.empty()) {
            return false; // no version: a program of another making
        }
        if (number != first) {
            return number > first;
        }
        version.remove_prefix(digits);
        if (!version.empty() && version[0] == '.') {
            version.remove_prefix(1);
        }
    }
    return true;
}

bool ChainReader::Fits(const std::string& link, const Earlier& earlier) {
    return earlier.present ? earlier.hash && link == *earlier.hash : link == kChainStart;
}

void ChainReader::Break(std::size_t line, ChainBreak reason) {
    check_.state = ChainState::kBroken;
    check_.line = line;
    check_.reason = reason;
    pending_ = false;
}

void ChainReader::Resolve(const Earlier& next) {
    const Earlier& line = previous_;
    const bool nextLinked = next.link && !next.link->empty();
    if (nextLinked && Fits(*next.link, beforePrevious_)) {
        // The next line links past this one: it was put in, or the two were swapped.
        const bool swapped = line.link && next.hash && *line.link == *next.hash;
        return Break(line.number, swapped ? ChainBreak::kOutOfOrder : ChainBreak::kInserted);
    }
    if (nextLinked && Fits(*next.link, line)) {
        if (!line.link) {
            // A line cut short, which the station ended and linked to: the chain goes on.
            check_.firstCut = check_.cut++ == 0 ? line.number : check_.firstCut;
            check_.state = ChainState::kHeld;
            pending_ = false;
            return;
        }
        return Break(beforePrevious_.present ? beforePrevious_.number : line.number,
                     beforePrevious_.present ? ChainBreak::kChanged : ChainBreak::kStartGone);
    }
    if (!nextLinked && !line.hash && next.link) {
        return Break(line.number, ChainBreak::kTooLong);
    }
    if (!nextLinked) {
        check_.before = beforePrevious_.number;
        return Break(line.number, line.link ? ChainBreak::kUnfit : ChainBreak::kStray);
    }
    Break(line.number, line.link ? ChainBreak::kReplaced : ChainBreak::kStray);
}

void ChainReader::Add(std::size_t number, std::optional<std::string_view> text,
                      const RecordEntry* entry) {
    check_.lastLine = number;
    check_.entries = check_.entries || entry != nullptr;
    if (check_.state == ChainState::kBroken) {
        return;
    }
    Earlier current{true, text ? std::optional(ChainLink(*text)) : std::nullopt,
                    entry ? std::optional(entry->prev) : std::nullopt, number};
    const bool linked = current.link && !current.link->empty();
    if (pending_) {
        Resolve(current);
        if (check_.state == ChainState::kBroken) {
            return;
        }
    } else if (entry && !linked &&
               (check_.state != ChainState::kNone || ProgramLinks(entry->program))) {
        const bool afterTooLong = previous_.present && !previous_.hash;
        return afterTooLong ? Break(previous_.number, ChainBreak::kTooLong)
                            : Break(number, ChainBreak::kUnlinked);
    } else if (!linked && check_.state == ChainState::kNone) {
        ++check_.unlinked; // the chain starts at the first linked line; these are older
    } else if (linked && Fits(*current.link, previous_)) {
        check_.state = ChainState::kHeld;
    } else if (linked && previous_.present && Fits(*current.link, beforePrevious_)) {
        return Break(previous_.number, ChainBreak::kInserted);
    } else {
        pending_ = true; // what the line is, the next one tells
    }
    beforePrevious_ = std::move(previous_);
    previous_ = std::move(current);
}

ChainCheck ChainReader::Check() const {
    ChainCheck check = check_;
    check.head = previous_.hash.value_or("");
    if (pending_ && !previous_.link) {
        // The file ends in a line cut short.
        check.firstCut = check.cut++ == 0 ? previous_.number : check.firstCut;
        check.state = check.state == ChainState::kNone ? ChainState::kNone : ChainState::kHeld;
    } else if (pending_) {
        check.state = ChainState::kBroken;
        check.line = previous_.number;
        check.reason = ChainBreak::kUnfit;
        check.before = beforePrevious_.number;
    }
    return check;
}

ChainCheck CheckChain(std::string_view text) {
    ChainReader reader;
    const auto take = [&reader](const RecordLines::Line& line) {
        if (line.whole && IsBlank(line.text)) {
            return;
        }
        const std::optional<RecordEntry> entry =
            line.whole ? ReadRecordLine(line.text) : std::optional<RecordEntry>();
        reader.Add(line.number, line.whole ? std::optional(line.text) : std::nullopt,
                   entry ? &*entry : nullptr);
    };
    RecordLines lines;
    lines.Add(text, take);
    lines.End(take);
    return reader.Check();
}

std::string ChainText(const ChainCheck& check, Language language) {
    using ReportParts::Mark;
    using ReportParts::Say;
    using ReportParts::Word;
    const std::string line = Say(language, Word::kAtLine, std::to_string(check.line));
    const std::string older =
        check.unlinked == 0 ? ""
                            : Say(language, Word::kChainEarlier, std::to_string(check.unlinked));
    const std::string cut =
        check.cut == 0
            ? ""
            : Mark(language, ';') +
                  Say(language, check.cut > 1 ? Word::kChainCutShorts : Word::kChainCutShort,
                      std::to_string(check.firstCut));
    const std::string head =
        check.head.empty()
            ? ""
            : Mark(language, ';') + Say(language, Word::kChainHead, ShortIdentity(check.head),
                                        std::to_string(check.lastLine));
    switch (check.state) {
    case ChainState::kNone:
        return Say(language, check.entries ? Word::kChainNoLinks : Word::kChainNoEntries);
    case ChainState::kHeld:
        return Say(language, Word::kChainHolds) + older + cut + head;
    case ChainState::kBroken:
        break;
    }
    const auto because = [&](Word why) { return line + Mark(language, ':') + Say(language, why); };
    switch (check.reason) {
    case ChainBreak::kChanged:
        return because(Word::kBreakChanged);
    case ChainBreak::kReplaced:
        return because(Word::kBreakReplaced);
    case ChainBreak::kInserted:
        return because(Word::kBreakInserted);
    case ChainBreak::kOutOfOrder:
        return because(Word::kBreakOutOfOrder);
    case ChainBreak::kUnlinked:
        return because(Word::kBreakUnlinked);
    case ChainBreak::kStartGone:
        return because(Word::kBreakStartGone);
    case ChainBreak::kStray:
        return because(Word::kBreakStray);
    case ChainBreak::kTooLong:
        return because(Word::kBreakTooLong);
    case ChainBreak::kUnfit:
        if (check.before == 0) {
            return because(Word::kBreakUnfitStart);
        }
        return Say(language, Word::kBreakBetween, std::to_string(check.before),
                   std::to_string(check.line));
    case ChainBreak::kNone:
        break;
    }
    return line;
}
