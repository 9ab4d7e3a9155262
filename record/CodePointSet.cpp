#include "record/CodePointSet.h"

#include <algorithm>

namespace {

std::size_t ReadNumber(const UnicodeTables::PackedSet& packed, std::size_t& at) {
    std::size_t number = 0;
    for (int shift = 0; at < packed.size; shift += 7) {
        const auto byte = static_cast<unsigned char>(packed.data[at++]);
        number |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            break;
        }
    }
    return number;
}

} // namespace

CodePointSet::CodePointSet(const UnicodeTables::PackedSet& packed) {
    char32_t next = 0;
    for (std::size_t at = 0; at < packed.size;) {
        const auto first = static_cast<char32_t>(next + ReadNumber(packed, at));
        const auto last = static_cast<char32_t>(first + ReadNumber(packed, at));
        ranges_.emplace_back(first, last);
        next = last + 1;
    }
}

CodePointSet CodePointSet::Range(char32_t first, char32_t last) {
    CodePointSet set;
    set.Add(first, last);
    return set;
}

const UnicodeTables::PackedSet* CodePointSet::Named(const UnicodeTables::PackedSets& sets,
                                                    std::string_view name) {
    for (std::size_t i = 0; i < sets.count; ++i) {
        if (HasName(sets.sets[i].names, name)) {
            return &sets.sets[i];
        }
    }
    return nullptr;
}

bool CodePointSet::HasName(std::string_view names, std::string_view name) {
    while (!names.empty()) {
        const std::size_t space = std::min(names.find(' '), names.size());
        if (names.substr(0, space) == name) {
            return true;
        }
        names.remove_prefix(std::min(space + 1, names.size()));
    }
    return false;
}

void CodePointSet::Add(char32_t first, char32_t last) {
    // The ranges this one overlaps or touches are merged into it.
    auto from =
        std::lower_bound(ranges_.begin(), ranges_.end(), first,
                         [](const auto& range, char32_t code) { return range.second + 1 < code; });
    auto to = from;
    while (to != ranges_.end() && to->first <= last + 1) {
        first = std::min(first, to->first);
        last = std::max(last, to->second);
        ++to;
    }
    ranges_.insert(ranges_.erase(from, to), {first, last});
}

void CodePointSet::Add(const CodePointSet& other) {
    for (const auto& [first, last] : other.ranges_) {
        Add(first, last);
    }
}

void CodePointSet::Toggle(const CodePointSet& other) {
    // (this ∪ other) less (this ∩ other), with the union and the complement alone.
    CodePointSet notBoth = Inverted();
    notBoth.Add(other.Inverted());
    CodePointSet either = *this;
    either.Add(other);
    CodePointSet outside = either.Inverted();
    outside.Add(notBoth.Inverted());
    *this = outside.Inverted();
}

CodePointSet CodePointSet::Inverted() const {
    CodePointSet inverted;
    char32_t next = 0;
    for (const auto& [first, last] : ranges_) {
        if (first > next) {
            inverted.ranges_.emplace_back(next, first - 1);
        }
        next = last + 1;
    }
    if (next <= kMax) {
        inverted.ranges_.emplace_back(next, kMax);
    }
    return inverted;
}

bool CodePointSet::Contains(char32_t code) const {
    const auto after =
        std::upper_bound(ranges_.begin(), ranges_.end(), code,
                         [](char32_t point, const auto& range) { return point < range.first; });
    return after != ranges_.begin() && std::prev(after)->second >= code;
}
