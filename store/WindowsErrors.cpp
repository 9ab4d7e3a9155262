#include "store/WindowsErrors.h"

#ifdef _WIN32
#include <windows.h>

static_assert(WindowsError::kSharingViolation == ERROR_SHARING_VIOLATION &&
                  WindowsError::kAccessDenied == ERROR_ACCESS_DENIED &&
                  WindowsError::kDiskFull == ERROR_DISK_FULL &&
                  WindowsError::kFileExists == ERROR_FILE_EXISTS &&
                  WindowsError::kAlreadyExists == ERROR_ALREADY_EXISTS &&
                  WindowsError::kUnableToMoveReplacement == ERROR_UNABLE_TO_MOVE_REPLACEMENT &&
                  WindowsError::kFileNotFound == ERROR_FILE_NOT_FOUND &&
                  WindowsError::kPathNotFound == ERROR_PATH_NOT_FOUND &&
                  WindowsError::kWriteProtect == ERROR_WRITE_PROTECT &&
                  WindowsError::kLockViolation == ERROR_LOCK_VIOLATION &&
                  WindowsError::kHandleDiskFull == ERROR_HANDLE_DISK_FULL &&
                  WindowsError::kNetworkAccessDenied == ERROR_NETWORK_ACCESS_DENIED &&
                  WindowsError::kDriveLocked == ERROR_DRIVE_LOCKED &&
                  WindowsError::kBadFileType == ERROR_BAD_FILE_TYPE &&
                  WindowsError::kFileTooLarge == ERROR_FILE_TOO_LARGE &&
                  WindowsError::kDirectory == ERROR_DIRECTORY &&
                  WindowsError::kUserMappedFile == ERROR_USER_MAPPED_FILE &&
                  WindowsError::kNotEnoughQuota == ERROR_NOT_ENOUGH_QUOTA &&
                  WindowsError::kFileReadOnly == ERROR_FILE_READ_ONLY,
              "the table holds Windows' own numbers");
#endif

// Wine gives ERROR_ACCESS_DENIED for EACCES, EPERM and EROFS, ERROR_DISK_FULL for ENOSPC and
// ERROR_SHARING_VIOLATION for EAGAIN; a quota (EDQUOT) or the size limit (EFBIG) it does not map,
// and they come as ERROR_GEN_FAILURE, which says nothing.
ErrorMeaning WindowsErrorMeaning(std::uint32_t error) {
    using namespace WindowsError;
    const auto meaning = [](FileFault fault, ErrorKind kind = ErrorKind::kOther) {
        return ErrorMeaning{fault, kind, true};
    };
    switch (error) {
    case kFileNotFound:
    case kPathNotFound:
        return meaning(FileFault::kOther, ErrorKind::kMissing);
    case kFileExists:
    case kAlreadyExists:
        return meaning(FileFault::kOther, ErrorKind::kExists);
    case kAccessDenied:
        return meaning(FileFault::kReadOnly, ErrorKind::kDenied);
    case kWriteProtect:
        return meaning(FileFault::kReadOnly, ErrorKind::kReadOnlyDisk);
    case kNetworkAccessDenied:
    case kFileReadOnly:
        return meaning(FileFault::kReadOnly);
    case kDiskFull:
    case kHandleDiskFull:
    case kDiskQuotaExceeded:
    case kNotEnoughQuota:
    case kFileTooLarge:
        return meaning(FileFault::kNoRoom);
    case kSharingViolation:
    case kLockViolation:
        return meaning(FileFault::kHeld, ErrorKind::kHeldForAMoment);
    case kUserMappedFile: // mapped by another program, which a write may not cut
    case kDriveLocked:
        return meaning(FileFault::kHeld);
    case kDirectory:
    case kBadFileType:
        return meaning(FileFault::kNotAFile);
    case kUnableToMoveReplacement:
        return meaning(FileFault::kOther, ErrorKind::kReplacementLeft);
    default:
        return meaning(FileFault::kOther);
    }
}
