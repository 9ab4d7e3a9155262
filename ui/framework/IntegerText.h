#pragma once

#include <string_view>

#include "model/DecimalScan.h"

// Reads a whole edit text as an integer the way the form accepts it: blanks around one
// optionally signed decimal number. Anything else, or a number that does not fit an int, is
// refused and `value` is left alone. No window involved, so it is tested natively.
inline bool ParseIntegerText(std::wstring_view text, int& value) {
    const wchar_t* p = text.data();
    const wchar_t* const end = p + text.size();
    while (p != end && IsScanBlank(*p)) {
        ++p;
    }
    int parsed = 0;
    if (ScanDecimalInt(p, end, parsed) != ScanStatus::kOk) {
        return false;
    }
    while (p != end && IsScanBlank(*p)) {
        ++p;
    }
    if (p != end) {
        return false;
    }
    value = parsed;
    return true;
}
