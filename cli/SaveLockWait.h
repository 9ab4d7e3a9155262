#pragma once

#include <string>

#include "store/FileOutcome.h"

// The wait for the file's lock, or a lease, that another program holds: said once it lasts
// (another save, or another batch's record line, holds the lock for milliseconds), ended at once
// by a stop signal, before anything has changed.
LockWait SaveLockWait(const std::string& file);
