// Inside the platform layer: Windows file sharing between opens of one file,
// in this and other processes, with open-file-description locks on two
// marker bytes far beyond any real file size. Other programs take no part.
#pragma once

#include "platform/Errors.h"

namespace platform {

// Marks the open file description of `fd` (opened for reading) as holding
// write access and/or denying write access to others, then checks the marks
// of every other open. Returns 0, or ERROR_SHARING_VIOLATION when an open
// that denies writing meets one that writes, either way round; the caller
// then closes `fd`, which drops the marks.
DWORD TakeShareLocks(int fd, bool writeAccess, bool denyWrite);

}  // namespace platform
