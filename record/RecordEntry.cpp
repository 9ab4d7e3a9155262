#include "record/RecordEntry.h"

#include <array>
#include <utility>

#include "link/FrameDecoder.h"
#include "link/UploadFrame.h"
#include "record/JsonText.h"

const std::vector<const ParameterField*>& RecordedFields() {
    static const std::vector<const ParameterField*> fields = [] {
        std::vector<const ParameterField*> recorded;
        for (const ParameterField& field : ParameterFields()) {
            if (field.member != &ParameterSet::m_nPort) {
                recorded.push_back(&field);
            }
        }
        return recorded;
    }();
    return fields;
}

RecordEntry AttemptEntry(std::string time, std::string unit, std::string port,
                         const ParameterSet& sent, EchoOutcome outcome, long long ms,
                         std::string program) {
    UploadFrame frame{};
    BuildUploadFrame(sent, frame);
    RecordEntry entry;
    entry.time = std::move(time);
    entry.unit = std::move(unit);
    entry.port = std::move(port);
    entry.frame = FrameHex(frame, "");
    entry.outcome = outcome;
    entry.ms = ms;
    for (const ParameterField* field : RecordedFields()) {
        entry.values.push_back(sent.*(field->member));
    }
    entry.program = std::move(program);
    return entry;
}

std::string OutcomeName(const RecordEntry& entry) {
    return entry.outcome ? EchoOutcomeName(*entry.outcome) : entry.otherOutcome;
}

namespace {

// The members a station adds, in the order its lines hold them; the chain's link comes last.
template <class Entry> auto StationMembers(Entry& entry) {
    using Member = std::pair<const char*, decltype(&entry.profile)>;
    return std::array<Member, 4>{Member{"profile", &entry.profile},
                                 Member{"profileId", &entry.profileId},
                                 Member{"station", &entry.station}, Member{"prev", &entry.prev}};
}

} // namespace

std::string RecordLine(const RecordEntry& entry) {
    std::string line;
    const auto member = [&line](const char* key) {
        line += line.empty() ? "{" : ",";
        AppendJsonString(line, key);
        line += ':';
    };
    const auto text = [&](const char* key, const std::string& value) {
        member(key);
        AppendJsonString(line, ValidUtf8(value));
    };
    text("time", entry.time);
    if (!entry.unit.empty()) {
        text("unit", entry.unit);
    }
    text("port", entry.port);
    text("frame", entry.frame);
    text("outcome", OutcomeName(entry));
    if (entry.ms) {
        member("ms");
        line += std::to_string(*entry.ms);
    }
    std::string values;
    for (std::size_t i = 0; i < entry.values.size() && i < RecordedFields().size(); ++i) {
        if (entry.values[i]) {
            values += values.empty() ? "{" : ",";
            AppendJsonString(values, RecordedFields()[i]->name);
            values += ':' + std::to_string(*entry.values[i]);
        }
    }
    if (!values.empty()) {
        member("values");
        line += values + "}";
    }
    if (!entry.program.empty()) {
        text("program", entry.program);
    }
    for (const auto& [key, value] : StationMembers(entry)) {
        if (!value->empty()) {
            text(key, *value);
        }
    }
    return line + "}";
}

namespace {

// The value's index in RecordedFields(), or -1.
int RecordedIndex(const std::string& name) {
    const auto& fields = RecordedFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (name == fields[i]->name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool ReadValues(JsonReader& reader, RecordEntry& entry) {
    if (reader.Peek() != '{') {
        return reader.SkipValue();
    }
    entry.values.assign(RecordedFields().size(), std::nullopt);
    return reader.ReadObject([&reader, &entry](const std::string& name) {
        const int index = RecordedIndex(name);
        const char next = reader.Peek();
        if (index < 0 || !(next == '-' || (next >= '0' && next <= '9'))) {
            return reader.SkipValue();
        }
        std::optional<long long> value;
        if (!reader.ReadNumber(value)) {
            return false;
        }
        entry.values[index] = value;
        return true;
    });
}

} // namespace

std::optional<RecordEntry> ReadRecordLine(std::string_view line) {
    const std::string valid = ValidUtf8(line);
    JsonReader reader(valid);
    RecordEntry entry;
    std::string outcome;
    bool hasTime = false;
    bool hasOutcome = false;
    const bool read = reader.ReadObject([&](const std::string& key) {
        if (key == "time") {
            return reader.ReadStringOrSkip(entry.time, &hasTime);
        }
        if (key == "outcome") {
            return reader.ReadStringOrSkip(outcome, &hasOutcome);
        }
        if (key == "unit") {
            return reader.ReadStringOrSkip(entry.unit);
        }
        if (key == "port") {
            return reader.ReadStringOrSkip(entry.port);
        }
        if (key == "frame") {
            return reader.ReadStringOrSkip(entry.frame);
        }
        if (key == "program") {
            return reader.ReadStringOrSkip(entry.program);
        }
        if (key == "ms") {
            const char next = reader.Peek();
            if (next == '-' || (next >= '0' && next <= '9')) {
                entry.ms.reset();
                return reader.ReadNumber(entry.ms);
            }
            return reader.SkipValue();
        }
        if (key == "values") {
            return ReadValues(reader, entry);
        }
        for (const auto& [name, value] : StationMembers(entry)) {
            if (key == name) {
                return reader.ReadStringOrSkip(*value);
            }
        }
        return reader.SkipValue();
    });
    if (!read || !reader.AtEnd() || !hasTime || !hasOutcome) {
        return std::nullopt;
    }
    entry.outcome = EchoOutcomeNamed(outcome);
    if (!entry.outcome) {
        entry.otherOutcome = std::move(outcome);
    }
    return entry;
}

std::vector<std::size_t> ReadRecordText(std::string_view text, CommissioningRecord& record) {
    std::vector<std::size_t> leftOut;
    const auto take = [&](const RecordLines::Line& line) {
        if (line.whole && line.text.find_first_not_of(" \t\r") == std::string_view::npos) {
            return;
        }
        std::optional<RecordEntry> entry =
            line.whole ? ReadRecordLine(line.text) : std::optional<RecordEntry>();
        if (entry) {
            record.entries.push_back(std::move(*entry));
        } else {
            leftOut.push_back(line.number);
        }
    };
    RecordLines lines;
    lines.Add(text, take);
    lines.End(take);
    record.leftOut += leftOut.size();
    return leftOut;
}
