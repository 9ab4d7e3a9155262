#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The record's chain: each line a station writes holds, as "prev", the SHA-256 of the line
// before it in its file (blank lines aside), or kChainStart on the file's first line. A line
// changed, removed or put in by hand then no longer fits its neighbours. Lines written before
// the chain (older programs) have no link; a file's chain starts at its first linked line.

// The link a line written after previousLine holds: kChainStart when there is none.
std::string ChainLink(std::string_view previousLine);

// The last line of text that is not blank, without its line end; empty when there is none.
std::string_view LastRecordLine(std::string_view text);

enum class ChainState {
    kNone,   // no line has a link: a record from before the chain
    kHeld,   // every line from the first linked one on fits the one before it
    kBroken, // at `line`, for `reason`
};

enum class ChainBreak {
    kNone,
    kChanged,   // the next line's link does not fit this line: it was changed, or lines after it
                // were removed
    kInserted,  // the next line's link fits the line before this one: this one was put in
    kUnlinked,  // a line without a link (or one that is no record line) amid linked ones
    kStartGone, // the first line links to a line that is not there: lines before it were removed
};

struct ChainCheck {
    ChainState state = ChainState::kNone;
    std::size_t unlinked = 0; // lines before the chain starts, written by older programs
    std::size_t line = 0;     // from 1, as an editor numbers them, where the chain breaks
    ChainBreak reason = ChainBreak::kNone;
};

// Checks a record file's chain, to its first break.
ChainCheck CheckChain(std::string_view text);

// "the chain holds", "line 7 was changed, or lines after it removed", ... in English.
std::string ChainText(const ChainCheck& check);
