// The C interface of the WebAssembly module: the page hands values and texts over through
// the module's memory and gets back what the dialog and the tool would compute for them.
// Values travel as 16 ints in the order of ParameterFields(); texts through one byte buffer.
//
// The commissioning record (record/RecordEntry.h, docs/record.md) goes through it too, so the page
// writes the tool's lines and makes the tool's report:
//   vkd_record_line(outcome, ms)   exchange: {"time":..,"port":..,"unit":..} as JSON (unit may be
//                                  left out); values: the 16 values sent. Answers the entry's line
//                                  (no line end), or 0 when time or port is missing.
//   vkd_program()                  "vkd37.html <version>", the entries' and the report's program.
//   vkd_chain_lines()              exchange: the line the log's file holds before them (an
//                                  empty line at its start), then the log's next lines, each
//                                  ending in a line feed. Answers them as the file holds them,
//                                  each linked ("prev") to the line before it, as the tool links.
//   vkd_shown_label()              exchange: a label. Answers it as the record's reports show
//                                  it, its control characters escaped, its backslashes doubled.
// A report is made of record files gathered as `vkd37 report` gathers them, in one of two slots
// (the page's log, and the records it opened), so that the one does not undo the other:
//   vkd_gather_start(slot)         a gathering begins, the last one let go.
//   vkd_gather_file(slot)          exchange: a file's name. Its bytes follow:
//   vkd_gather_bytes(slot)         exchange: the file's next bytes, any number.
//   vkd_gather_end(slot)           every file handed over.
//   vkd_report_summary(slot, language)  the summary as `vkd37 report` prints it; language: an
//                                  index of vkd_language_code.
//   vkd_report_csv(slot)           the CSV.
//   vkd_report_xlsx(slot, language)  the workbook's bytes.
//   vkd_report_html(slot, language)  exchange: the time the report is made (a record's form).
//                                  Answers the printable HTML page.
//   vkd_report_chains(slot)        each file's chain as `vkd37 report --verify` names it, a line
//                                  a file.
// The record's line also takes "station", "profile" and "profileId" from the exchange. Profiles
// (record/Profile.h) and the changes between two sets of values go through it as well:
//   vkd_profile_read()             exchange: a profile's file. Sets the values but the port and
//                                  answers {"profile":..,"note":..,"identity":..}, or
//                                  {"problem":..} leaving the values alone.
//   vkd_profile_text()             exchange: {"profile":..,"note":..}; values: the values. Answers
//                                  the profile's file.
//   vkd_values_identity()          values: the values. Answers their identity.
//   vkd_changes()                  vkd_base_values: the values before; values: after. Answers
//                                  one line a change, as the tool's diff says it.

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <utility>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/EchoRule.h"
#include "link/FrameDecoder.h"
#include "link/UploadFrame.h"
#include "model/DecimalScan.h"
#include "model/ParameterTable.h"
#include "model/ParameterText.h"
#include "model/SaveDecision.h"
#include "record/JsonText.h"
#include "record/LabelText.h"
#include "record/RecordEntry.h"
#include "record/Profile.h"
#include "record/RecordReport.h"
#include "record/RecordChain.h"
#include "record/StationRecord.h"
#include "record/ValueChanges.h"

#include "web/core/Exchange.h"

namespace {

constexpr char kProgram[] = "vkd37.html " VKD_VERSION;

int values[kStoredValueCount + 1]; // the stored values, then one slot for a parsed value
int baseValues[kStoredValueCount]; // the values a change is made from
ParameterReading lastReading;
FileSight sights[2]; // what the page knows of its file, and the file as it finds it now

ParameterSet SetOfValues(const int* from = values) {
    ParameterSet set;
    int index = 0;
    for (const ParameterField& field : ParameterFields()) {
        set.*(field.member) = from[index++];
    }
    return set;
}

void TakeValues(const ParameterSet& set) {
    int index = 0;
    for (const ParameterField& field : ParameterFields()) {
        values[index++] = set.*(field.member);
    }
}

// The string members of the exchange's one JSON object; false when it is none.
bool ReadExchangeStrings(std::initializer_list<std::pair<const char*, std::string*>> members) {
    JsonReader reader(exchange);
    return reader.ReadObject([&](const std::string& key) {
        for (const auto& [name, value] : members) {
            if (key == name) {
                return reader.ReadStringOrSkip(*value);
            }
        }
        return reader.SkipValue();
    });
}

int Answer(std::string text) {
    exchange = std::move(text);
    return static_cast<int>(exchange.size());
}

const ParameterField* Field(int index) {
    const auto& fields = ParameterFields();
    return index >= 0 && static_cast<std::size_t>(index) < fields.size() ? &fields[index] : nullptr;
}

const FormCheck* Check(int index) {
    const auto& checks = FormChecks();
    return index >= 0 && static_cast<std::size_t>(index) < checks.size() ? &checks[index] : nullptr;
}

// The enumerations the page decides on, by the names its script gives them, so that it copies
// no number of the core.
struct Enumerator {
    const char* type;
    const char* name;
    int value;
};

template <typename Enum>
constexpr Enumerator Named(const char* type, const char* name, Enum value) {
    return {type, name, static_cast<int>(value)};
}

constexpr Enumerator kEnumerators[] = {
    Named("ValueKind", "number", ValueKind::kNumber),
    Named("ValueKind", "source", ValueKind::kSource),
    Named("ValueKind", "flag", ValueKind::kFlag),
    Named("FormStep", "readNumber", FormStep::kReadNumber),
    Named("FormStep", "checkRange", FormStep::kCheckRange),
    Named("FormStep", "readButtons", FormStep::kReadButtons),
    Named("FormStep", "checkSource", FormStep::kCheckSource),
    Named("ReadStop", "complete", ReadStop::kComplete),
    Named("ReadStop", "endOfText", ReadStop::kEndOfText),
    Named("ReadStop", "notANumber", ReadStop::kNotANumber),
    Named("ReadStop", "outOfRange", ReadStop::kOutOfRange),
    Named("ReadStop", "readLimit", ReadStop::kReadLimit),
    Named("EchoOutcome", "confirmed", EchoOutcome::kConfirmed),
    Named("EchoOutcome", "writeFailed", EchoOutcome::kWriteFailed),
    Named("EchoOutcome", "noEcho", EchoOutcome::kNoEcho),
    Named("EchoOutcome", "shortEcho", EchoOutcome::kShortEcho),
    Named("EchoOutcome", "changedEcho", EchoOutcome::kChangedEcho),
    Named("EchoOutcome", "lineLost", EchoOutcome::kLineLost),
    Named("SaveVerdict", "write", SaveVerdict::kWrite),
    Named("SaveVerdict", "unread", SaveVerdict::kUnread),
    Named("SaveVerdict", "changed", SaveVerdict::kChanged),
    Named("SaveVerdict", "changedUnread", SaveVerdict::kChangedUnread),
};
constexpr int kEnumeratorCount = sizeof kEnumerators / sizeof kEnumerators[0];

const Enumerator* EnumeratorAt(int index) {
    return index >= 0 && index < kEnumeratorCount ? &kEnumerators[index] : nullptr;
}

GatheredRecord gathered[2];

GatheredRecord& Gathered(int slot) {
    return gathered[slot == 1 ? 1 : 0];
}

// A form of the report written into the exchange.
template <class Form> int Report(Form form) {
    std::string text;
    form([&text](std::string_view piece) { text.append(piece.data(), piece.size()); });
    return Answer(std::move(text));
}

constexpr int kLanguageCount = sizeof kLanguageCodes / sizeof kLanguageCodes[0];

// A Language by its index in kLanguageCodes; English for any other number.
Language LanguageOf(int language) {
    return language >= 0 && language < kLanguageCount ? static_cast<Language>(language)
                                                      : Language::kEnglish;
}

UploadFrame FrameOfValues() {
    UploadFrame frame{};
    BuildUploadFrame(SetOfValues(), frame);
    return frame;
}

} // namespace

VKD_EXPORT("vkd_values") int* Values() {
    return values;
}

VKD_EXPORT("vkd_enumerator_count") int EnumeratorCount() {
    return kEnumeratorCount;
}
VKD_EXPORT("vkd_enumerator_type") const char* EnumeratorType(int index) {
    return EnumeratorAt(index) ? EnumeratorAt(index)->type : nullptr;
}
VKD_EXPORT("vkd_enumerator_name") const char* EnumeratorName(int index) {
    return EnumeratorAt(index) ? EnumeratorAt(index)->name : nullptr;
}
VKD_EXPORT("vkd_enumerator_value") int EnumeratorValue(int index) {
    return EnumeratorAt(index) ? EnumeratorAt(index)->value : -1;
}

// The parameter file's name, where the dialog keeps it, and how much of a file any reader takes.
VKD_EXPORT("vkd_file_name") const char* FileName() {
    return kParameterFileName;
}
VKD_EXPORT("vkd_read_limit") int ReadLimit() {
    return static_cast<int>(kParameterFileReadLimit);
}

VKD_EXPORT("vkd_field_count") int FieldCount() {
    return static_cast<int>(ParameterFields().size());
}
VKD_EXPORT("vkd_field_name") const char* FieldName(int index) {
    return Field(index) ? Field(index)->name : nullptr;
}
VKD_EXPORT("vkd_field_kind") int FieldKind(int index) {
    return Field(index) ? static_cast<int>(Field(index)->kind) : -1;
}
VKD_EXPORT("vkd_field_min") int FieldMin(int index) {
    return Field(index) ? Field(index)->min : 0;
}
VKD_EXPORT("vkd_field_max") int FieldMax(int index) {
    return Field(index) ? Field(index)->max : 0;
}
VKD_EXPORT("vkd_accepted_text") int FieldAcceptedText(int index) {
    return Answer(Field(index) ? AcceptedText(*Field(index)) : "");
}
VKD_EXPORT("vkd_value_word") const char* FieldValueWord(int index, int value) {
    return Field(index) ? ValueWord(*Field(index), value) : nullptr;
}
// Parses the exchange text as the dialog's form reads a number box, into the slot after the
// stored values.
VKD_EXPORT("vkd_parse_form_number") int ParseFormNumber() {
    int parsed = 0;
    const bool taken =
        ScanBlankedInteger(exchange.data(), exchange.data() + exchange.size(), parsed);
    values[kStoredValueCount] = parsed;
    return taken;
}

// The form's checks in the dialog's order: what each does, and the index of its field (-1 for
// the step that reads the buttons).
VKD_EXPORT("vkd_form_check_count") int FormCheckCount() {
    return static_cast<int>(FormChecks().size());
}
VKD_EXPORT("vkd_form_check_step") int FormCheckStep(int index) {
    return Check(index) ? static_cast<int>(Check(index)->step) : -1;
}
VKD_EXPORT("vkd_form_check_field") int FormCheckField(int index) {
    const FormCheck* check = Check(index);
    return check && check->member
               ? static_cast<int>(&FieldFor(check->member) - ParameterFields().data())
               : -1;
}

// The dialog's values when it finds no parameter file.
VKD_EXPORT("vkd_start_values") void StartValues() {
    ParameterSet set;
    set.ApplyMissingFileValues();
    TakeValues(set);
}
// Reads the file's bytes in the exchange buffer with the dialog's reader into zeroed values;
// returns how many it took. How the reading ended is asked for after it.
VKD_EXPORT("vkd_read_text") int ReadText() {
    ParameterSet set;
    lastReading = ReadParameterText(exchange, set);
    TakeValues(set);
    return lastReading.values;
}
// Why the last reading stopped: a ReadStop.
VKD_EXPORT("vkd_read_stop") int ReadStopReason() {
    return static_cast<int>(lastReading.stop);
}
// Whether it stopped at bytes it could not take, which writing over would lose.
VKD_EXPORT("vkd_read_unreadable") int ReadUnreadable() {
    return lastReading.StoppedAtUnreadable() ? 1 : 0;
}
VKD_EXPORT("vkd_read_stop_offset") int ReadStopOffset() {
    return static_cast<int>(lastReading.stopOffset);
}
VKD_EXPORT("vkd_read_bom") int ReadByteOrderMark() {
    return lastReading.byteOrderMark ? 1 : 0;
}
// Whether the page may write its file (DecideSave): first the file as the page read or last
// wrote it (which 0), then as it finds it now (which 1), each with its size and modification
// time in ms (NaN where the browser did not tell it) and, where they could be read, its first
// bytes in the exchange buffer; a file that is not there is not `present`. The page cannot tell
// a file's identity. Then the verdict, a SaveVerdict; the reading of what the file holds is
// asked for after it, as after vkd_read_text.
VKD_EXPORT("vkd_see_file")
void SeeFile(int which, int present, double size, double modifiedMs, int bytesRead) {
    FileSight& sight = sights[which == 0 ? 0 : 1];
    sight = {};
    if (!present) {
        return;
    }
    sight.kind = FileSight::Kind::kSeen;
    sight.stamp.size = static_cast<std::uint64_t>(size);
    sight.timeKnown = !std::isnan(modifiedMs);
    if (sight.timeKnown) {
        const double seconds = std::floor(modifiedMs / 1000);
        sight.stamp.modifiedSeconds = static_cast<std::int64_t>(seconds);
        sight.stamp.modifiedNanoseconds =
            static_cast<std::int32_t>(std::llround((modifiedMs - seconds * 1000) * 1e6));
    }
    if (bytesRead) {
        sight.bytes = exchange;
    }
}
VKD_EXPORT("vkd_judge_save") int JudgeSave(int overUnread) {
    const SaveDecision decision =
        DecideSave(sights[0], sights[1], overUnread ? OverUnread::kReplace : OverUnread::kKeep);
    lastReading = decision.reading;
    return static_cast<int>(decision.verdict);
}

VKD_EXPORT("vkd_write_text") int WriteText() {
    return Answer(WriteParameterText(SetOfValues()));
}
VKD_EXPORT("vkd_sync") void SyncForwardToReverse() {
    ParameterSet set = SetOfValues();
    set.CopyForwardToReverse();
    TakeValues(set);
}
// One refusal a line, as the tool prints them.
VKD_EXPORT("vkd_refused") int Refused(int includePort) {
    std::string lines;
    for (const std::string& refusal : RefusedValues(SetOfValues(), includePort != 0)) {
        lines += lines.empty() ? "" : "\n";
        lines += refusal;
    }
    return Answer(std::move(lines));
}

VKD_EXPORT("vkd_frame") int Frame() {
    const UploadFrame frame = FrameOfValues();
    return Answer(std::string(frame.begin(), frame.end()));
}
VKD_EXPORT("vkd_frame_hex") int FrameHexText(int spaced) {
    return Answer(FrameHex(FrameOfValues(), spaced ? " " : ""));
}

// Judges the echo in the exchange buffer against the frame of the values.
VKD_EXPORT("vkd_judge_echo") int Judge() {
    const auto* echo = reinterpret_cast<const std::uint8_t*>(exchange.data());
    return static_cast<int>(JudgeEcho(FrameOfValues(), echo, exchange.size()).outcome);
}
VKD_EXPORT("vkd_outcome_name") const char* OutcomeName(int outcome) {
    return EchoOutcomeName(static_cast<EchoOutcome>(outcome));
}
// Why an upload failed, in a language.
VKD_EXPORT("vkd_echo_reason") int Reason(int outcome, int received, int language) {
    return Answer(
        EchoReason({static_cast<EchoOutcome>(outcome), static_cast<std::size_t>(received)},
                   LanguageOf(language)));
}
// The word of the outcome the exchange text names, as a record names it, in a language; the name
// itself for an outcome the core does not know (a later program's).
VKD_EXPORT("vkd_outcome_word") int OutcomeWord(int language) {
    const std::optional<EchoOutcome> outcome = EchoOutcomeNamed(exchange);
    return outcome ? Answer(EchoOutcomeWord(*outcome, LanguageOf(language)))
                   : static_cast<int>(exchange.size());
}
// The page's codes of the languages, by the index every export that takes a language takes.
VKD_EXPORT("vkd_language_count") int LanguageCount() {
    return kLanguageCount;
}
VKD_EXPORT("vkd_language_code") const char* LanguageCode(int language) {
    return language >= 0 && language < kLanguageCount ? kLanguageCodes[language] : nullptr;
}
VKD_EXPORT("vkd_transfer_limit_ms") int TransferLimit(int bytes) {
    return static_cast<int>(LineTiming::TransferLimitMs(static_cast<std::size_t>(bytes)));
}
VKD_EXPORT("vkd_interval_ms") int IntervalLimit() {
    return static_cast<int>(LineTiming::kIntervalMs);
}
VKD_EXPORT("vkd_baud_rate") int BaudRate() {
    return static_cast<int>(LineTiming::kBaudRate);
}
VKD_EXPORT("vkd_queue_size") int QueueSize() {
    return static_cast<int>(LineTiming::kQueueSize);
}
VKD_EXPORT("vkd_frame_length") int FrameLength() {
    return static_cast<int>(UploadFrame().size());
}

VKD_EXPORT("vkd_program") const char* Program() {
    return kProgram;
}
VKD_EXPORT("vkd_record_line") int RecordLineOf(int outcome, int ms) {
    std::string time;
    std::string port;
    std::string unit;
    RecordEntry station;
    const bool read = ReadExchangeStrings({{"time", &time},
                                           {"port", &port},
                                           {"unit", &unit},
                                           {"station", &station.station},
                                           {"profile", &station.profile},
                                           {"profileId", &station.profileId}});
    if (!read || time.empty() || port.empty() || outcome < 0 ||
        outcome > static_cast<int>(EchoOutcome::kLineLost)) {
        return Answer("");
    }
    RecordEntry entry =
        AttemptEntry(std::move(time), std::move(unit), std::move(port), SetOfValues(),
                     static_cast<EchoOutcome>(outcome), ms, kProgram);
    entry.station = std::move(station.station);
    entry.profile = std::move(station.profile);
    entry.profileId = std::move(station.profileId);
    return Answer(RecordLine(entry));
}
VKD_EXPORT("vkd_chain_lines") int ChainLines() {
    std::size_t start = std::min(exchange.find('\n'), exchange.size());
    std::string previous = exchange.substr(0, start);
    std::string lines;
    while (++start < exchange.size()) {
        const std::size_t end = std::min(exchange.find('\n', start), exchange.size());
        const std::string_view line = std::string_view(exchange).substr(start, end - start);
        if (!line.empty()) {
            previous = LinkedLine(line, previous);
            lines += previous + "\n";
        }
        start = end;
    }
    return Answer(std::move(lines));
}
VKD_EXPORT("vkd_shown_label") int ShownLabelText() {
    return Answer(ShownLabel(exchange));
}

VKD_EXPORT("vkd_gather_start") void GatherStart(int slot) {
    Gathered(slot) = GatheredRecord();
}
VKD_EXPORT("vkd_gather_file") void GatherFile(int slot) {
    Gathered(slot).StartFile(exchange);
}
VKD_EXPORT("vkd_gather_bytes") void GatherBytes(int slot) {
    Gathered(slot).Add(exchange);
}
VKD_EXPORT("vkd_gather_end") void GatherEnd(int slot) {
    Gathered(slot).End();
}
VKD_EXPORT("vkd_report_summary") int ReportSummaryText(int slot, int language) {
    GatheredRecord& record = Gathered(slot);
    return Report([&](const ReportSink& out) {
        GatheredSummary(record, record.Gathering(), nullptr, LanguageOf(language), out);
    });
}
VKD_EXPORT("vkd_report_csv") int ReportCsvText(int slot) {
    return Report([slot](const ReportSink& out) { ReportCsv(Gathered(slot), out); });
}
VKD_EXPORT("vkd_report_xlsx") int ReportXlsxFile(int slot, int language) {
    // Nothing where the attempts do not fit a sheet.
    return Report(
        [=](const ReportSink& out) { ReportXlsx(Gathered(slot), LanguageOf(language), out); });
}
VKD_EXPORT("vkd_report_html") int ReportHtmlText(int slot, int language) {
    const std::string madeAt = exchange;
    return Report([&](const ReportSink& out) {
        ReportHtml(Gathered(slot), LanguageOf(language), kProgram, madeAt, out);
    });
}
VKD_EXPORT("vkd_report_chains") int ReportChains(int slot) {
    std::string lines;
    for (const RecordFileFacts& file : Gathered(slot).Gathering().Files()) {
        lines += file.name + ": " + ChainText(file.chain, Language::kEnglish) + "\n";
    }
    return Answer(std::move(lines));
}

VKD_EXPORT("vkd_profile_read") int ProfileRead() {
    const ProfileReading reading = ReadProfileText(exchange);
    std::string answer;
    if (!reading.profile) {
        answer = "{\"problem\":";
        AppendJsonString(answer, ValidUtf8(reading.problem));
        return Answer(answer + "}");
    }
    ParameterSet set = reading.profile->values;
    set.m_nPort = values[0];
    TakeValues(set);
    answer = "{\"profile\":";
    AppendJsonString(answer, ValidUtf8(reading.profile->name));
    answer += ",\"note\":";
    AppendJsonString(answer, ValidUtf8(reading.profile->note));
    return Answer(answer + ",\"identity\":\"" + ValuesIdentity(set) + "\"}");
}
VKD_EXPORT("vkd_profile_text") int ProfileFileText() {
    Profile profile;
    ReadExchangeStrings({{"profile", &profile.name}, {"note", &profile.note}});
    profile.values = SetOfValues();
    return Answer(ProfileText(profile));
}
VKD_EXPORT("vkd_values_identity") int Identity() {
    return Answer(ValuesIdentity(SetOfValues()));
}
VKD_EXPORT("vkd_base_values") int* BaseValues() {
    return baseValues;
}
VKD_EXPORT("vkd_changes") int Changes() {
    std::string lines;
    for (const ValueChange& change : ValueChanges(SetOfValues(baseValues), SetOfValues(), false)) {
        lines += (lines.empty() ? "" : "\n") + ChangeText(change);
    }
    return Answer(lines);
}
