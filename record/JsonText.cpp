#include "record/JsonText.h"

#include <cstdint>

#include "record/Utf8.h"

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::string ValidUtf8(std::string_view text) {
    std::string valid;
    valid.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = Utf8SequenceLength(text);
        if (length == 0) {
            valid += kReplacement;
            text.remove_prefix(1);
        } else {
            valid.append(text.data(), length);
            text.remove_prefix(length);
        }
    }
    return valid;
}

void AppendJsonString(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00";
                out += kHex[(c >> 4) & 0xF];
                out += kHex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

char JsonReader::Peek() {
    while (position_ < text_.size() && (text_[position_] == ' ' || text_[position_] == '\t' ||
                                        text_[position_] == '\n' || text_[position_] == '\r')) {
        ++position_;
    }
    return position_ < text_.size() ? text_[position_] : '\0';
}

bool JsonReader::Take(char expected) {
    if (Peek() != expected || position_ >= text_.size()) {
        return false;
    }
    ++position_;
    return true;
}

bool JsonReader::ReadString(std::string& value) {
    value.clear();
    if (!Take('"')) {
        return false;
    }
    // Four hex digits after "\u", or -1.
    const auto codeUnit = [this]() -> long {
        if (text_.size() - position_ < 5 || text_[position_] != 'u') {
            return -1;
        }
        long unit = 0;
        for (std::size_t i = 1; i <= 4; ++i) {
            const int digit = HexDigit(text_[position_ + i]);
            if (digit < 0) {
                return -1;
            }
            unit = unit * 16 + digit;
        }
        position_ += 5;
        return unit;
    };
    while (position_ < text_.size()) {
        const char c = text_[position_++];
        if (c == '"') {
            return true;
        }
        if (static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
        if (c != '\\') {
            value += c;
            continue;
        }
        if (position_ >= text_.size()) {
            return false;
        }
        const char escaped = text_[position_];
        const char* const simple = "\"\\/bfnrt";
        const char* const meant = "\"\\/\b\f\n\r\t";
        bool found = false;
        for (int i = 0; simple[i] != '\0'; ++i) {
            if (escaped == simple[i]) {
                value += meant[i];
                ++position_;
                found = true;
            }
        }
        if (found) {
            continue;
        }
        long unit = codeUnit();
        if (unit < 0) {
            return false;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF && text_.substr(position_, 2) == "\\u") {
            const std::size_t low = position_;
            ++position_;
            const long next = codeUnit();
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendUtf8(value, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                continue;
            }
            position_ = low; // read on its own below
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            value += kReplacement; // a lone surrogate has no UTF-8
        } else {
            AppendUtf8(value, static_cast<std::uint32_t>(unit));
        }
    }
    return false;
}

bool JsonReader::ReadStringOrSkip(std::string& value, bool* found) {
    if (Peek() != '"') {
        return SkipValue();
    }
    if (found) {
        *found = true;
    }
    return ReadString(value);
}

bool JsonReader::ReadNumber(std::optional<long long>& value) {
    Peek();
    const std::size_t start = position_;
    const auto digits = [this] {
        const std::size_t first = position_;
        while (position_ < text_.size() && IsDigit(text_[position_])) {
            ++position_;
        }
        return position_ - first;
    };
    const bool negative = position_ < text_.size() && text_[position_] == '-';
    position_ += negative ? 1 : 0;
    const std::size_t integerStart = position_;
    const std::size_t integerDigits = digits();
    if (integerDigits == 0 || (integerDigits > 1 && text_[integerStart] == '0')) {
        return false;
    }
    bool whole = true;
    if (position_ < text_.size() && text_[position_] == '.') {
        ++position_;
        whole = false;
        if (digits() == 0) {
            return false;
        }
    }
    if (position_ < text_.size() && (text_[position_] == 'e' || text_[position_] == 'E')) {
        ++position_;
        whole = false;
        if (position_ < text_.size() && (text_[position_] == '+' || text_[position_] == '-')) {
            ++position_;
        }
        if (digits() == 0) {
            return false;
        }
    }
    constexpr std::size_t kSafeDigits = 18; // every such number fits a long long
    if (whole && integerDigits <= kSafeDigits) {
        long long number = 0;
        for (std::size_t i = integerStart; i < integerStart + integerDigits; ++i) {
            number = number * 10 + (text_[i] - '0');
        }
        value = negative ? -number : number;
    }
    return position_ > start;
}

bool JsonReader::SkipValue() {
    const char next = Peek();
    if (next == '"') {
        std::string ignored;
        return ReadString(ignored);
    }
    if (next == '{') {
        return ReadObject([this](const std::string&) { return SkipValue(); });
    }
    if (next == '[') {
        return ReadList('[', ']', [this] { return SkipValue(); });
    }
    for (const std::string_view word : {"true", "false", "null"}) {
        if (text_.substr(position_, word.size()) == word) {
            position_ += word.size();
            return true;
        }
    }
    std::optional<long long> ignored;
    return ReadNumber(ignored);
}
