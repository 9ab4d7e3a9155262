#include "model/ParameterFile.h"

#include "model/DecimalScan.h"
#include "model/FileStore.h"

namespace {

// File order. The reverse ramps are kept DEC first, as in the upload frame.
constexpr int ParameterSet::*kStoredMembers[kStoredValueCount] = {
    &ParameterSet::m_nPort,     &ParameterSet::m_nFwdSource,   &ParameterSet::m_nFwdAcc,
    &ParameterSet::m_nFwdSpeed, &ParameterSet::m_nFwdDec,      &ParameterSet::m_nRevSource,
    &ParameterSet::m_nRevDec,   &ParameterSet::m_nRevSpeed,    &ParameterSet::m_nRevAcc,
    &ParameterSet::m_nCycles,   &ParameterSet::m_nHomeDelay,   &ParameterSet::m_nEndDelay,
    &ParameterSet::m_bCyclesOn, &ParameterSet::m_bHomeDelayOn, &ParameterSet::m_bEndDelayOn,
    &ParameterSet::m_bAutoHome,
};

} // namespace

int ReadParameterText(std::string_view text, ParameterSet& set) {
    const char* p = text.data();
    const char* const end = p + text.size();
    int taken = 0;
    for (int ParameterSet::*member : kStoredMembers) {
        while (p != end && IsScanBlank(*p)) {
            ++p;
        }
        int value = 0;
        if (ScanDecimalInt(p, end, value) != ScanStatus::kOk) {
            break;
        }
        set.*member = value;
        ++taken;
    }
    return taken;
}

std::string WriteParameterText(const ParameterSet& set) {
    std::string text;
    for (int ParameterSet::*member : kStoredMembers) {
        text += std::to_string(set.*member);
        text += ' ';
    }
    return text;
}

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
