// The page's second WebAssembly module: the tool's unit pattern (record/LabelPattern.h) and the
// Unicode tables it names, apart from the core module so that the page's start neither carries
// nor compiles them; the page loads it when a unit pattern is first used.
//   vkd_exchange_reserve(size)   room for the page's text; answers where to write it.
//   vkd_pattern_compile()        exchange: the pattern. Answers 1 when it is one, kept for
//                                vkd_pattern_whole; else 0, with the tool's reason in the
//                                exchange (its length from vkd_exchange_size) and its kind from
//                                vkd_pattern_refusal: "syntax", "backreference", "tooLarge" or
//                                "tooDeep".
//   vkd_pattern_max_steps(), vkd_pattern_max_nesting()   the bounds a pattern is refused beyond.
//   vkd_pattern_whole()          exchange: a label. Answers 1 when the kept pattern matches it
//                                whole, 0 when not, 2 when the label is too long to check.

#include <optional>
#include <string>
#include <utility>

#include "record/LabelPattern.h"

#include "web/core/Exchange.h"

namespace {

std::optional<LabelPattern> pattern;
LabelPattern::Refusal refusal = LabelPattern::Refusal::kSyntax;

} // namespace

VKD_EXPORT("vkd_pattern_max_steps") int PatternMaxSteps() {
    return static_cast<int>(LabelPattern::kMaxSteps);
}
VKD_EXPORT("vkd_pattern_max_nesting") int PatternMaxNesting() {
    return LabelPattern::kMaxNesting;
}

VKD_EXPORT("vkd_pattern_compile") int PatternCompile() {
    std::string error;
    pattern = LabelPattern::Compile(exchange, error, &refusal);
    if (pattern) {
        return 1;
    }
    exchange = std::move(error);
    return 0;
}
VKD_EXPORT("vkd_pattern_refusal") const char* PatternRefusal() {
    switch (refusal) {
    case LabelPattern::Refusal::kBackreference:
        return "backreference";
    case LabelPattern::Refusal::kTooLarge:
        return "tooLarge";
    case LabelPattern::Refusal::kTooDeep:
        return "tooDeep";
    case LabelPattern::Refusal::kSyntax:
        break;
    }
    return "syntax";
}

// No stop is asked for: the matcher refuses a label whose match would take more than about a
// second (kMaxWork), as the tool does.
VKD_EXPORT("vkd_pattern_whole") int PatternWhole() {
    if (!pattern) {
        return 0;
    }
    switch (pattern->Whole(exchange)) {
    case LabelPattern::Match::kMatches:
        return 1;
    case LabelPattern::Match::kTooLong:
        return 2;
    case LabelPattern::Match::kDiffers:
    case LabelPattern::Match::kStopped:
        break;
    }
    return 0;
}
