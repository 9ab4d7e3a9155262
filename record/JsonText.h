#pragma once

#include <optional>
#include <string>
#include <string_view>

// What the record needs of JSON: strings written byte for byte as JavaScript's JSON.stringify
// writes them, and a reader for one line's object. No exceptions: the page's module has none.

// Text with every byte sequence that is not UTF-8 replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// text as a JSON string, quotes included; text must be UTF-8.
void AppendJsonString(std::string& out, std::string_view text);

// Reads one JSON text from the front. Each Read* returns false when the text is not JSON there;
// the reader is then spent.
class JsonReader {
public:
    explicit JsonReader(std::string_view text) : text_(text) {}

    // The next value's first character after blanks; '\0' at the end.
    char Peek();
    bool ReadString(std::string& value);
    // A member's string into value, found then set; a value of another type is skipped, taken as
    // absent.
    bool ReadStringOrSkip(std::string& value, bool* found = nullptr);
    // A number; value is set only for a whole one that fits, and is left alone for "1.5".
    bool ReadNumber(std::optional<long long>& value);
    bool SkipValue();
    // An object, calling member(key) for each member; member reads or skips the value.
    template <class Member> bool ReadObject(Member member);
    // Only blanks are left.
    bool AtEnd() { return Peek() == '\0' && position_ == text_.size(); }

private:
    bool Take(char expected);
    // An array or object: items separated by commas between open and close.
    template <class Item> bool ReadList(char open, char close, Item item);

    std::string_view text_;
    std::size_t position_ = 0;
    int depth_ = 0; // nesting of arrays and objects, bounded so no line can exhaust the stack
};

template <class Item> bool JsonReader::ReadList(char open, char close, Item item) {
    constexpr int kMaxDepth = 32;
    if (!Take(open) || ++depth_ > kMaxDepth) {
        return false;
    }
    if (Peek() != close) {
        do {
            if (!item()) {
                return false;
            }
        } while (Peek() == ',' && Take(','));
    }
    --depth_;
    return Take(close);
}

template <class Member> bool JsonReader::ReadObject(Member member) {
    return ReadList('{', '}', [this, &member] {
        std::string key;
        return Peek() == '"' && ReadString(key) && Take(':') && member(key);
    });
}
