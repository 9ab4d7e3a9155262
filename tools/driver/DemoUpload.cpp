// Headless demo: starts the program, presses "Upload Parameters " once, reports the outcome,
// and keeps the window open until the file named by the third argument appears (the demo script
// takes its screenshot meanwhile), at most a minute.
#include <windows.h>

#include <cstdio>
#include <string>

#include "OperatorDriver.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: vkd37-demo-upload <program.exe> <work dir> <done file>\n");
        return 2;
    }
    const StartOutcome started = OperatorDriver::Start(argv[1], argv[2]);
    if (!started) {
        std::fprintf(stderr, "vkd37-demo-upload: %s\n", started.failure.text.c_str());
        return 1;
    }
    OperatorDriver* const program = started.program.get();
    program->Restore();
    constexpr int kUploadButton = 1010, kUploadStatus = 1026, kPortStatus = 1012;
    std::wstring portStatus = program->Text(kPortStatus);
    std::printf("port status: %ls\n", portStatus.c_str());
    program->Click(kUploadButton);
    const bool complete =
        program->WaitForText(kUploadStatus, L"Download Complete", kOutcomeTimeoutMs);
    if (!complete) {
        const OperatorDriver::Box box = program->WaitForBox(kOutcomeTimeoutMs);
        if (box.window) {
            program->Answer(box);
        }
    }
    std::printf("upload status: %ls\n", program->Text(kUploadStatus).c_str());
    std::fflush(stdout);
    WaitUntil(60000, [&] { return ::GetFileAttributesW(argv[3]) != INVALID_FILE_ATTRIBUTES; });
    return complete ? 0 : 1;
}
