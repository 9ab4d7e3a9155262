#include "model/ParameterTable.h"

#include "model/DecimalScan.h"

namespace {

// Indexed by the value.
constexpr const char* kSourceWords[] = {"internal", "internal-pot", "external-pot"};
constexpr const char* kFlagWords[] = {"off", "on"};
// The same as a reader of the Chinese page and report reads them: the form's own words.
constexpr const char* kSourceWordsChinese[] = {"内部速度", "内部电位器", "外部电位器"};
constexpr const char* kFlagWordsChinese[] = {"关", "开"};

template <std::size_t N> const char* WordAt(const char* const (&words)[N], int value) {
    return value >= 0 && static_cast<std::size_t>(value) < N ? words[value] : nullptr;
}

std::optional<int> ParseWholeNumber(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    int value = 0;
    if (ScanDecimalInt(p, end, value) != ScanStatus::kOk || p != end) {
        return std::nullopt;
    }
    return value;
}

} // namespace

const std::vector<ParameterField>& ParameterFields() {
    using P = ParameterSet;
    using K = ValueKind;
    constexpr int kRampMax = 127;
    constexpr int kDelayMax = 16777210; // 0xFFFFFA: the controller's limit, not 24 bits
    static const std::vector<ParameterField> fields = {
        {"port", &P::m_nPort, 0, K::kNumber, -1, 9}, // the dialog's list: none, Com0-Com9
        {"fwd.source", &P::m_nFwdSource, 1, K::kSource, kSpeedInternal, kSpeedExternalPot},
        {"fwd.acc", &P::m_nFwdAcc, 2, K::kNumber, 0, kRampMax},
        {"fwd.speed", &P::m_nFwdSpeed, 3, K::kNumber, 1, 128},
        {"fwd.dec", &P::m_nFwdDec, 4, K::kNumber, 0, kRampMax},
        {"rev.source", &P::m_nRevSource, 5, K::kSource, kSpeedInternal, kSpeedExternalPot},
        // The file keeps the reverse ramps DEC first, as the upload frame does.
        {"rev.acc", &P::m_nRevAcc, 8, K::kNumber, 0, kRampMax},
        {"rev.speed", &P::m_nRevSpeed, 7, K::kNumber, 1, 128},
        {"rev.dec", &P::m_nRevDec, 6, K::kNumber, 0, kRampMax},
        {"cycles", &P::m_nCycles, 9, K::kNumber, 0, 65535},
        {"home_delay_ms", &P::m_nHomeDelay, 10, K::kNumber, 0, kDelayMax},
        {"end_delay_ms", &P::m_nEndDelay, 11, K::kNumber, 0, kDelayMax},
        {"cycles.on", &P::m_bCyclesOn, 12, K::kFlag, 0, 1},
        {"home_delay.on", &P::m_bHomeDelayOn, 13, K::kFlag, 0, 1},
        {"end_delay.on", &P::m_bEndDelayOn, 14, K::kFlag, 0, 1},
        {"auto_home", &P::m_bAutoHome, 15, K::kFlag, 0, 1},
    };
    return fields;
}

const std::vector<const ParameterField*>& FieldsInFileOrder() {
    static const std::vector<const ParameterField*> inFileOrder = [] {
        std::vector<const ParameterField*> order;
        for (int position = 0; position < kStoredValueCount; ++position) {
            for (const ParameterField& field : ParameterFields()) {
                if (field.filePosition == position) {
                    order.push_back(&field);
                }
            }
        }
        return order;
    }();
    return inFileOrder;
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
    const std::vector<ParameterField>& fields = ParameterFields();
    for (const ParameterField& field : fields) {
        if (field.member == member) {
            return field;
        }
    }
    // Only the members that are not stored (auto start, legend) have no field; nothing asks.
    return fields.front();
}

bool IsAccepted(const ParameterField& field, int value) {
    return value >= field.min && value <= field.max;
}

const char* ValueWord(const ParameterField& field, int value) {
    switch (field.kind) {
    case ValueKind::kSource:
        return WordAt(kSourceWords, value);
    case ValueKind::kFlag:
        return WordAt(kFlagWords, value);
    case ValueKind::kNumber:
        break;
    }
    return nullptr;
}

std::optional<int> ParseValue(const ParameterField& field, std::string_view text) {
    for (int value = field.min; value <= field.max && field.kind != ValueKind::kNumber; ++value) {
        const char* word = ValueWord(field, value);
        if (word && text == word) {
            return value;
        }
    }
    return ParseWholeNumber(text);
}

std::string ValueWords(const ParameterField& field) {
    switch (field.kind) {
    case ValueKind::kSource: {
        std::string words;
        for (const char* word : kSourceWords) {
            words += (words.empty() ? "" : ", ") + std::string(word);
        }
        return words;
    }
    case ValueKind::kFlag:
        return std::string(kFlagWords[1]) + "/" + kFlagWords[0];
    case ValueKind::kNumber:
        break;
    }
    return {};
}

std::string AcceptedText(const ParameterField& field) {
    const std::string range =
        std::to_string(field.min) + (field.min < 0 ? " to " : "-") + std::to_string(field.max);
    switch (field.kind) {
    case ValueKind::kSource:
        return range + ": " + ValueWords(field);
    case ValueKind::kFlag:
        return ValueWords(field) + " or 1/0";
    case ValueKind::kNumber:
        break;
    }
    return range;
}

std::string ValueText(const ParameterField& field, int value, Language language) {
    const char* word = IsAccepted(field, value) ? ValueWord(field, value) : nullptr;
    if (word && language == Language::kChinese) {
        word = field.kind == ValueKind::kSource ? WordAt(kSourceWordsChinese, value)
                                                : WordAt(kFlagWordsChinese, value);
    }
    return word ? word : std::to_string(value);
}

const char* ChineseName(const ParameterField& field) {
    using P = ParameterSet;
    // The Chinese form's labels, each ramp and speed with the direction box it sits in.
    static const struct {
        int P::*member;
        const char* name;
    } kNames[] = {
        {&P::m_nPort, "串口"},
        {&P::m_nFwdSource, "正向速度来源"},
        {&P::m_nFwdAcc, "正向加速"},
        {&P::m_nFwdSpeed, "正向内部速度"},
        {&P::m_nFwdDec, "正向减速"},
        {&P::m_nRevSource, "反向速度来源"},
        {&P::m_nRevAcc, "反向加速"},
        {&P::m_nRevSpeed, "反向内部速度"},
        {&P::m_nRevDec, "反向减速"},
        {&P::m_nCycles, "循环次数"},
        {&P::m_nHomeDelay, "原点启动延时"},
        {&P::m_nEndDelay, "终点启动延时"},
        {&P::m_bCyclesOn, "启用循环次数"},
        {&P::m_bHomeDelayOn, "启用原点启动延时"},
        {&P::m_bEndDelayOn, "启用终点启动延时"},
        {&P::m_bAutoHome, "上电自动回原点"},
    };
    for (const auto& named : kNames) {
        if (named.member == field.member) {
            return named.name;
        }
    }
    return field.name;
}

std::string Refusal(const ParameterField& field, int value) {
    return std::string(field.name) + "=" + std::to_string(value) + " is out of range (" +
           AcceptedText(field) + ")";
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

const std::vector<FormCheck>& FormChecks() {
    using P = ParameterSet;
    using S = FormStep;
    static const std::vector<FormCheck> checks = {
        {S::kReadNumber, &P::m_nFwdAcc},     {S::kReadNumber, &P::m_nFwdSpeed},
        {S::kReadNumber, &P::m_nFwdDec},     {S::kReadNumber, &P::m_nRevAcc},
        {S::kReadNumber, &P::m_nRevSpeed},   {S::kReadNumber, &P::m_nRevDec},
        {S::kReadNumber, &P::m_nCycles},     {S::kCheckRange, &P::m_nCycles},
        {S::kReadNumber, &P::m_nHomeDelay},  {S::kReadNumber, &P::m_nEndDelay},
        {S::kCheckRange, &P::m_nFwdAcc},     {S::kCheckRange, &P::m_nFwdSpeed},
        {S::kCheckRange, &P::m_nFwdDec},     {S::kCheckRange, &P::m_nRevDec},
        {S::kCheckRange, &P::m_nRevSpeed},   {S::kCheckRange, &P::m_nRevAcc},
        {S::kReadButtons, nullptr},          {S::kCheckSource, &P::m_nFwdSource},
        {S::kCheckSource, &P::m_nRevSource}, {S::kCheckRange, &P::m_nHomeDelay},
        {S::kCheckRange, &P::m_nEndDelay},
    };
    return checks;
}
