#include "store/ParameterFile.h"

#include "store/FileStore.h"
#include "model/ParameterTable.h"

static_assert(kParameterFileReadLimit <= kStoreReadLimit, "in place, a save blanks what is read");

namespace {

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

LoadOutcome LoadParameterFile(const char* path, ParameterSet& set) {
    std::string bytes;
    FileFailure failure;
    FileStamp stamp;
    const ReadOutcome read =
        ReadFileContents(path, kParameterFileReadLimit, bytes, failure, &stamp);
    LoadOutcome outcome = TakeValues(read, bytes, set, std::move(failure));
    outcome.stamp = stamp;
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
        [&](ReadOutcome read, const std::string& bytes,
            FileFailure& failure) -> std::optional<std::string> {
            ParameterSet set;
            const LoadOutcome loaded = TakeValues(read, bytes, set, {});
            if (loaded.reading.StoppedAtUnreadable()) {
                failure = StoreFailure(FileFault::kRefused, "change", path,
                                       UnreadableValuesText(loaded.reading));
                return std::nullopt;
            }
            if (!change(set, failure)) {
                return std::nullopt;
            }
            return WriteParameterText(set);
        },
        wait);
}

SaveOutcome SaveParameters(ParameterSet& set, int selection, const LockWait& wait) {
    ParameterSet saved = set;
    saved.m_nPort = selection;
    SaveOutcome outcome = SaveParameterFile(kParameterFileName, saved, wait);
    if (outcome.Saved()) {
        set.m_nPort = selection;
    }
    return outcome;
}
