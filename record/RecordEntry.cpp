#include "record/RecordEntry.h"

#include <array>
#include <cstdio>
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

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
long long DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int ofEra = year - era * 400;
    const int ofYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int ofCycle = ofEra * 365 + ofEra / 4 - ofEra / 100 + ofYear;
    return era * 146097LL + ofCycle - 719468;
}

void CivilFromDays(long long days, int& year, int& month, int& day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const int ofCycle = static_cast<int>(days - era * 146097);
    const int ofEra = (ofCycle - ofCycle / 1460 + ofCycle / 36524 - ofCycle / 146096) / 365;
    const int ofYear = ofCycle - (365 * ofEra + ofEra / 4 - ofEra / 100);
    const int shifted = (5 * ofYear + 2) / 153;
    day = ofYear - (153 * shifted + 2) / 5 + 1;
    month = shifted < 10 ? shifted + 3 : shifted - 9;
    year = static_cast<int>(ofEra + era * 400) + (month <= 2);
}

// The time in the one form lines are written in, UTC to the millisecond
// (2025-03-04T09:15:02.123Z), from a time with a date, a zone (Z or an offset) and any digits of
// a second, as a line put together by hand or by another program may have it; nothing for any
// other text, which orders no attempt.
std::optional<std::string> RecordTime(std::string_view text) {
    std::size_t at = 0;
    const auto digits = [&](std::size_t count, int& value) {
        value = 0;
        for (const std::size_t end = at + count; at < end; ++at) {
            if (at >= text.size() || text[at] < '0' || text[at] > '9') {
                return false;
            }
            value = value * 10 + (text[at] - '0');
        }
        return true;
    };
    const auto mark = [&](std::string_view marks) {
        if (at >= text.size() || marks.find(text[at]) == std::string_view::npos) {
            return false;
        }
        ++at;
        return true;
    };
    int year, month, day, hour, minute, second, millisecond = 0, offset = 0;
    if (!(digits(4, year) && mark("-") && digits(2, month) && mark("-") && digits(2, day) &&
          mark("Tt") && digits(2, hour) && mark(":") && digits(2, minute) && mark(":") &&
          digits(2, second))) {
        return std::nullopt;
    }
    if (mark(".")) {
        const std::size_t first = at;
        for (int place = 100; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
            millisecond += (text[at] - '0') * place;
            place /= 10;
        }
        if (at == first) {
            return std::nullopt;
        }
    }
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        const int sign = text[at++] == '-' ? -1 : 1;
        int hours, minutes;
        if (!(digits(2, hours) && mark(":") && digits(2, minutes)) || hours > 23 || minutes > 59) {
            return std::nullopt;
        }
        offset = sign * (hours * 60 + minutes);
    } else if (!mark("Zz")) {
        return std::nullopt;
    }
    const long long days = DaysFromCivil(year, month, day);
    int shownYear, shownMonth, shownDay;
    CivilFromDays(days, shownYear, shownMonth, shownDay);
    if (at != text.size() || month < 1 || month > 12 || shownMonth != month || shownDay != day ||
        hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    const long long minutes = (days * 24 + hour) * 60 + minute - offset;
    const long long utcDays = minutes >= 0 ? minutes / 1440 : (minutes - 1439) / 1440;
    const long long ofDay = minutes - utcDays * 1440;
    CivilFromDays(utcDays, year, month, day);
    if (year < 0 || year > 9999) {
        return std::nullopt;
    }
    char shown[32];
    std::snprintf(shown, sizeof shown, "%04d-%02d-%02dT%02lld:%02lld:%02d.%03dZ", year, month, day,
                  ofDay / 60, ofDay % 60, second, millisecond);
    return std::string(shown);
}

} // namespace

std::optional<RecordEntry> ReadRecordLine(std::string_view line) {
    const std::string valid = ValidUtf8(line);
    JsonReader reader(valid);
    RecordEntry entry;
    std::string outcome;
    bool hasOutcome = false;
    const bool read = reader.ReadObject([&](const std::string& key) {
        if (key == "time") {
            return reader.ReadStringOrSkip(entry.time);
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
    std::optional<std::string> time = RecordTime(entry.time);
    if (!read || !reader.AtEnd() || !time || !hasOutcome) {
        return std::nullopt;
    }
    entry.time = std::move(*time);
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
