#pragma once

#include <optional>
#include <regex>
#include <set>
#include <string>

// A label given with --unit, without the blanks around it (the prompt's lines come trimmed).
std::string Trimmed(const std::string& text);

// The unit labels of one batch: each checked against --unit-pattern, and those sent already
// remembered, so that a unit sent twice is asked about once more.
class UnitLabels {
public:
    // CommandError when the pattern is not one.
    explicit UnitLabels(const std::string& pattern);

    // Why the label may not be sent; nothing when it may. An empty label is no label.
    std::optional<std::string> Refusal(const std::string& label) const;

    bool WasSent(const std::string& label) const { return sent_.count(label) != 0; }
    void Sent(const std::string& label) {
        if (!label.empty()) {
            sent_.insert(label);
        }
    }

private:
    std::string patternText_;
    std::optional<std::regex> pattern_;
    std::set<std::string> sent_;
};

// Waits for the operator between two controllers and takes the next one's label, typed or
// scanned (a scanner types it and Enter); nothing typed is no label. A label the pattern refuses
// is asked for again, and one sent before in the batch is asked about once more: Enter sends it
// again. False when the operator stops.
bool AskForUnit(const UnitLabels& labels, std::string& unit);
