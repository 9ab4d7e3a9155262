#include "store/ParameterFile.h"

#include "store/FileStore.h"
#include "model/ParameterTable.h"

static_assert(kParameterFileReadLimit <= kStoreReadLimit, "in place, a save blanks what is read");

namespace {

// The file as reading it found it.
FileSight SightOf(ReadOutcome read, const std::string& bytes, const FileStamp& stamp) {
    switch (read) {
    case ReadOutcome::kRead:
        return FileSight::Seen(stamp, bytes);
    case ReadOutcome::kMissing:
        break;
    case ReadOutcome::kFailed:
        return {FileSight::Kind::kUnknown, {}, true, {}};
    }
    return {};
}

// The set as the dialog loads it from what reading the file gave.
LoadOutcome TakeValues(ReadOutcome read, const std::string& bytes, ParameterSet& set,
                       FileFailure failure) {
    LoadOutcome outcome;
    switch (read) {
    case ReadOutcome::kRead:
        outcome.kind = LoadOutcome::Kind::kLoaded;
        outcome.reading = ReadParameterText(bytes, set);
        return outcome;
    case ReadOutcome::kMissing:
        outcome.kind = LoadOutcome::Kind::kMissing;
        break;
    case ReadOutcome::kFailed:
        outcome.kind = LoadOutcome::Kind::kUnreadable;
        break;
    }
    set.ApplyMissingFileValues();
    outcome.failure = std::move(failure);
    return outcome;
}

// Whether the decision keeps the file as it is; failure then says why.
bool Refused(const SaveDecision& decision, const char* path, FileFailure& failure) {
    if (decision.verdict == SaveVerdict::kWrite) {
        return false;
    }
    failure = StoreFailure(FileFault::kRefused, "change", path, SaveRefusalText(decision));
    return true;
}

} // namespace

std::string UnreadableValuesText(const ParameterReading& reading) {
    if (!reading.StoppedAtUnreadable()) {
        return {};
    }
    const ParameterField* field = FieldsInFileOrder()[static_cast<std::size_t>(reading.values)];
    const char* at = reading.stop == ReadStop::kOutOfRange ? "a number too large for "
                     : reading.stop == ReadStop::kReadLimit
                         ? "the end of the first MiB, all a reader takes, before "
                         : "no number for ";
    return std::string("its values stop at byte ") + std::to_string(reading.stopOffset) + ", " +
           at + field->name + " (value " + std::to_string(reading.values + 1) + " of " +
           std::to_string(kStoredValueCount) + ")";
}

std::string IncompleteReadingText(const ParameterReading& reading) {
    switch (reading.stop) {
    case ReadStop::kComplete:
        return {};
    case ReadStop::kEndOfText:
        return reading.values == 0 ? "it holds no values"
                                   : "it holds only " + std::to_string(reading.values) +
                                         " of the " + std::to_string(kStoredValueCount) + " values";
    case ReadStop::kNotANumber:
    case ReadStop::kOutOfRange:
    case ReadStop::kReadLimit:
        break;
    }
    return UnreadableValuesText(reading);
}

std::string SaveRefusalText(const SaveDecision& decision) {
    constexpr char kChanged[] = "another program has changed it since it was read or last saved";
    switch (decision.verdict) {
    case SaveVerdict::kWrite:
        break;
    case SaveVerdict::kUnread:
        return UnreadableValuesText(decision.reading);
    case SaveVerdict::kChanged:
        return kChanged;
    case SaveVerdict::kChangedUnread:
        return std::string(kChanged) + ", and " + UnreadableValuesText(decision.reading);
    }
    return {};
}

LoadOutcome LoadParameterFile(const char* path, ParameterSet& set) {
    std::string bytes;
    FileFailure failure;
    FileStamp stamp;
    const ReadOutcome read =
        ReadFileContents(path, kParameterFileReadLimit, bytes, failure, &stamp);
    LoadOutcome outcome = TakeValues(read, bytes, set, std::move(failure));
    outcome.sight = SightOf(read, bytes, stamp);
    return outcome;
}

LoadOutcome LoadParameters(ParameterSet& set) {
    return LoadParameterFile(kParameterFileName, set);
}

SaveOutcome SaveParameterFile(const char* path, const ParameterSet& set, const LockWait& wait) {
    return ReplaceFileContents(path, WriteParameterText(set), wait);
}

SaveOutcome UpdateParameterFile(const char* path,
                                const std::function<bool(ParameterSet&, FileFailure&)>& change,
                                const LockWait& wait) {
    return UpdateFileContents(
        path, kParameterFileReadLimit,
        [&](ReadOutcome read, const std::string& bytes, const FileStamp& stamp,
            FileFailure& failure) -> std::optional<std::string> {
            // Read under the same lock as it is written: it is known as it is found.
            const FileSight found = SightOf(read, bytes, stamp);
            ParameterSet set;
            TakeValues(read, bytes, set, {});
            if (Refused(DecideSave(found, found), path, failure) || !change(set, failure)) {
                return std::nullopt;
            }
            return WriteParameterText(set);
        },
        wait);
}

DecidedSave SaveKnownFile(const char* path, const ParameterSet& set, FileSight& known,
                          const LockWait& wait) {
    DecidedSave saved;
    const std::string text = WriteParameterText(set);
    saved.outcome = UpdateFileContents(
        path, kParameterFileReadLimit,
        [&](ReadOutcome read, const std::string& bytes, const FileStamp& stamp,
            FileFailure& failure) -> std::optional<std::string> {
            saved.found = SightOf(read, bytes, stamp);
            saved.decision = DecideSave(known, saved.found);
            if (Refused(saved.decision, path, failure)) {
                return std::nullopt;
            }
            return text;
        },
        wait);
    if (saved.outcome.Saved()) {
        known = FileSight::Seen(saved.outcome.stamp, text);
    }
    return saved;
}

DecidedSave SaveParameters(ParameterSet& set, int selection, FileSight* known,
                           const LockWait& wait) {
    ParameterSet values = set;
    values.m_nPort = selection;
    DecidedSave saved;
    if (known) {
        saved = SaveKnownFile(kParameterFileName, values, *known, wait);
    } else {
        saved.outcome = SaveParameterFile(kParameterFileName, values, wait);
    }
    if (saved.outcome.Saved()) {
        set.m_nPort = selection;
    }
    return saved;
}
