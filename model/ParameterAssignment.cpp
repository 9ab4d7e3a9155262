#include "model/ParameterAssignment.h"

#include <optional>

#include "model/ParameterTable.h"

namespace {

std::string KnownNames() {
    std::string names;
    for (const ParameterField& field : ParameterFields()) {
        names += names.empty() ? "" : ", ";
        names += field.name;
    }
    return names;
}

} // namespace

bool ApplyAssignment(std::string_view assignment, ParameterSet& set, std::string& error) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string_view::npos) {
        error = "expected NAME=VALUE, got '" + std::string(assignment) + "'";
        return false;
    }
    const std::string_view name = assignment.substr(0, equals);
    const std::string_view text = assignment.substr(equals + 1);
    const ParameterField* field = FindField(name);
    if (!field) {
        error = "unknown name '" + std::string(name) + "' (names: " + KnownNames() + ")";
        return false;
    }
    const std::optional<int> value = ParseValue(*field, text);
    if (!value) {
        error = std::string(field->name) + ": '" + std::string(text) + "' is not a value (" +
                AcceptedText(*field) + ")";
        return false;
    }
    if (!IsAccepted(*field, *value)) {
        error = Refusal(*field, *value);
        return false;
    }
    set.*(field->member) = *value;
    return true;
}

bool ApplyAssignments(const std::vector<std::string>& assignments, ParameterSet& set,
                      std::string& error) {
    for (const std::string& assignment : assignments) {
        if (!ApplyAssignment(assignment, set, error)) {
            return false;
        }
    }
    return true;
}
