#include "model/ParameterFile.h"

#include "model/FileStore.h"
#include "model/ParameterText.h"

namespace {

// The set as the dialog loads it from what reading the file gave.
LoadOutcome TakeValues(ReadOutcome read, const std::string& text, ParameterSet& set) {
    switch (read) {
    case ReadOutcome::kRead:
        ReadParameterText(text, set);
        return LoadOutcome::kLoaded;
    case ReadOutcome::kMissing:
        set.ApplyMissingFileValues();
        return LoadOutcome::kMissing;
    case ReadOutcome::kFailed:
        break;
    }
    set.ApplyMissingFileValues();
    return LoadOutcome::kUnreadable;
}

} // namespace

void LoadParameters(ParameterSet& set) {
    std::string error;
    LoadParameterFile(kParameterFileName, set, error);
}

LoadOutcome LoadParameterFile(const char* path, ParameterSet& set, std::string& error) {
    std::string text;
    return TakeValues(ReadFileContents(path, kParameterFileReadLimit, text, error), text, set);
}

bool SaveParameterFile(const char* path, const ParameterSet& set, std::string& error) {
    return ReplaceFileContents(path, WriteParameterText(set), error);
}

bool UpdateParameterFile(const char* path,
                         const std::function<bool(ParameterSet&, std::string&)>& change,
                         std::string& error) {
    return UpdateFileContents(
        path, kParameterFileReadLimit,
        [&](ReadOutcome read, const std::string& text,
            std::string& why) -> std::optional<std::string> {
            ParameterSet set;
            TakeValues(read, text, set);
            if (!change(set, why)) {
                return std::nullopt;
            }
            return WriteParameterText(set);
        },
        error);
}

void SaveParameters(ParameterSet& set, int selection) {
    ParameterSet saved = set;
    saved.m_nPort = selection;
    std::string error;
    if (SaveParameterFile(kParameterFileName, saved, error)) {
        set.m_nPort = selection;
    }
}
