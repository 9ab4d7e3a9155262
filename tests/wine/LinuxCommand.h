#pragma once

// A command of the Linux side of the Wine bench, run from a Windows test: what only Linux can do
// there (take a port's link away and give it back) or what only runs there (node).

#include <windows.h>

#include <optional>
#include <string>

#include "Scratch.h"
#include "SimulatorLog.h"

// The Linux path of a Windows one, as Wine maps it; empty when it cannot.
inline std::string LinuxPath(const std::wstring& path) {
    using Convert = char*(CDECL*)(const wchar_t*);
    const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* linuxPath = convert ? convert(path.c_str()) : nullptr;
    if (!linuxPath) {
        return {};
    }
    std::string converted = linuxPath;
    ::HeapFree(::GetProcessHeap(), 0, linuxPath);
    return converted;
}

// What the command wrote to its standard output and error, once it has ended; nothing when it
// did not end within the time. Wine starts a Linux program that is asked for by its path, but
// hands back neither its process nor its output, so the shell writes both to files of the bench
// folder, the status last. The command reaches `sh -c` as one argument in double quotes, as
// Windows parses a command line: it must hold none.
inline std::optional<std::string> RunOnLinux(const std::string& command, DWORD timeoutMs,
                                             int* status = nullptr) {
    static int runs = 0;
    const std::string output = BenchDir() + "/linux-" + std::to_string(::GetCurrentProcessId()) +
                               "-" + std::to_string(++runs);
    const std::string script = "{ " + command + "; } >" + output + ".out 2>&1; echo $? >" + output +
                               ".tmp; mv " + output + ".tmp " + output + ".status";
    std::wstring commandLine = L"/bin/sh -c \"";
    for (const char c : script) {
        commandLine += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    commandLine += L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &started)) {
        return std::nullopt;
    }
    // A Linux process has no Windows handles to close; should Wine ever give some, they go.
    for (const HANDLE handle : {started.hProcess, started.hThread}) {
        if (handle) {
            ::CloseHandle(handle);
        }
    }
    const auto windowsPath = [](const std::string& linuxPath) {
        std::wstring path = L"Z:";
        for (const char c : linuxPath) {
            path += static_cast<wchar_t>(static_cast<unsigned char>(c));
        }
        return path;
    };
    const std::wstring statusFile = windowsPath(output + ".status");
    for (const DWORD start = ::GetTickCount();
         ::GetFileAttributesW(statusFile.c_str()) == INVALID_FILE_ATTRIBUTES;) {
        if (::GetTickCount() - start >= timeoutMs) {
            return std::nullopt;
        }
        ::Sleep(10);
    }
    if (status) {
        *status = std::stoi("0" + ReadWholeFile(statusFile));
    }
    std::string text = ReadWholeFile(windowsPath(output + ".out"));
    ::DeleteFileW(statusFile.c_str());
    ::DeleteFileW(windowsPath(output + ".out").c_str());
    return text;
}
