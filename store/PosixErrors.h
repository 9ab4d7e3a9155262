#pragma once

// What POSIX error codes (errno) mean to the store: the POSIX twin reads them here, and so may a
// test's file system that plays a POSIX system.

#include "store/FileSystem.h"

ErrorMeaning PosixErrorMeaning(int error);
