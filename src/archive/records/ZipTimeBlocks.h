// The extra blocks that carry an entry's times besides its MS-DOS stamp: the
// extended timestamp (0x5455) and the NTFS times (0x000A). When an entry's
// data is replaced, they are made to tell the new time.
#pragma once

#include <vector>

#include "archive/directory/ZipDirArray.h"
#include "platform/Files.h"

namespace archive {

inline constexpr std::uint16_t ExtendedTimestampId = 0x5455;
inline constexpr std::uint16_t NtfsTimesId = 0x000A;

// Sets the modification time in every time block of `fields` to `modified`;
// a time block that cannot hold it is dropped, as are all of them when the
// time is unknown (null).
void RestampTimeBlocks(std::vector<ExtraField>& fields, const platform::FileTime* modified);

}  // namespace archive
