#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "record/UnicodeTables.h"

// A set of Unicode code points as sorted ranges that neither overlap nor touch.
class CodePointSet {
public:
    static constexpr char32_t kMax = 0x10FFFF;

    CodePointSet() = default;
    explicit CodePointSet(const UnicodeTables::PackedSet& packed);
    static CodePointSet Range(char32_t first, char32_t last);

    // The set of `sets` one of whose names is `name`; nothing when none is.
    static const UnicodeTables::PackedSet* Named(const UnicodeTables::PackedSets& sets,
                                                 std::string_view name);
    // Whether `name` is one of the space-separated `names`.
    static bool HasName(std::string_view names, std::string_view name);

    void Add(char32_t first, char32_t last);
    void Add(const CodePointSet& other);
    // Each code point of `other` taken out where this set holds it, and added where it does not.
    void Toggle(const CodePointSet& other);
    CodePointSet Inverted() const;
    bool Contains(char32_t code) const;
    bool Empty() const { return ranges_.empty(); }

private:
    std::vector<std::pair<char32_t, char32_t>> ranges_;
};
