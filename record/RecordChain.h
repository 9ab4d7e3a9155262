#pragma once

#include <cstddef>
#include <optional>
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

// A file's chain checked a line at a time as the file is read, to its first break: no more of
// the file is held than the two lines before the one given.
class ChainReader {
public:
    // The file's next line that is not blank: its number from 1, its text (nothing for a line
    // too long to hold, to which no line links) and its link (nothing for a line that is no
    // record line; empty for one without a link).
    void Add(std::size_t number, std::optional<std::string_view> text,
             const std::optional<std::string>& link);
    const ChainCheck& Check() const { return check_; }

private:
    struct Earlier {
        bool present = false;
        bool held = false; // its text is in `text`
        std::string text;
        std::size_t number = 0;
    };
    // Whether a line written after `earlier` holds `link`.
    static bool Fits(const std::string& link, const Earlier& earlier);

    ChainCheck check_;
    Earlier previous_;
    Earlier beforePrevious_;
};

// Checks a record file's chain, to its first break.
ChainCheck CheckChain(std::string_view text);

// "the chain holds", "line 7 was changed, or lines after it removed", ... in English.
std::string ChainText(const ChainCheck& check);
