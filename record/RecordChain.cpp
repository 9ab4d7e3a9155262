#include "record/RecordChain.h"

#include <optional>
#include <vector>

#include "model/Sha256.h"
#include "record/RecordEntry.h"

namespace {

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

struct NumberedLine {
    std::size_t number;
    std::string_view text;
    std::optional<std::string> link; // nothing for a line that is no record line
};

std::vector<NumberedLine> LinesOf(std::string_view text) {
    std::vector<NumberedLine> lines;
    for (std::size_t number = 1; !text.empty(); ++number) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!IsBlank(line)) {
            std::optional<RecordEntry> entry = ReadRecordLine(line);
            lines.push_back({number, line, entry ? std::optional(entry->prev) : std::nullopt});
        }
    }
    return lines;
}

} // namespace

std::string ChainLink(std::string_view previousLine) {
    return previousLine.empty() ? std::string(kChainStart) : Sha256Hex(previousLine);
}

std::string_view LastRecordLine(std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = text.find_last_of('\n', text.size() - 1);
        const std::string_view line = end == std::string_view::npos ? text : text.substr(end + 1);
        if (!IsBlank(line)) {
            return line;
        }
        text = end == std::string_view::npos ? std::string_view() : text.substr(0, end);
    }
    return {};
}

ChainCheck CheckChain(std::string_view text) {
    const std::vector<NumberedLine> lines = LinesOf(text);
    ChainCheck check;
    std::size_t i = 0;
    // The chain starts at the first linked line; lines before it, entries or not, are older.
    while (i < lines.size() && (!lines[i].link || lines[i].link->empty())) {
        ++i;
    }
    check.unlinked = i;
    if (i == lines.size()) {
        return check;
    }
    check.state = ChainState::kHeld;
    const auto broken = [&check](std::size_t line, ChainBreak reason) {
        check.state = ChainState::kBroken;
        check.line = line;
        check.reason = reason;
        return check;
    };
    for (; i < lines.size(); ++i) {
        const std::optional<std::string>& link = lines[i].link;
        if (!link || link->empty()) {
            return broken(lines[i].number, ChainBreak::kUnlinked);
        }
        if (*link == ChainLink(i == 0 ? std::string_view() : lines[i - 1].text)) {
            continue;
        }
        if (i == 0) {
            return broken(lines[i].number, ChainBreak::kStartGone);
        }
        if (*link == ChainLink(i == 1 ? std::string_view() : lines[i - 2].text)) {
            return broken(lines[i - 1].number, ChainBreak::kInserted);
        }
        return broken(lines[i - 1].number, ChainBreak::kChanged);
    }
    return check;
}

std::string ChainText(const ChainCheck& check) {
    const std::string line = "line " + std::to_string(check.line);
    const std::string older = check.unlinked == 0
                                  ? ""
                                  : " (" + std::to_string(check.unlinked) +
                                        " earlier lines from before the chain are not in it)";
    switch (check.state) {
    case ChainState::kNone:
        return "no chain: the record was written before lines were linked";
    case ChainState::kHeld:
        return "the chain holds" + older;
    case ChainState::kBroken:
        break;
    }
    switch (check.reason) {
    case ChainBreak::kChanged:
        return "the chain breaks at " + line + ": it was changed, or lines after it removed";
    case ChainBreak::kInserted:
        return "the chain breaks at " + line + ": it was put in between two linked lines";
    case ChainBreak::kUnlinked:
        return "the chain breaks at " + line + ": it is not linked (put in by hand, cut, or " +
               "written by an older program)";
    case ChainBreak::kStartGone:
        return "the chain breaks at " + line + ": lines before it were removed";
    case ChainBreak::kNone:
        break;
    }
    return "the chain breaks at " + line;
}
