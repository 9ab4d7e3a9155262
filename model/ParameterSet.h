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

// Ranges the form enforces when it takes values from the controls.
namespace ParameterRange {
constexpr int kRampMin = 0, kRampMax = 127;
constexpr int kSpeedMin = 1, kSpeedMax = 128;
constexpr int kCyclesMin = 0, kCyclesMax = 65535;
constexpr int kDelayMin = 0, kDelayMax = 16777210; // 0xFFFFFA
} // namespace ParameterRange
