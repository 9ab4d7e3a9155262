#pragma once

// Where a motion profile takes its speed from; the order is that of the radio buttons.
enum SpeedSource : int {
    kSpeedInternal = 0,    // the profile's own speed field
    kSpeedInternalPot = 1, // the controller's potentiometer
    kSpeedExternalPot = 2, // a potentiometer wired to the controller
};

// Everything the operator configures. The main dialog embeds it, so the form, the parameter
// file and the frame encoder all work on these very members.
struct ParameterSet {
    int m_nPort = 0;
    int m_nFwdSource = 0;
    int m_nFwdAcc = 0;
    int m_nFwdSpeed = 0;
    int m_nFwdDec = 0;
    int m_nRevSource = 0;
    int m_nRevAcc = 0;
    int m_nRevSpeed = 0;
    int m_nRevDec = 0;
    int m_nCycles = 0;
    int m_nHomeDelay = 0;
    int m_nEndDelay = 0;
    int m_bCyclesOn = 0;
    int m_bHomeDelayOn = 0;
    int m_bEndDelayOn = 0;
    int m_bAutoHome = 0;
    int m_bAutoStart = 0;
    int m_bLegendOn = 0;

    // Values used when there is no parameter file. The flags are left as they are.
    void ApplyMissingFileValues();

    // "FOR/REV SYNC": the reverse profile takes the forward one. The ramps cross over, so the
    // reverse DEC field receives the forward ACC and the reverse ACC field the forward DEC.
    void CopyForwardToReverse();
};
