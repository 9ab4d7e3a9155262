#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "model/Language.h"
#include "record/RecordEntry.h"

// The record's chain: each line a station writes holds, as "prev", the SHA-256 of the line
// before it in its file (blank lines aside), or kChainStart on the file's first line. A line
// changed, removed or put in by hand then no longer fits its neighbours. The line is hashed
// without a carriage return at its end or a byte-order mark at its start, so that a file an
// editor turned to CR LF line ends, or marked, still holds. Lines written before the chain
// (older programs) have no link; a file's chain starts at its first linked line. The file's
// last line is covered by no link but by the file's head, its hash, which the station prints.

// The link a line written after previousLine holds: kChainStart when there is none.
std::string ChainLink(std::string_view previousLine);

// The line as the tool writes it after previousLine: its entry with the link to previousLine. A
// line that holds no entry comes back as it is; no link can be put in it.
std::string LinkedLine(std::string_view line, std::string_view previousLine);

// Whether the program a line names links every line it writes to a file (the tool and the page
// from 1.2.0 on): such a line without a link has had it taken out.
bool ProgramLinks(std::string_view program);

enum class ChainState {
    kNone,   // no line has a link: a record from before the chain
    kHeld,   // every line from the first linked one on fits the one before it
    kBroken, // at `line`, for `reason`
};

enum class ChainBreak {
    kNone,
    kChanged,    // its own link holds, the next line's does not, and the line after that links
                 // to the next: this one was changed, or lines after it were removed
    kReplaced,   // its link does not fit the line before it, nor the next line's link it: it was
                 // changed, its link with it
    kInserted,   // the next line links to the line before this one: this one was put in
    kOutOfOrder, // it links to the next line, which links to the line before this one
    kUnlinked,   // a record line without a link amid linked ones, or from a program that links
    kStartGone,  // the first line links to a line that is not there, the next line to it
    kStray,      // no record line, amid linked ones, and the next line links to neither side
    kUnfit,      // its link does not fit the line before it (`before`), and no linked line after
                 // it tells which of the two was touched
    kTooLong,    // longer than any line is held, and the next line, written after it, has no
                 // link: no writer links to a line no reader can hash
};

struct ChainCheck {
    ChainState state = ChainState::kNone;
    std::size_t unlinked = 0; // lines before the chain starts, written by older programs
    std::size_t line = 0;     // from 1, as an editor numbers them, where the chain breaks
    ChainBreak reason = ChainBreak::kNone;
    std::size_t before = 0; // for kUnfit: the line before `line`; 0 where there is none
    // Lines cut short (a crash or a full disk) to which the next line links, as a station
    // links to the record's last line whatever it holds: a gap, not an edit.
    std::size_t cut = 0;
    std::size_t firstCut = 0;
    // The hash of the file's last line that is not blank, and its number; empty where there is
    // none or it is too long to hold.
    std::string head;
    std::size_t lastLine = 0;
    // Whether any line holds a record entry: a file with none was written by no program.
    bool entries = false;
};

// A file's chain checked a line at a time as the file is read, to its first break: no more of
// the file is held than the hashes of the two lines before the one given.
class ChainReader {
public:
    // The file's next line that is not blank: its number from 1, its text (nothing for a line
    // too long to hold, to which no line links) and its entry (null for a line that is no record
    // line).
    void Add(std::size_t number, std::optional<std::string_view> text, const RecordEntry* entry);
    // The check as far as the file was read, taken as its end.
    ChainCheck Check() const;

private:
    struct Earlier {
        bool present = false;
        std::optional<std::string> hash; // nothing for a line too long to hold
        std::optional<std::string> link; // nothing: no record line; empty: no link
        std::size_t number = 0;
    };
    // Whether a line written after `earlier` holds `link`.
    static bool Fits(const std::string& link, const Earlier& earlier);
    void Break(std::size_t line, ChainBreak reason);
    // Tells what the line before `next`, whose link did not fit, was.
    void Resolve(const Earlier& next);

    ChainCheck check_;
    bool pending_ = false; // previous_ does not fit the line before it: the next line tells why
    Earlier previous_;
    Earlier beforePrevious_;
};

// Checks a record file's chain, to its first break.
ChainCheck CheckChain(std::string_view text);

// "the chain holds", "the chain breaks at line 7: ..." in the language's words, and the head.
std::string ChainText(const ChainCheck& check, Language language);
