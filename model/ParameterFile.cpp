#include "model/ParameterFile.h"

#include <cstdio>
#include <memory>

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

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

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
    LoadParameterFile(kParameterFileName, set);
}

bool LoadParameterFile(const char* path, ParameterSet& set) {
    FilePtr file(std::fopen(path, "rb"));
    if (!file) {
        set.ApplyMissingFileValues();
        return false;
    }
    std::string text(kParameterFileReadLimit, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file.get()));
    ReadParameterText(text, set);
    return true;
}

bool SaveParameterFile(const char* path, const ParameterSet& set) {
    return ReplaceFileContents(path, WriteParameterText(set));
}

void SaveParameters(ParameterSet& set, int selection) {
    ParameterSet saved = set;
    saved.m_nPort = selection;
    if (SaveParameterFile(kParameterFileName, saved)) {
        set.m_nPort = selection;
    }
}
