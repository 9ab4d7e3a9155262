#include "model/ParameterSet.h"

void ParameterSet::ApplyMissingFileValues() {
    m_nPort = 0;
    m_nFwdSource = kSpeedInternal;
    m_nRevSource = kSpeedInternal;
    m_nFwdAcc = m_nFwdDec = m_nRevAcc = m_nRevDec = 10;
    m_nFwdSpeed = m_nRevSpeed = 108;
    m_nCycles = 100;
    m_nHomeDelay = m_nEndDelay = 2000;
}

void ParameterSet::CopyForwardToReverse() {
    m_nRevDec = m_nFwdAcc;
    m_nRevSpeed = m_nFwdSpeed;
    m_nRevAcc = m_nFwdDec;
    m_nRevSource = m_nFwdSource;
}
