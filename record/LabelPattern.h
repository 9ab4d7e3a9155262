#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/CodePointSet.h"

// The pattern a batch's unit labels must match as a whole: a regular expression in the syntax
// JavaScript reads with `new RegExp(pattern, 'u')`, matched in characters (code points) as
// JavaScript matches `^(?:pattern)$`. Lookahead, lookbehind, named groups and \p{...} with the
// Unicode tables of UnicodeTables.h are taken.
//
// The label is matched by an automaton that follows every way through the pattern at once, a
// character at a time, and each lookaround by one pass over the label: the time grows with the
// label's length times the pattern's size, never faster, and nothing grows the stack. That is
// why backreferences (\1, \k<name>), which no such automaton can follow, are refused, and why a
// pattern is limited in size (kMaxSteps) and in nesting.
class LabelPattern {
public:
    static constexpr std::size_t kMaxSteps = 10000;
    static constexpr int kMaxNesting = 100;
    // The most work one label's match may take: its characters times the steps of the pattern's
    // automata, about a second's matching. A label beyond it is not checked (kTooLong) on any
    // face, so that a scan never holds the page's only thread, and every face answers alike.
    static constexpr std::size_t kMaxWork = 50'000'000;

    // Why a pattern is refused: the faces that speak other languages name the last three in
    // their own words.
    enum class Refusal { kSyntax, kBackreference, kTooLarge, kTooDeep };

    // The pattern, or why it is not one (in `error`, and its kind in `refusal` when given).
    static std::optional<LabelPattern> Compile(std::string_view pattern, std::string& error,
                                               Refusal* refusal = nullptr);

    enum class Match { kMatches, kDiffers, kStopped, kTooLong };
    // Whether the whole label (UTF-8) matches. `stop`, when given, is asked every few hundred
    // characters, and true ends the match with kStopped; kTooLong, before any matching, where
    // the label is longer than kMaxWork allows this pattern.
    Match Whole(std::string_view label, const std::function<bool()>& stop = {}) const;

    // One step of an automaton: a character of a set, a fork, a jump, a condition on the place
    // between two characters (the start, the end, a word boundary, a lookaround), the end.
    struct Step {
        enum class Op {
            kCharacter,
            kFork,
            kJump,
            kStart,
            kEnd,
            kWordBoundary,
            kNoWordBoundary,
            kLook,
            kMatch
        };
        Op op = Op::kMatch;
        int a = 0; // the set, the jump's target, the fork's first way, the lookaround
        int b = 0; // the fork's second way; for a lookaround, whether it is negated
    };
    // A lookaround's body runs over the whole label once, from every place: a lookbehind's
    // forwards, telling where it ends; a lookahead's backwards, reversed, telling where it begins.
    struct Automaton {
        std::vector<Step> steps;
        bool backwards = false;
    };

private:
    std::vector<CodePointSet> sets_;
    std::vector<Automaton> looks_; // inner ones first
    Automaton main_;
};
