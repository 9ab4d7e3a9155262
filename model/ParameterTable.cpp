#include "model/ParameterTable.h"

#include "model/DecimalScan.h"

namespace {

namespace Range = ParameterRange;

constexpr const char* kSourceWords[] = {"internal", "internal-pot", "external-pot"};

std::string Refusal(const ParameterField& field, int value) {
    return std::string(field.name) + "=" + std::to_string(value) + " is out of range (" +
           AcceptedText(field) + ")";
}

} // namespace

const std::vector<ParameterField>& ParameterFields() {
    using P = ParameterSet;
    using K = ValueKind;
    static const std::vector<ParameterField> fields = {
        {"port", &P::m_nPort, K::kNumber, -1, 9},
        {"fwd.source", &P::m_nFwdSource, K::kSource, 0, 2},
        {"fwd.acc", &P::m_nFwdAcc, K::kNumber, Range::kRampMin, Range::kRampMax},
        {"fwd.speed", &P::m_nFwdSpeed, K::kNumber, Range::kSpeedMin, Range::kSpeedMax},
        {"fwd.dec", &P::m_nFwdDec, K::kNumber, Range::kRampMin, Range::kRampMax},
        {"rev.source", &P::m_nRevSource, K::kSource, 0, 2},
        {"rev.acc", &P::m_nRevAcc, K::kNumber, Range::kRampMin, Range::kRampMax},
        {"rev.speed", &P::m_nRevSpeed, K::kNumber, Range::kSpeedMin, Range::kSpeedMax},
        {"rev.dec", &P::m_nRevDec, K::kNumber, Range::kRampMin, Range::kRampMax},
        {"cycles", &P::m_nCycles, K::kNumber, Range::kCyclesMin, Range::kCyclesMax},
        {"home_delay_ms", &P::m_nHomeDelay, K::kNumber, Range::kDelayMin, Range::kDelayMax},
        {"end_delay_ms", &P::m_nEndDelay, K::kNumber, Range::kDelayMin, Range::kDelayMax},
        {"cycles.on", &P::m_bCyclesOn, K::kFlag, 0, 1},
        {"home_delay.on", &P::m_bHomeDelayOn, K::kFlag, 0, 1},
        {"end_delay.on", &P::m_bEndDelayOn, K::kFlag, 0, 1},
        {"auto_home", &P::m_bAutoHome, K::kFlag, 0, 1},
    };
    return fields;
}

const ParameterField* FindField(std::string_view name) {
    for (const ParameterField& field : ParameterFields()) {
        if (name == field.name) {
            return &field;
        }
    }
    return nullptr;
}

const ParameterField& FieldFor(int ParameterSet::*member) {
    for (const ParameterField& field : ParameterFields()) {
        if (field.member == member) {
            return field;
        }
    }
    return ParameterFields().front();
}

bool IsAccepted(const ParameterField& field, int value) {
    return value >= field.min && value <= field.max;
}

const char* ValueWord(const ParameterField& field, int value) {
    if (!IsAccepted(field, value)) {
        return nullptr;
    }
    if (field.kind == ValueKind::kSource) {
        return kSourceWords[value];
    }
    if (field.kind == ValueKind::kFlag) {
        return value == 1 ? "on" : "off";
    }
    return nullptr;
}

std::optional<int> ParseValue(const ParameterField& field, std::string_view text) {
    for (int value = field.min; field.kind != ValueKind::kNumber && value <= field.max; ++value) {
        if (text == ValueWord(field, value)) {
            return value;
        }
    }
    const char* p = text.data();
    const char* const end = p + text.size();
    int value = 0;
    if (ScanDecimalInt(p, end, value) != ScanStatus::kOk || p != end) {
        return std::nullopt;
    }
    return value;
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
