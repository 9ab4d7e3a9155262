#include "cli/UnitLabels.h"

#include "cli/ExitStatus.h"
#include "cli/Output.h"
#include "platform/StopSignals.h"
#include "platform/TerminalText.h"
#include "record/LabelText.h"
#include "record/Utf8.h"

std::string LabelArgument(const char* option, const std::string& argument) {
    const std::optional<std::string> text = ArgumentText(argument);
    if (!text) {
        throw CommandError(kExitUsage, std::string(option) + " is not " + TerminalEncoding() +
                                           " text, the terminal's encoding; nothing was sent");
    }
    return std::string(option) == "--unit" ? TrimmedLabel(*text) : *text;
}

UnitLabels::UnitLabels(const std::string& pattern) : patternText_(pattern) {
    if (pattern.empty()) {
        return;
    }
    std::string error;
    pattern_ = LabelPattern::Compile(pattern, error);
    if (!pattern_) {
        throw CommandError(kExitUsage, "--unit-pattern '" + EscapedControls(pattern) +
                                           "' is not a pattern: " + error);
    }
}

std::optional<std::string> UnitLabels::Refusal(const std::string& label) const {
    if (!pattern_) {
        return std::nullopt;
    }
    const std::string pattern = "--unit-pattern '" + EscapedControls(patternText_) + "'";
    if (label.empty()) {
        return "a unit label matching " + pattern + " is needed";
    }
    switch (pattern_->Whole(label, [] { return CaughtStopSignal() != 0; })) {
    case LabelPattern::Match::kMatches:
        return std::nullopt;
    case LabelPattern::Match::kStopped:
        return "the unit label was not checked against " + pattern + ": stopped";
    case LabelPattern::Match::kTooLong:
        return "the unit label (" + std::to_string(CodePoints(label).size()) +
               " characters) is too long to check against " + pattern;
    case LabelPattern::Match::kDiffers:
        break;
    }
    return "the unit label '" + ShownLabel(label) + "' does not match " + pattern;
}

namespace {

// One label at the prompt, without the blanks around it; nothing for q, the end of input or a
// stop signal. Bytes that are not text in the terminal's encoding are asked for again.
std::optional<std::string> Answer(const std::string& question) {
    WriteError(question);
    for (;;) {
        const std::optional<InputLine> answer = ReadInputLine();
        if (!answer) {
            WriteError("\n");
            return std::nullopt;
        }
        if (answer->isText) {
            std::string label = TrimmedLabel(answer->text);
            if (label == "q" || label == "Q") {
                return std::nullopt;
            }
            return label;
        }
        Complain("that is not " + TerminalEncoding() + " text, the terminal's encoding");
        WriteError("Type the unit label again and press Enter (q to stop): ");
    }
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
            const std::optional<std::string> again = Answer(
                ShownLabel(*label) + " was sent in this batch already: press Enter to send it "
                                     "again, or type another label (q to stop): ");
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
