#pragma once

#include <optional>
#include <set>
#include <string>

#include "record/LabelPattern.h"

// A label or pattern given on the command line as UTF-8 text, without the blanks around a label;
// CommandError when it is not text in the terminal's encoding.
std::string LabelArgument(const char* option, const std::string& argument);

// The unit labels of one batch: each checked against --unit-pattern, and those sent already
// remembered, so that a unit sent twice is asked about once more.
class UnitLabels {
public:
    // CommandError when the pattern is not one.
    explicit UnitLabels(const std::string& pattern);

    // Why the label may not be sent; nothing when it may. An empty label is no label. A stop
    // signal ends a match at once, and the label is then refused.
    std::optional<std::string> Refusal(const std::string& label) const;

    bool WasSent(const std::string& label) const { return sent_.count(label) != 0; }
    void Sent(const std::string& label) {
        if (!label.empty()) {
            sent_.insert(label);
        }
    }

private:
    std::string patternText_;
    std::optional<LabelPattern> pattern_;
    std::set<std::string> sent_;
};

// Waits for the operator between two controllers and takes the next one's label, typed or
// scanned (a scanner types it and Enter); nothing typed is no label. A label the pattern refuses,
// or one that is not text in the terminal's encoding, is asked for again, and one sent before in
// the batch is asked about once more: Enter sends it again. False when the operator stops.
bool AskForUnit(const UnitLabels& labels, std::string& unit);
