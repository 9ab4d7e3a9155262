// upload_bench <program.exe> [uploads] [long run] [starts]: drives the real program as an
// operator does. Times "Upload Parameters " from the click until the program has handled it
// ("Download Complete", file saved) against the good controller on COM1; the failure against the
// silent one on COM2 (click to the "Download Failed" box); the program's handles, GDI and USER
// objects and private bytes before and after a long run of uploads; and the time from start to
// a window ready for input (legend ticked), over several starts.
#include <windows.h>

#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "OperatorDriver.h"
#include "link/EchoRule.h"

namespace {

constexpr int kLegendOn = 1020, kPortList = 1009, kUploadButton = 1010, kUploadStatus = 1026;
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

struct Figures {
    double median, best, worst;
};

Figures Summarise(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front(), times.back()};
}

// What the program holds; a figure the system does not report reads 0.
struct Resources {
    DWORD handles = 0;
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
    SIZE_T privateBytes = 0;
    SIZE_T workingSet = 0;
};

// The system's process list, for the figures that the calls on a process handle leave out
// (Wine answers those only for the calling process).
void FillFromProcessList(DWORD processId, Resources& held) {
    using QueryFn = LONG(WINAPI*)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<unsigned char> buffer(4 << 20);
    if (!query || query(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                        nullptr) < 0) {
        return;
    }
    for (size_t offset = 0;;) {
        const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(&buffer[offset]);
        if (reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId) == processId) {
            held.handles = held.handles ? held.handles : entry->HandleCount;
            held.privateBytes = held.privateBytes ? held.privateBytes : entry->PrivatePageCount;
            held.workingSet =
                held.workingSet ? held.workingSet : entry->VirtualMemoryCounters.WorkingSetSize;
            return;
        }
        if (entry->NextEntryOffset == 0) {
            return;
        }
        offset += entry->NextEntryOffset;
    }
}

Resources ResourcesOf(const OperatorDriver& program) {
    Resources held;
    const HANDLE process = program.Process();
    if (!::GetProcessHandleCount(process, &held.handles)) {
        held.handles = 0;
    }
    held.gdiObjects = ::GetGuiResources(process, GR_GDIOBJECTS);
    held.userObjects = ::GetGuiResources(process, GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                               sizeof memory)) {
        held.privateBytes = memory.PrivateUsage;
        held.workingSet = memory.WorkingSetSize;
    }
    if (!held.handles || !held.privateBytes || !held.workingSet) {
        FillFromProcessList(program.ProcessId(), held);
    }
    return held;
}

void PrintResources(const char* when, const Resources& held) {
    std::printf("  %-8s %5lu handles, %4lu GDI objects, %4lu USER objects, %8.1f KiB private, "
                "%8.1f KiB working set\n",
                when, held.handles, held.gdiObjects, held.userObjects,
                static_cast<double>(held.privateBytes) / 1024.0,
                static_cast<double>(held.workingSet) / 1024.0);
}

// Uploads to the good controller; false when one of them did not complete.
bool TimeUploads(OperatorDriver& program, int count, std::vector<double>& times) {
    for (int i = 0; i < count; ++i) {
        const Stopwatch watch;
        program.ClickAndWaitForHandler(kUploadButton);
        if (program.Text(kUploadStatus) != L"Download Complete") {
            std::fprintf(stderr, "upload_bench: upload %d did not complete\n", i + 1);
            return false;
        }
        times.push_back(watch.Milliseconds());
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const int uploads = argc > 2 ? _wtoi(argv[2]) : 20;
    const int longRun = argc > 3 ? _wtoi(argv[3]) : 1000;
    const int starts = argc > 4 ? _wtoi(argv[4]) : 10;
    if (argc < 2 || uploads < 1 || longRun < 1 || starts < 1) {
        std::fprintf(stderr, "usage: upload_bench <program.exe> [uploads >= 1] [long run >= 1] "
                             "[starts >= 1]\n");
        return 2;
    }
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring dir = std::wstring(temp) + L"vkd37-upload-bench\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    std::ofstream((dir + L"InitialParameter.dll").c_str(), std::ios::binary)
        << kGoodPort << " 0 10 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ";

    std::vector<double> startTimes;
    for (int i = 0; i < starts; ++i) {
        const Stopwatch watch;
        const StartOutcome started = OperatorDriver::Start(argv[1], dir);
        if (!started) {
            std::fprintf(stderr, "upload_bench: %s\n", started.failure.text.c_str());
            return 1;
        }
        if (!WaitUntil(kOutcomeTimeoutMs, [&] { return started.program->IsChecked(kLegendOn); })) {
            std::fprintf(stderr, "upload_bench: the program's window did not become ready\n");
            return 1;
        }
        startTimes.push_back(watch.Milliseconds());
    }
    const Figures start = Summarise(startTimes);
    std::printf("start to a ready window: median %.0f ms, best %.0f ms, worst %.0f ms over %d "
                "starts\n",
                start.median, start.best, start.worst, starts);

    const StartOutcome started = OperatorDriver::Start(argv[1], dir);
    if (!started) {
        std::fprintf(stderr, "upload_bench: %s\n", started.failure.text.c_str());
        return 1;
    }
    OperatorDriver* const program = started.program.get();
    program->Restore();

    std::vector<double> times;
    if (!TimeUploads(*program, uploads, times)) {
        return 1;
    }
    const Figures upload = Summarise(times);
    std::printf("upload to the good controller, click to handled: median %.1f ms, best %.1f ms, "
                "worst %.1f ms over %d uploads (wire time %.1f ms)\n",
                upload.median, upload.best, upload.worst, uploads, kWireMs);

    const Resources before = ResourcesOf(*program);
    std::vector<double> longTimes;
    if (!TimeUploads(*program, longRun, longTimes)) {
        return 1;
    }
    const Resources after = ResourcesOf(*program);
    const Figures longFigures = Summarise(longTimes);
    std::printf("%d more uploads in the same run: median %.1f ms, worst %.1f ms\n", longRun,
                longFigures.median, longFigures.worst);
    PrintResources("before:", before);
    PrintResources("after:", after);

    program->ChooseListEntry(kPortList, kSilentPort);
    if (!program->WaitForText(1012, L"Suceed Open Serial Port", kOutcomeTimeoutMs)) {
        std::fprintf(stderr, "upload_bench: COM%d did not open\n", kSilentPort);
        return 1;
    }
    const Stopwatch watch;
    program->Click(kUploadButton);
    const OperatorDriver::Box box = program->WaitForBox(kOutcomeTimeoutMs);
    const double failureMs = watch.Milliseconds();
    if (!box.window) {
        std::fprintf(stderr, "upload_bench: no failure box from the silent controller\n");
        return 1;
    }
    program->Answer(box);
    std::printf("upload to a silent controller: \"Download Failed\" after %.0f ms "
                "(read time-out %u ms)\n",
                failureMs, LineTiming::TransferLimitMs(UploadFrame().size()));
    return 0;
}
