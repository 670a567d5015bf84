// Inside the platform layer: the settings file replaced whole, in one
// rename, so that a reader finds the old content or the new, never a part.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Errors.h"

namespace platform {

// Replaces the file at `path` (resolved, links followed) with `content`:
// written to a temporary file beside it, flushed, given `mode` (the old
// file's; none for a new file, which gets what the umask leaves of 0666),
// renamed over the file, and the folder flushed. The temporary file has an
// unguessable name that tells which process made it, is made exclusively
// and is this user's alone while written; leftovers of replaces whose
// process has gone are removed first. Returns 0 or a Windows code; a failed
// replace leaves no temporary file of its own.
DWORD ReplaceWholeFile(const std::string& path, const std::string& content,
                       std::optional<mode_t> mode);

// The name of a temporary file for `fileName` made by process `pid`:
// fileName + "." + pid + "." + 16 hexadecimal digits + ".tmp".
std::string ReplacementName(const std::string& fileName, long pid, std::uint64_t number);

}  // namespace platform
