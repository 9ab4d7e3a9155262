#include "model/ParameterFile.h"

#include "model/FileStore.h"
#include "model/ParameterText.h"

void LoadParameters(ParameterSet& set) {
    std::string error;
    LoadParameterFile(kParameterFileName, set, error);
}

LoadOutcome LoadParameterFile(const char* path, ParameterSet& set, std::string& error) {
    std::string text;
    switch (ReadFileContents(path, kParameterFileReadLimit, text, error)) {
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

bool SaveParameterFile(const char* path, const ParameterSet& set, std::string& error) {
    return ReplaceFileContents(path, WriteParameterText(set), error);
}

void SaveParameters(ParameterSet& set, int selection) {
    ParameterSet saved = set;
    saved.m_nPort = selection;
    std::string error;
    if (SaveParameterFile(kParameterFileName, saved, error)) {
        set.m_nPort = selection;
    }
}
