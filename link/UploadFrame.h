#pragma once

#include <array>
#include <cstdint>

#include "model/ParameterSet.h"

// The one message sent to the controller; it echoes the same 19 bytes back.
using UploadFrame = std::array<std::uint8_t, 19>;

inline constexpr std::uint8_t kUploadCommand = 0x03;

// Encodes the set as it stands, without validating it: multi-byte fields are big-endian,
// single bytes are the low 8 bits of their member, delays travel in units of 10 ms.
void BuildUploadFrame(const ParameterSet& set, UploadFrame& frame);
