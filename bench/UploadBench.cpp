// upload_bench <program.exe> [uploads]: drives the real program as an operator does and times
// "Upload Parameters " from the click to "Download Complete" against the good controller on
// COM1, then the failure against the silent one on COM2 (click to the "Download Failed" box).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "OperatorDriver.h"

namespace {

constexpr int kPortList = 1009, kUploadButton = 1010, kUploadStatus = 1026;
constexpr int kGoodPort = 1, kSilentPort = 2;
constexpr double kWireMs = 2 * 19 * 10 * 1000.0 / 9600.0; // frame out and back, 10 bits a byte

class Stopwatch {
public:
    Stopwatch() {
        ::QueryPerformanceFrequency(&frequency_);
        ::QueryPerformanceCounter(&start_);
    }
    double Milliseconds() const {
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) /
               static_cast<double>(frequency_.QuadPart);
    }

private:
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
};

// Read without a message: the program's window is busy while it sends.
std::wstring StatusText(HWND dialog) {
    wchar_t text[64] = {};
    ::GetWindowTextW(::GetDlgItem(dialog, kUploadStatus), text, 64);
    return text;
}

template <class Condition> bool Spin(double limitMs, Condition done) {
    const Stopwatch watch;
    while (!done()) {
        if (watch.Milliseconds() > limitMs) {
            return false;
        }
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int uploads = argc > 2 ? _wtoi(argv[2]) : 20;
    if (argc < 2 || uploads < 1) {
        std::fprintf(stderr, "usage: upload_bench <program.exe> [uploads >= 1]\n");
        return 2;
    }
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring dir = std::wstring(temp) + L"vkd37-upload-bench\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    std::ofstream((dir + L"InitialParameter.dll").c_str(), std::ios::binary)
        << kGoodPort << " 0 10 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ";

    auto program = OperatorDriver::Start(argv[1], dir);
    if (!program) {
        std::fprintf(stderr, "upload_bench: the program's window did not appear\n");
        return 1;
    }
    program->Restore();
    const HWND dialog = program->MainWindow();

    std::vector<double> times;
    for (int i = 0; i < uploads; ++i) {
        const Stopwatch watch;
        program->Click(kUploadButton);
        const bool done =
            Spin(5000, [&] { return StatusText(dialog) == L"Uploading\u2026\u2026"; }) &&
            Spin(5000, [&] { return StatusText(dialog) == L"Download Complete"; });
        if (!done) {
            std::fprintf(stderr, "upload_bench: upload %d did not complete\n", i + 1);
            return 1;
        }
        times.push_back(watch.Milliseconds());
        ::Sleep(50); // the save after the upload, and a quiet line
    }
    std::sort(times.begin(), times.end());
    std::printf("upload to the good controller: median %.1f ms, best %.1f ms, worst %.1f ms over "
                "%d uploads (wire time %.1f ms)\n",
                times[times.size() / 2], times.front(), times.back(), uploads, kWireMs);

    program->ChooseListEntry(kPortList, kSilentPort);
    ::Sleep(500);
    const Stopwatch watch;
    program->Click(kUploadButton);
    const OperatorDriver::Box box = program->WaitForBox(10000);
    const double failureMs = watch.Milliseconds();
    if (!box.window) {
        std::fprintf(stderr, "upload_bench: no failure box from the silent controller\n");
        return 1;
    }
    program->Answer(box);
    std::printf("upload to a silent controller: \"Download Failed\" after %.0f ms "
                "(read time-out 1050 ms)\n",
                failureMs);
    return 0;
}
