// The process's file mode creation mask, read without changing it: umask()
// would change it for a moment under other threads making files.
#pragma once

#include <sys/types.h>

namespace platform {

// The mask now; the common 022 when it cannot be read.
mode_t CurrentUmask();

// The mask as the first call found it. Nothing in the program changes its
// mask, so that holds for the process's life, and a new file of each commit
// takes its mode from it without reading it again.
mode_t ProcessUmask();

}  // namespace platform
