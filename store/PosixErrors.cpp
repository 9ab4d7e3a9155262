#include "store/PosixErrors.h"

#include <cerrno>

// A step that cannot be taken for this user or folder, for a mount point of its own (a
// container's volume: EBUSY, EXDEV), a name too long or want of room for a second copy gives
// way to writing the file in place.
ErrorMeaning PosixErrorMeaning(int error) {
    constexpr struct {
        int error;
        ErrorMeaning meaning;
    } kMeanings[] = {
        {ENOENT, {FileFault::kOther, ErrorKind::kMissing, false}},
        {EEXIST, {FileFault::kOther, ErrorKind::kExists, false}},
        {EACCES, {FileFault::kReadOnly, ErrorKind::kDenied, true}},
        {EPERM, {FileFault::kReadOnly, ErrorKind::kDenied, true}},
        {EROFS, {FileFault::kReadOnly, ErrorKind::kReadOnlyDisk, false}},
        {ENOSPC, {FileFault::kNoRoom, ErrorKind::kOther, true}},
        {EDQUOT, {FileFault::kNoRoom, ErrorKind::kOther, true}},
        {EFBIG, {FileFault::kNoRoom, ErrorKind::kOther, false}},
        {EISDIR, {FileFault::kNotAFile, ErrorKind::kOther, false}},
        {ENXIO, {FileFault::kNotAFile, ErrorKind::kOther, false}},
        {ENODEV, {FileFault::kNotAFile, ErrorKind::kOther, false}},
        {EWOULDBLOCK, {FileFault::kHeld, ErrorKind::kLeased, false}}, // or a mandatory lock
        {ETXTBSY, {FileFault::kHeld, ErrorKind::kOther, false}},
        {EBUSY, {FileFault::kHeld, ErrorKind::kOther, true}},
        {EXDEV, {FileFault::kOther, ErrorKind::kOther, true}},
        {ENAMETOOLONG, {FileFault::kOther, ErrorKind::kOther, true}},
    };
    for (const auto& known : kMeanings) {
        if (known.error == error) {
            return known.meaning;
        }
    }
    return {};
}
