#pragma once

#include <cstdio>

#include "platform/UniqueHandle.h"

// The kinds of handle our code owns, each with its "no handle" value and its release.

struct StdioFileTraits {
    using Handle = std::FILE*;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle file) { return std::fclose(file) == 0; }
};
using StdioFile = UniqueHandle<StdioFileTraits>;

// fopen for a UTF-8 path.
StdioFile OpenStdioFile(const char* path, const char* mode);

#ifdef _WIN32
#include <windows.h>

// Kernel objects released with CloseHandle. CreateFileW reports "none" as INVALID_HANDLE_VALUE,
// OpenProcess and most other calls as null.
template <bool kNoneIsAllBits> struct CloseHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return kNoneIsAllBits ? INVALID_HANDLE_VALUE : nullptr; }
    static bool Close(Handle handle) { return ::CloseHandle(handle) != FALSE; }
};
using FileHandle = UniqueHandle<CloseHandleTraits<true>>;
using KernelHandle = UniqueHandle<CloseHandleTraits<false>>;

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle search) { return ::FindClose(search) != FALSE; }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle key) { return ::RegCloseKey(key) == ERROR_SUCCESS; }
};
using RegistryKey = UniqueHandle<RegistryKeyTraits>;

#include "platform/Text.h"

inline StdioFile OpenStdioFile(const char* path, const char* mode) {
    return StdioFile(::_wfopen(Wide(path).c_str(), Wide(mode).c_str()));
}
#else
#include <cerrno>

#include <unistd.h>

struct FdTraits {
    using Handle = int;
    static Handle Invalid() { return -1; }
    static bool Close(Handle fd) { return ::close(fd) == 0; }
};
using UniqueFd = UniqueHandle<FdTraits>;

inline StdioFile OpenStdioFile(const char* path, const char* mode) {
    return StdioFile(std::fopen(path, mode));
}

// A call interrupted by a signal or refused for now on a non-blocking descriptor: try again.
inline bool IsTransient(int error) {
    return error == EINTR || error == EAGAIN || error == EWOULDBLOCK;
}
#endif
