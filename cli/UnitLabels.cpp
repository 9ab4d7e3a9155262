#include "cli/UnitLabels.h"

#include "cli/ExitStatus.h"
#include "cli/Output.h"

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

UnitLabels::UnitLabels(const std::string& pattern) : patternText_(pattern) {
    if (pattern.empty()) {
        return;
    }
    try {
        pattern_.emplace(pattern, std::regex::ECMAScript);
    } catch (const std::regex_error& error) {
        throw CommandError(kExitUsage,
                           "--unit-pattern '" + pattern + "' is not a pattern: " + error.what());
    }
}

std::optional<std::string> UnitLabels::Refusal(const std::string& label) const {
    if (!pattern_) {
        return std::nullopt;
    }
    if (label.empty()) {
        return "a unit label matching --unit-pattern '" + patternText_ + "' is needed";
    }
    try {
        if (std::regex_match(label, *pattern_)) {
            return std::nullopt;
        }
    } catch (const std::regex_error& error) {
        return "the unit label '" + label + "' cannot be matched: " + error.what();
    }
    return "the unit label '" + label + "' does not match --unit-pattern '" + patternText_ + "'";
}

namespace {

// One answer at the prompt, without the blanks around it; nothing for q, the end of input or a
// stop signal.
std::optional<std::string> Answer(const std::string& question) {
    WriteError(question);
    const std::optional<std::string> answer = ReadInputLine();
    if (!answer) {
        WriteError("\n");
        return std::nullopt;
    }
    if (*answer == "q" || *answer == "Q") {
        return std::nullopt;
    }
    return answer;
}

} // namespace

bool AskForUnit(const UnitLabels& labels, std::string& unit) {
    std::optional<std::string> label = Answer("Connect the next controller, type its unit label or "
                                              "nothing, and press Enter (q to stop): ");
    while (label) {
        if (const std::optional<std::string> refusal = labels.Refusal(*label)) {
            Complain(*refusal);
            label = Answer("Type the unit label again and press Enter (q to stop): ");
        } else if (labels.WasSent(*label)) {
            const std::optional<std::string> again =
                Answer(*label + " was sent in this batch already: press Enter to send it again, "
                                "or type another label (q to stop): ");
            if (again && again->empty()) {
                break;
            }
            label = again;
        } else {
            break;
        }
    }
    if (label) {
        unit = *label;
    }
    return label.has_value();
}
