#pragma once

#include <climits>

// The blanks "%d" skips in the C locale.
template <class Char> constexpr bool IsScanBlank(Char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

enum class ScanStatus { kOk, kNotANumber, kOutOfRange };

// Reads an optionally signed decimal integer starting exactly at p, as "%d" does once its blanks
// are skipped, but a number that does not fit an int is refused rather than left undefined.
// On kOk and kOutOfRange p moves past the digits; on kNotANumber it stays put.
template <class Char> ScanStatus ScanDecimalInt(const Char*& p, const Char* end, int& value) {
    const Char* q = p;
    bool negative = false;
    if (q != end && (*q == '+' || *q == '-')) {
        negative = *q == '-';
        ++q;
    }
    if (q == end || *q < '0' || *q > '9') {
        return ScanStatus::kNotANumber;
    }
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long magnitude = 0;
    bool tooLarge = false;
    for (; q != end && *q >= '0' && *q <= '9'; ++q) {
        if (!tooLarge) {
            magnitude = magnitude * 10 + (*q - '0');
            tooLarge = magnitude > limit;
        }
    }
    p = q;
    if (tooLarge) {
        return ScanStatus::kOutOfRange;
    }
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return ScanStatus::kOk;
}

// A whole text as one integer the way the dialog's form takes it: blanks around one optionally
// signed decimal number that fits an int. Anything else is refused and `value` left alone.
template <class Char> bool ScanBlankedInteger(const Char* p, const Char* end, int& value) {
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
