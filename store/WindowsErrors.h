#pragma once

// What Windows' error codes mean to the store, by their documented numbers: the Win32 twin and a
// test's file system that plays Windows read them alike.

#include <cstdint>

#include "store/FileSystem.h"

namespace WindowsError {
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kPathNotFound = 3;
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kWriteProtect = 19;
constexpr std::uint32_t kSharingViolation = 32;
constexpr std::uint32_t kLockViolation = 33;
constexpr std::uint32_t kHandleDiskFull = 39;
constexpr std::uint32_t kNetworkAccessDenied = 65;
constexpr std::uint32_t kFileExists = 80;
constexpr std::uint32_t kDriveLocked = 108;
constexpr std::uint32_t kDiskFull = 112;
constexpr std::uint32_t kAlreadyExists = 183;
constexpr std::uint32_t kBadFileType = 222;
constexpr std::uint32_t kFileTooLarge = 223;
constexpr std::uint32_t kDirectory = 267;
constexpr std::uint32_t kUnableToMoveReplacement = 1176;
constexpr std::uint32_t kUserMappedFile = 1224;
constexpr std::uint32_t kDiskQuotaExceeded = 1295;
constexpr std::uint32_t kNotEnoughQuota = 1816; // a share's quota
constexpr std::uint32_t kFileReadOnly = 6009;
} // namespace WindowsError

// Where no new file can be made beside the file, or it cannot take the name, for whatever reason
// (a folder that refuses, a full disk or quota, a name too long, ReplaceFileW refused), the old
// file, which has its room already, is written in place: every error gives way.
ErrorMeaning WindowsErrorMeaning(std::uint32_t error);
