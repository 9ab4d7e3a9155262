#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/Language.h"
#include "model/ParameterSet.h"

// The one description of the 16 stored values: the name the tool, the page and the logs give
// each, the member it lives in, its place in the parameter file, the words it takes besides its
// number, and the range the dialog accepts. Everything that names, bounds, stores or spells a
// value reads it from here.
enum class ValueKind {
    kNumber, // plain decimal
    kSource, // a SpeedSource: internal, internal-pot, external-pot
    kFlag,   // a check box: off, on
};

struct ParameterField {
    const char* name;
    int ParameterSet::*member;
    int filePosition; // 0 for the file's first value
    ValueKind kind;
    int min;
    int max;
};

inline constexpr int kStoredValueCount = 16;

// In the order the dialog shows them: port, the forward and the reverse profile, the options.
const std::vector<ParameterField>& ParameterFields();
// The same fields in the order the parameter file keeps them.
const std::vector<const ParameterField*>& FieldsInFileOrder();

// Null for a name no field has.
const ParameterField* FindField(std::string_view name);
// The field of a stored member; every stored member has one.
const ParameterField& FieldFor(int ParameterSet::*member);

bool IsAccepted(const ParameterField& field, int value);
// The word a source or flag value is written as ("internal-pot", "on"); null for numbers and
// for values without a word.
const char* ValueWord(const ParameterField& field, int value);
// A value as typed: its word, or a plain decimal integer with an optional sign.
std::optional<int> ParseValue(const ParameterField& field, std::string_view text);
// "internal, internal-pot, external-pot" for sources, "on/off" for flags, "" for numbers.
std::string ValueWords(const ParameterField& field);
// "0-127", or for sources and flags their words as well.
std::string AcceptedText(const ParameterField& field);
// The value as it is typed: its word where it has one, else the number; in Chinese, the word as
// the form shows it.
std::string ValueText(const ParameterField& field, int value,
                      Language language = Language::kEnglish);
// The field as the Chinese form names it ("正向加速"); `name` is its English one.
const char* ChineseName(const ParameterField& field);
// "fwd.acc=300 is out of range (0-127)".
std::string Refusal(const ParameterField& field, int value);

// One line per value the dialog would refuse; the port index is checked only when it matters
// (it is not part of the frame).
std::vector<std::string> RefusedValues(const ParameterSet& set, bool includePort);

// The form's checks in the order the dialog's exchange makes them, which the page follows too.
// The first failure ends the exchange, so this order decides which refusal a person sees when
// several values are wrong: the cycle count is checked before the ramps, the reverse DEC before
// the reverse ACC.
enum class FormStep {
    kReadNumber,  // the member's box is read; a text that is not a number is refused
    kCheckRange,  // the member, read before, is checked against its field's range
    kReadButtons, // the radio groups and check boxes are read; nothing is refused
    kCheckSource, // the source, read with the buttons, is refused when no button of its group
                  // is checked (a value outside 0-2 checks none): it would be sent as 0xFF
};

struct FormCheck {
    FormStep step;
    int ParameterSet::*member; // null for kReadButtons
};

const std::vector<FormCheck>& FormChecks();
