#include "cli/ParameterNames.h"

#include <optional>

#include "model/DecimalScan.h"

namespace {

namespace Range = ParameterRange;

constexpr const char* kSourceWords[] = {"internal", "internal-pot", "external-pot"};

std::optional<int> ParseWholeNumber(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    int value = 0;
    if (ScanDecimalInt(p, end, value) != ScanStatus::kOk || p != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> ParseValue(const ParameterField& field, std::string_view text) {
    if (field.kind == ValueKind::kSource) {
        for (int source = 0; source <= kSpeedExternalPot; ++source) {
            if (text == kSourceWords[source]) {
                return source;
            }
        }
    } else if (field.kind == ValueKind::kFlag) {
        if (text == "on") {
            return 1;
        }
        if (text == "off") {
            return 0;
        }
    }
    return ParseWholeNumber(text);
}

const ParameterField* FindField(std::string_view name) {
    for (const ParameterField& field : ParameterFields()) {
        if (name == field.name) {
            return &field;
        }
    }
    return nullptr;
}

std::string KnownNames() {
    std::string names;
    for (const ParameterField& field : ParameterFields()) {
        names += names.empty() ? "" : ", ";
        names += field.name;
    }
    return names;
}

std::string Refusal(const ParameterField& field, int value) {
    return std::string(field.name) + "=" + std::to_string(value) + " is out of range (" +
           AcceptedText(field) + ")";
}

} // namespace

const std::vector<ParameterField>& ParameterFields() {
    using P = ParameterSet;
    static const std::vector<ParameterField> fields = {
        {"port", &P::m_nPort, -1, 9, ValueKind::kNumber}, // the dialog's list: none, Com0-Com9
        {"fwd.source", &P::m_nFwdSource, 0, 2, ValueKind::kSource},
        {"fwd.acc", &P::m_nFwdAcc, Range::kRampMin, Range::kRampMax, ValueKind::kNumber},
        {"fwd.speed", &P::m_nFwdSpeed, Range::kSpeedMin, Range::kSpeedMax, ValueKind::kNumber},
        {"fwd.dec", &P::m_nFwdDec, Range::kRampMin, Range::kRampMax, ValueKind::kNumber},
        {"rev.source", &P::m_nRevSource, 0, 2, ValueKind::kSource},
        {"rev.acc", &P::m_nRevAcc, Range::kRampMin, Range::kRampMax, ValueKind::kNumber},
        {"rev.speed", &P::m_nRevSpeed, Range::kSpeedMin, Range::kSpeedMax, ValueKind::kNumber},
        {"rev.dec", &P::m_nRevDec, Range::kRampMin, Range::kRampMax, ValueKind::kNumber},
        {"cycles", &P::m_nCycles, Range::kCyclesMin, Range::kCyclesMax, ValueKind::kNumber},
        {"home_delay_ms", &P::m_nHomeDelay, Range::kDelayMin, Range::kDelayMax, ValueKind::kNumber},
        {"end_delay_ms", &P::m_nEndDelay, Range::kDelayMin, Range::kDelayMax, ValueKind::kNumber},
        {"cycles.on", &P::m_bCyclesOn, 0, 1, ValueKind::kFlag},
        {"home_delay.on", &P::m_bHomeDelayOn, 0, 1, ValueKind::kFlag},
        {"end_delay.on", &P::m_bEndDelayOn, 0, 1, ValueKind::kFlag},
        {"auto_home", &P::m_bAutoHome, 0, 1, ValueKind::kFlag},
    };
    return fields;
}

bool IsAccepted(const ParameterField& field, int value) {
    return value >= field.min && value <= field.max;
}

std::string AcceptedText(const ParameterField& field) {
    const std::string range =
        std::to_string(field.min) + (field.min < 0 ? " to " : "-") + std::to_string(field.max);
    switch (field.kind) {
    case ValueKind::kSource:
        return range + ": internal, internal-pot, external-pot";
    case ValueKind::kFlag:
        return "on/off or 1/0";
    case ValueKind::kNumber:
        break;
    }
    return range;
}

std::string ValueText(const ParameterField& field, int value) {
    if (field.kind == ValueKind::kSource && IsAccepted(field, value)) {
        return kSourceWords[value];
    }
    if (field.kind == ValueKind::kFlag && IsAccepted(field, value)) {
        return value == 1 ? "on" : "off";
    }
    return std::to_string(value);
}

bool ApplyAssignment(std::string_view assignment, ParameterSet& set, std::string& error) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string_view::npos) {
        error = "expected NAME=VALUE, got '" + std::string(assignment) + "'";
        return false;
    }
    const std::string_view name = assignment.substr(0, equals);
    const std::string_view text = assignment.substr(equals + 1);
    const ParameterField* field = FindField(name);
    if (!field) {
        error = "unknown name '" + std::string(name) + "' (names: " + KnownNames() + ")";
        return false;
    }
    const std::optional<int> value = ParseValue(*field, text);
    if (!value) {
        error = std::string(field->name) + ": '" + std::string(text) + "' is not a value (" +
                AcceptedText(*field) + ")";
        return false;
    }
    if (!IsAccepted(*field, *value)) {
        error = Refusal(*field, *value);
        return false;
    }
    set.*(field->member) = *value;
    return true;
}

std::vector<std::string> RefusedValues(const ParameterSet& set, bool includePort) {
    std::vector<std::string> refused;
    for (const ParameterField& field : ParameterFields()) {
        const int value = set.*(field.member);
        if ((includePort || field.member != &ParameterSet::m_nPort) && !IsAccepted(field, value)) {
            refused.push_back(Refusal(field, value));
        }
    }
    return refused;
}
