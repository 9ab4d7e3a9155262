#include "record/RecordChain.h"

#include <optional>
#include <utility>

#include "model/Sha256.h"
#include "record/RecordEntry.h"

namespace {

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
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

bool ChainReader::Fits(const std::string& link, const Earlier& earlier) {
    return earlier.present ? earlier.held && link == ChainLink(earlier.text) : link == kChainStart;
}

void ChainReader::Add(std::size_t number, std::optional<std::string_view> text,
                      const std::optional<std::string>& link) {
    if (check_.state == ChainState::kBroken) {
        return;
    }
    const auto broken = [this](std::size_t line, ChainBreak reason) {
        check_.state = ChainState::kBroken;
        check_.line = line;
        check_.reason = reason;
    };
    const bool linked = link && !link->empty();
    // The chain starts at the first linked line; lines before it, entries or not, are older.
    if (!linked) {
        if (check_.state == ChainState::kNone) {
            ++check_.unlinked;
        } else {
            return broken(number, ChainBreak::kUnlinked);
        }
    } else if (Fits(*link, previous_)) {
        check_.state = ChainState::kHeld;
    } else if (!previous_.present) {
        return broken(number, ChainBreak::kStartGone);
    } else if (Fits(*link, beforePrevious_)) {
        return broken(previous_.number, ChainBreak::kInserted);
    } else {
        return broken(previous_.number, ChainBreak::kChanged);
    }
    // The line before the previous one is needed only where a line was put in.
    std::swap(beforePrevious_, previous_);
    previous_.present = true;
    previous_.held = text.has_value();
    previous_.text.assign(text ? *text : std::string_view());
    previous_.number = number;
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
                   entry ? std::optional(entry->prev) : std::nullopt);
    };
    RecordLines lines;
    lines.Add(text, take);
    lines.End(take);
    return reader.Check();
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
