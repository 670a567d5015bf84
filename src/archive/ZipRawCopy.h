// What copying an unchanged entry back from the tail copy needs to know:
// which saved record is the entry's, and how many bytes its local record
// takes in the tail copy.
#pragma once

#include <cstdint>

#include "archive/ZipDirArray.h"

namespace platform {
class TFileStream;
}

namespace archive {

// The saved record of entry `index`: the one at the same place when it has
// the same name (names may repeat), else the first of that name; -1 when
// there is none.
int SavedIndexOf(const TZipDirArray& directory, const TZipDirArray& saved, int index);

// The length of the local record of `old` at `from` in the tail copy: local
// header, name, extra field, data and data descriptor. Raises EReadError
// when the local header cannot be read whole.
std::int64_t LocalRecordLength(platform::TFileStream& tail, std::int64_t from, const TDirItem& old);

}  // namespace archive
