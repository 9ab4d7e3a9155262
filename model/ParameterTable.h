#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/ParameterSet.h"

// The stored values with their names, kinds and the ranges the dialog accepts.
enum class ValueKind { kNumber, kSource, kFlag };

struct ParameterField {
    const char* name;
    int ParameterSet::*member;
    ValueKind kind;
    int min;
    int max;
};

// The 16 stored values in the dialog's order.
const std::vector<ParameterField>& ParameterFields();
const ParameterField* FindField(std::string_view name);
const ParameterField& FieldFor(int ParameterSet::*member);
bool IsAccepted(const ParameterField& field, int value);
// The word for a source or flag value; nullptr when there is none.
const char* ValueWord(const ParameterField& field, int value);
std::optional<int> ParseValue(const ParameterField& field, std::string_view text);
std::string AcceptedText(const ParameterField& field);
std::vector<std::string> RefusedValues(const ParameterSet& set, bool includePort);
