#include "record/ValueChanges.h"

#include <algorithm>

std::vector<ValueChange> ValueChanges(const ParameterSet& from, const ParameterSet& to,
                                      bool withPort) {
    std::vector<ValueChange> changes;
    for (const ParameterField& field : ParameterFields()) {
        const int before = from.*(field.member);
        const int after = to.*(field.member);
        if (before != after && (withPort || field.member != &ParameterSet::m_nPort)) {
            changes.push_back({&field, before, after});
        }
    }
    return changes;
}

std::string BothLanguages(const ParameterField& field, int value) {
    const std::string english = ValueText(field, value, Language::kEnglish);
    const std::string chinese = ValueText(field, value, Language::kChinese);
    return english == chinese ? english : english + " (" + chinese + ")";
}

std::string ChangeText(const ValueChange& change) {
    std::string name = change.field->name;
    name.resize(std::max<std::size_t>(name.size(), 14), ' ');
    return name + " " + BothLanguages(*change.field, change.from) + " -> " +
           BothLanguages(*change.field, change.to);
}
