#pragma once

// Saves that follow one another, for killing a saving process at random moments, and changes
// made by several processes at once.

#include <string>

#include "Scratch.h"
#include "store/ParameterFile.h"
#include "model/ParameterTable.h"
#include "model/ParameterText.h"

// The values of save number k: every stored value differs from those of the save before.
inline ParameterSet NumberedSet(int k) {
    ParameterSet set;
    set.m_nPort = k % 10;
    set.m_nFwdSource = set.m_nRevSource = k % 3;
    set.m_nFwdAcc = set.m_nRevAcc = k % 128;
    set.m_nFwdSpeed = set.m_nRevSpeed = k % 128 + 1;
    set.m_nFwdDec = set.m_nRevDec = 127 - k % 128;
    set.m_nCycles = k;
    set.m_nHomeDelay = 10 * k;
    set.m_nEndDelay = 20 * k;
    set.m_bCyclesOn = set.m_bHomeDelayOn = set.m_bEndDelayOn = set.m_bAutoHome = k % 2;
    return set;
}

// The number of the save a file holds whole, or -1 when it holds anything else. A save written
// in place (under Wine, or beside a hard link) that is cut short before the file is cut to
// length leaves blanks after the text, and nothing else.
inline int SaveNumber(const std::string& text) {
    ParameterSet set;
    if (ReadParameterText(text, set).values != kStoredValueCount) {
        return -1;
    }
    const std::string whole = WriteParameterText(NumberedSet(set.m_nCycles));
    const bool blanksAfter = text.compare(0, whole.size(), whole) == 0 &&
                             text.find_first_not_of(' ', whole.size()) == std::string::npos;
    return blanksAfter ? set.m_nCycles : -1;
}

inline std::string ReadParameterFile() {
    return ReadWholeFile(kParameterFileName);
}

// Saves the numbered sets after the one the file in the working directory holds, until killed.
[[noreturn]] inline void SaveForever() {
    for (int k = SaveNumber(ReadParameterFile()) + 1;; ++k) {
        ParameterSet set = NumberedSet(k);
        SaveParameters(set, set.m_nPort);
    }
}

// Adds one to the cycles (field 0) or to the home delay (field 1) `times` times, each read, made
// and written under the file's lock as `vkd37 set` does; the exit status: 0 when every change
// was saved.
inline int CountUp(int field, int times) {
    for (int i = 0; i < times; ++i) {
        if (!UpdateParameterFile(kParameterFileName, [field](ParameterSet& set, FileFailure&) {
                 ++(field == 0 ? set.m_nCycles : set.m_nHomeDelay);
                 return true;
             }).Saved()) {
            return 1;
        }
    }
    return 0;
}
