#pragma once

#include <string>
#include <vector>

#include "model/ParameterTable.h"

// What would change between two sets of values: the tool's diff, the upload's list of changes,
// the page's list above Upload Parameters and the report's units off their profile all say it
// this one way.
struct ValueChange {
    const ParameterField* field;
    int from;
    int to;
};

// The fields whose values differ, in the table's order; the port only where withPort.
std::vector<ValueChange> ValueChanges(const ParameterSet& from, const ParameterSet& to,
                                      bool withPort);

// "fwd.source (正向速度来源)  internal (内部速度) -> internal-pot (内部电位器)": the field's
// name and the value's words in both languages (the numbers where the words are the same).
std::string ChangeText(const ValueChange& change);
// The same in one language's words: "fwd.source  internal -> internal-pot" in English.
std::string ChangeText(const ValueChange& change, Language language);
// A field's name in both languages: "fwd.acc (正向加速)".
std::string BothLanguagesName(const ParameterField& field);
// A value in both languages' words: "internal-pot (内部电位器)", "12".
std::string BothLanguages(const ParameterField& field, int value);
