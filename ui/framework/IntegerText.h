#pragma once

#include <string_view>

#include "model/DecimalScan.h"

// Reads a whole edit text as an integer the way the form accepts it (the page takes the same
// rule from model/DecimalScan.h). No window involved, so it is tested natively.
inline bool ParseIntegerText(std::wstring_view text, int& value) {
    return ScanBlankedInteger(text.data(), text.data() + text.size(), value);
}
