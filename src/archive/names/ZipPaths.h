// Paths of the files behind entries: where a refreshed entry's file is
// looked up, the name a file is stored under, whether an entry name stays
// inside the destination folder, and whether a path lies on removable media.
// Paths use "/" or "\" between folders; results use the platform delimiter.
#pragma once

#include <string>
#include <string_view>

#include "archive/ZipTypes.h"

namespace archive {

// An absolute path for `name` against `base`:
// - a name holding ":" or starting with two delimiters is returned as it is;
// - a name starting with a delimiter is expanded from the root;
// - any other non-empty name is appended to `base` (or `currentFolder` when
//   `base` is empty) and expanded ("." and ".." resolved);
// - an empty name gives `base` itself when it holds ":" or is not an
//   existing folder, else `base` expanded, with a trailing delimiter.
// An empty `currentFolder` means the process's current folder.
std::string ResolvePath(const std::string& base, const std::string& name,
                        const std::string& currentFolder = {});

// The entry name a file at `path` is stored under, relative to `base` for
// spRelativePath, with "/" separators and no drive, server or leading
// delimiter (spFullPathWithDrive keeps the absolute path).
std::string MakeStoredName(const std::string& path, const std::string& base,
                           TZipStorePathMode mode);

// True when the drive of `path`, upper-cased, is "A:" or "B:".
bool IsRemovablePath(const std::string& path);

// True when an entry name (either delimiter) names a place inside the
// destination folder: not absolute, no drive or ":" anywhere, no server
// prefix, no ".." component.
bool IsContainedEntryName(std::string_view name);

}  // namespace archive
