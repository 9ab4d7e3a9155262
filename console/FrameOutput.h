#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "link/FrameDecoder.h"

// A decoded frame as the command-line programs print it.

// As a JSON object: bytes, fwd, rev, cycles, delays, auto_home, problems; a value that is off
// is null.
nlohmann::ordered_json FrameJson(const DecodedFrame& frame);

// The simulator's line per frame: for a person, or one JSON object. echoCount is the number of
// bytes about to go back, extras included.
std::string HumanLine(unsigned frameNumber, const DecodedFrame& frame);
std::string JsonLine(unsigned frameNumber, const DecodedFrame& frame, std::size_t echoCount);
