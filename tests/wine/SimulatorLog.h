#pragma once

// What the Wine bench offers a Windows test: the simulator behind each COM port
// (scripts/wine/simulators) and the frames each one has logged.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "link/FrameDecoder.h"
#include "link/UploadFrame.h"
#include "platform/Text.h"

namespace port {
constexpr int kGood = 1;
constexpr int kSilent = 2;
constexpr int kShortEcho = 3;
constexpr int kCorruptByte18 = 4;
constexpr int kLateEcho = 5;
constexpr int kLongGap = 6;
constexpr int kShortGap = 7;
constexpr int kExtraBytes = 8;
constexpr int kDropsMidFrame = 9;
} // namespace port

// The Linux folder of the simulators of the bench's lane that runs this test, as scripts/wine/run
// names it, in UTF-16 and in UTF-8.
inline std::wstring BenchDirW() {
    const wchar_t* dir = _wgetenv(L"VKD_WINE_BENCH");
    if (!dir || !*dir) {
        std::fputs("VKD_WINE_BENCH is not set: run the test in scripts/wine/session\n", stderr);
        std::abort();
    }
    return dir;
}
inline std::string BenchDir() {
    return Utf8(BenchDirW());
}

// A frame as the logs spell it: 38 upper-case hex digits.
inline std::string Hex(const UploadFrame& frame) {
    return FrameHex(frame, "");
}

// The "bytes" of every frame the simulator on the port received, oldest first. The logs are
// named simN, not comN: to Windows "com1.<anything>" is the device COM1. Wine shows the Linux
// root as drive Z:.
inline std::vector<std::string> LoggedFrames(int port) {
    const std::wstring path = L"Z:" + BenchDirW() + L"/sim" + std::to_wstring(port) + L".jsonl";
    std::ifstream log(path.c_str(), std::ios::binary);
    std::vector<std::string> frames;
    const std::string key = "\"bytes\":\"";
    for (std::string line; std::getline(log, line);) {
        const size_t at = line.find(key);
        if (at != std::string::npos) {
            frames.push_back(line.substr(at + key.size(), 38));
        }
    }
    return frames;
}
