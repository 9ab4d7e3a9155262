#include "record/LabelText.h"

#include "record/CodePointSet.h"
#include "record/Utf8.h"

namespace {

bool IsBlank(char32_t code) {
    return code == ' ' || code == '\t' || code == '\r' || code == '\n' || code == '\v' ||
           code == '\f' || code == 0x3000;
}

// The controls, and the format characters that show nothing and join nothing (a zero-width space,
// a byte order mark, a soft hyphen): "G-1" with one after it would read as "G-1". The joiners
// that emoji and scripts need (U+200C, U+200D) and the variation selectors are shown as they are.
bool IsControl(char32_t code) {
    return code < 0x20 || (code >= 0x7F && code < 0xA0) || code == 0x2028 || code == 0x2029 ||
           (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069) ||
           code == 0x200E || code == 0x200F || code == 0x061C || code == 0x00AD || code == 0x180E ||
           code == 0x200B || (code >= 0x2060 && code <= 0x2064) || code == 0xFEFF;
}

const CodePointSet& WidthSet(const char* name) {
    static const CodePointSet wide(*CodePointSet::Named(UnicodeTables::kWidths, "Wide"));
    static const CodePointSet zero(*CodePointSet::Named(UnicodeTables::kWidths, "Zero"));
    return std::string_view(name) == "Wide" ? wide : zero;
}

} // namespace

std::string TrimmedLabel(std::string_view label) {
    const std::u32string codes = CodePoints(label);
    std::size_t first = 0;
    std::size_t end = codes.size();
    while (first < end && IsBlank(codes[first])) {
        ++first;
    }
    while (end > first && IsBlank(codes[end - 1])) {
        --end;
    }
    std::string trimmed;
    for (std::size_t i = first; i < end; ++i) {
        AppendUtf8(trimmed, codes[i]);
    }
    return trimmed;
}

namespace {

std::string Escaped(std::string_view text, bool backslashes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string shown;
    for (const char32_t code : CodePoints(text)) {
        if (backslashes && code == '\\') {
            shown += "\\\\";
        } else if (!IsControl(code)) {
            AppendUtf8(shown, code);
        } else if (code == '\n' || code == '\r' || code == '\t') {
            shown += code == '\n' ? "\\n" : code == '\r' ? "\\r" : "\\t";
        } else {
            const int digits = code < 0x100 ? 2 : 4;
            shown += code < 0x100 ? "\\x" : "\\u";
            for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
                shown += kHex[(code >> shift) & 0xF];
            }
        }
    }
    return shown;
}

} // namespace

std::string EscapedControls(std::string_view text) {
    return Escaped(text, false);
}

std::string ShownLabel(std::string_view label) {
    return Escaped(label, true);
}

std::size_t ColumnWidth(std::string_view text) {
    constexpr char32_t kEmojiPresentation = 0xFE0F;
    std::size_t width = 0;
    std::size_t last = 0; // the width of the character before
    for (const char32_t code : CodePoints(text)) {
        // A character followed by the emoji selector is shown as an emoji, two columns wide.
        const std::size_t own = code == kEmojiPresentation && last == 1 ? 1
                                : WidthSet("Zero").Contains(code)       ? 0
                                : WidthSet("Wide").Contains(code)       ? 2
                                                                        : 1;
        width += own;
        last = code == kEmojiPresentation ? 2 : own;
    }
    return width;
}
