#include "record/Profile.h"

#include <climits>

#include "model/ParameterTable.h"
#include "model/Sha256.h"
#include "record/JsonText.h"
#include "record/LabelText.h"

std::string CanonicalValues(const ParameterSet& values) {
    std::string canonical;
    for (const ParameterField* field : RecordedFields()) {
        canonical +=
            std::string(field->name) + "=" + std::to_string(values.*(field->member)) + "\n";
    }
    return canonical;
}

std::string ValuesIdentity(const ParameterSet& values) {
    return Sha256Hex(CanonicalValues(values));
}

std::string ShortIdentity(const std::string& identity) {
    return identity.substr(0, 12);
}

std::string ProfileText(const Profile& profile) {
    std::string text = "{\n  \"profile\": ";
    AppendJsonString(text, ValidUtf8(profile.name));
    text += ",\n  \"note\": ";
    AppendJsonString(text, ValidUtf8(profile.note));
    text += ",\n  \"values\": {";
    const char* separator = "\n";
    for (const ParameterField* field : RecordedFields()) {
        const int value = profile.values.*(field->member);
        text += std::string(separator) + "    ";
        AppendJsonString(text, field->name);
        text += ": ";
        if (const char* word = ValueWord(*field, value)) {
            AppendJsonString(text, word);
        } else {
            text += std::to_string(value);
        }
        separator = ",\n";
    }
    return text + "\n  }\n}\n";
}

namespace {

// One value of the profile's "values": a number, or the word the table gives it.
bool ReadValue(JsonReader& reader, const ParameterField& field, ParameterSet& values,
               std::string& problem) {
    std::optional<int> value;
    if (reader.Peek() == '"') {
        std::string word;
        if (!reader.ReadString(word)) {
            return false;
        }
        value = field.kind == ValueKind::kNumber ? std::nullopt : ParseValue(field, word);
        if (!value) {
            problem = std::string(field.name) + " is \"" + word + "\", not a value (" +
                      AcceptedText(field) + ")";
            return false;
        }
    } else {
        std::optional<long long> number;
        if (!reader.ReadNumber(number)) {
            return false;
        }
        if (!number || *number < INT_MIN || *number > INT_MAX) {
            problem = std::string(field.name) + " is not a whole number";
            return false;
        }
        value = static_cast<int>(*number);
    }
    if (!IsAccepted(field, *value)) {
        problem = Refusal(field, *value);
        return false;
    }
    values.*(field.member) = *value;
    return true;
}

bool ReadValues(JsonReader& reader, ParameterSet& values, std::string& problem) {
    std::vector<bool> seen(RecordedFields().size(), false);
    const bool read = reader.Peek() == '{' && reader.ReadObject([&](const std::string& name) {
        for (std::size_t i = 0; i < seen.size(); ++i) {
            const ParameterField& field = *RecordedFields()[i];
            if (name == field.name) {
                if (seen[i]) {
                    problem = name + " is given twice";
                    return false;
                }
                seen[i] = true;
                return ReadValue(reader, field, values, problem);
            }
        }
        problem = "\"" + name + "\" is not a value a profile holds";
        return false;
    });
    for (std::size_t i = 0; read && i < seen.size(); ++i) {
        if (!seen[i]) {
            problem = std::string(RecordedFields()[i]->name) + " is missing";
            return false;
        }
    }
    return read;
}

// Without the byte-order mark an editor's "UTF-8 with BOM" puts first, as a record's first line.
std::string_view WithoutByteOrderMark(std::string_view text) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }
    return text;
}

} // namespace

ProfileReading ReadProfileText(std::string_view text) {
    const std::string valid = ValidUtf8(WithoutByteOrderMark(text));
    JsonReader reader(valid);
    ProfileReading reading;
    Profile profile;
    profile.values.ApplyMissingFileValues();
    bool named = false;
    bool hasValues = false;
    std::string problem;
    const bool read = reader.ReadObject([&](const std::string& key) {
        if (key == "profile") {
            return reader.Peek() == '"' && reader.ReadString(profile.name) && (named = true);
        }
        if (key == "note") {
            return reader.Peek() == '"' && reader.ReadString(profile.note);
        }
        if (key == "values") {
            hasValues = true;
            return ReadValues(reader, profile.values, problem);
        }
        problem = "\"" + key + "\" is not part of a profile";
        return false;
    });
    if (!problem.empty()) {
        reading.problem = problem;
    } else if (!read || !reader.AtEnd()) {
        reading.problem = "not a profile: a JSON object with a name and values was expected";
    } else if (!named || TrimmedLabel(profile.name).empty()) {
        reading.problem = "the profile has no name";
    } else if (!hasValues) {
        reading.problem = "the profile has no values";
    } else {
        reading.profile = std::move(profile);
    }
    return reading;
}

bool LooksLikeProfile(std::string_view text) {
    const std::string valid = ValidUtf8(WithoutByteOrderMark(text));
    JsonReader reader(valid);
    bool named = false;
    bool timed = false; // a record's line names its profile too
    reader.ReadObject([&](const std::string& key) {
        named = named || key == "profile";
        timed = timed || key == "time";
        return reader.SkipValue();
    });
    return named && !timed;
}

std::optional<ParameterSet> EntryValues(const RecordEntry& entry) {
    ParameterSet values;
    const auto& fields = RecordedFields();
    if (entry.values.size() != fields.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::optional<long long>& value = entry.values[i];
        if (!value || *value < INT_MIN || *value > INT_MAX) {
            return std::nullopt;
        }
        values.*(fields[i]->member) = static_cast<int>(*value);
    }
    return values;
}

std::vector<std::optional<long long>> RecordedValues(const ParameterSet& values) {
    std::vector<std::optional<long long>> recorded;
    for (const ParameterField* field : RecordedFields()) {
        recorded.push_back(values.*(field->member));
    }
    return recorded;
}
