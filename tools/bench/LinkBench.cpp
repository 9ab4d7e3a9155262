// link_bench [port] [frames]: sends frames through SerialLink and reports the round trips
// (send plus echo) next to the time the bytes alone need on a 9600 baud 8N1 line.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "link/EchoRule.h"
#include "link/SerialLink.h"
#include "link/UploadFrame.h"
#include "model/ParameterSet.h"

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

} // namespace

int main(int argc, char** argv) {
    const int port = argc > 1 ? std::atoi(argv[1]) : 1;
    const int frameCount = argc > 2 ? std::atoi(argv[2]) : 50;
    if (frameCount < 1) {
        std::fprintf(stderr, "usage: link_bench [port] [frames >= 1]\n");
        return 2;
    }

    SerialLink link;
    if (!link.OpenPort(port)) {
        std::fprintf(stderr, "link_bench: cannot open COM%d\n", port);
        return 1;
    }

    ParameterSet set;
    set.ApplyMissingFileValues();
    set.m_bCyclesOn = 1;
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    std::vector<double> roundTrips;
    int failures = 0;
    for (int i = 0; i < frameCount; ++i) {
        set.m_nCycles = i + 1; // every frame differs from the one before
        UploadFrame frame;
        BuildUploadFrame(set, frame);
        LARGE_INTEGER start;
        LARGE_INTEGER end;
        ::QueryPerformanceCounter(&start);
        const int delivered = link.SendFrame(frame);
        ::QueryPerformanceCounter(&end);
        if (delivered) {
            roundTrips.push_back(Milliseconds(start, end, frequency));
        } else {
            ++failures;
        }
    }

    const double wireMs = std::chrono::duration<double, std::milli>(
                              LineTiming::WireTime(2 * std::tuple_size<UploadFrame>::value))
                              .count();
    std::printf("COM%d: %d frames, %d delivered, %d failed\n", port, frameCount,
                static_cast<int>(roundTrips.size()), failures);
    if (!roundTrips.empty()) {
        std::sort(roundTrips.begin(), roundTrips.end());
        const size_t n = roundTrips.size();
        const double median =
            n % 2 ? roundTrips[n / 2] : (roundTrips[n / 2 - 1] + roundTrips[n / 2]) / 2.0;
        std::printf("round trip: median %.1f ms, best %.1f ms, worst %.1f ms\n", median,
                    roundTrips.front(), roundTrips.back());
    }
    std::printf("wire time: %.1f ms (19 bytes out and 19 back at 9600 baud 8N1)\n", wireMs);
    return failures == 0 ? 0 : 1;
}
