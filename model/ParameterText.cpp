#include "model/ParameterText.h"

#include "model/DecimalScan.h"
#include "model/ParameterTable.h"

int ReadParameterText(std::string_view text, ParameterSet& set) {
    const char* p = text.data();
    const char* const end = p + text.size();
    int taken = 0;
    for (const ParameterField* field : FieldsInFileOrder()) {
        while (p != end && IsScanBlank(*p)) {
            ++p;
        }
        int value = 0;
        if (ScanDecimalInt(p, end, value) != ScanStatus::kOk) {
            break;
        }
        set.*(field->member) = value;
        ++taken;
    }
    return taken;
}

std::string WriteParameterText(const ParameterSet& set) {
    std::string text;
    for (const ParameterField* field : FieldsInFileOrder()) {
        text += std::to_string(set.*(field->member));
        text += ' ';
    }
    return text;
}
