#include "link/UploadFrame.h"

namespace {

std::uint8_t Low8(int value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

// Speeds 1-128 travel as 0-127. Unsigned, so that even INT_MIN from a damaged file wraps.
std::uint8_t SpeedByte(int speed) {
    return static_cast<std::uint8_t>(static_cast<unsigned>(speed) - 1u);
}

std::uint8_t Byte(unsigned value, int shift) {
    return static_cast<std::uint8_t>(value >> shift);
}

bool IsOn(int flag) {
    return flag == 1;
}

// Bits 16-23, 8-15 and 0-7 of the delay in tens of milliseconds (truncated), or zeros when off.
void PutDelay(UploadFrame& frame, int first, int flag, int milliseconds) {
    const unsigned tens = IsOn(flag) ? static_cast<unsigned>(milliseconds / 10) : 0;
    frame[first] = Byte(tens, 16);
    frame[first + 1] = Byte(tens, 8);
    frame[first + 2] = Byte(tens, 0);
}

} // namespace

void BuildUploadFrame(const ParameterSet& set, UploadFrame& frame) {
    frame[0] = kUploadCommand;
    frame[1] = Low8(set.m_nFwdSource);
    frame[2] = Low8(set.m_nFwdAcc);
    frame[3] = SpeedByte(set.m_nFwdSpeed);
    frame[4] = Low8(set.m_nFwdDec);
    frame[5] = Low8(set.m_nRevSource);
    frame[6] = Low8(set.m_nRevDec);
    frame[7] = SpeedByte(set.m_nRevSpeed);
    frame[8] = Low8(set.m_nRevAcc);

    // Bytes 9-11 hold the cycle count as 24 bits, which puts 0 in byte 9 for every valid count.
    // The controllers in the field were configured this way, so the auto-start box is not sent.
    const unsigned cycles = IsOn(set.m_bCyclesOn) ? static_cast<unsigned>(set.m_nCycles) : 0;
    frame[9] = Byte(cycles, 16);
    frame[10] = Byte(cycles, 8);
    frame[11] = Byte(cycles, 0);

    PutDelay(frame, 12, set.m_bHomeDelayOn, set.m_nHomeDelay);
    PutDelay(frame, 15, set.m_bEndDelayOn, set.m_nEndDelay);
    frame[18] = Low8(set.m_bAutoHome);
}
