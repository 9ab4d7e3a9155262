#include "record/ValueChanges.h"

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

std::string BothLanguagesName(const ParameterField& field) {
    return std::string(field.name) + " (" + ChineseName(field) + ")";
}

std::string ChangeText(const ValueChange& change) {
    return BothLanguagesName(*change.field) + "  " + BothLanguages(*change.field, change.from) +
           " -> " + BothLanguages(*change.field, change.to);
}

std::string ChangeText(const ValueChange& change, Language language) {
    const ParameterField& field = *change.field;
    return (language == Language::kChinese ? ChineseName(field) : field.name) + std::string("  ") +
           ValueText(field, change.from, language) + " -> " + ValueText(field, change.to, language);
}
