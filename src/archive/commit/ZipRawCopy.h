// What copying an unchanged entry raw from the old archive needs to know:
// which saved record is the entry's, and how many bytes its local record
// takes there.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "archive/directory/ZipDirArray.h"

namespace platform {
class TFileStream;
}

namespace archive {

// The saved record of entry `index`: the one at the same place when it has
// the same name (names may repeat), else the first of that name; -1 when
// there is none.
int SavedIndexOf(const TZipDirArray& directory, const TZipDirArray& saved, int index);

// Reads the headers of old records in the archive through a window, so that the
// records of many small entries cost one read, not one each. The file does
// not change while it is read so.
class RecordReader {
  public:
    explicit RecordReader(platform::TFileStream& file) : file_(file) {}
    // Up to `count` bytes at `position`; fewer at the end of the file.
    std::span<const std::uint8_t> Read(std::int64_t position, std::size_t count);

  private:
    // The window starts small, for the one header a plan looks at, and
    // doubles with every move up to its full size, for runs of many records.
    static constexpr std::size_t FirstWindow = 0x1000;
    static constexpr std::size_t Window = 0x10000;
    platform::TFileStream& file_;
    // Not zero-filled: only the bytes read into it are looked at.
    std::unique_ptr<std::uint8_t[]> window_;
    std::size_t capacity_ = 0;
    std::size_t filled_ = 0;
    std::size_t nextWindow_ = FirstWindow;
    std::int64_t windowStart_ = -1;
};

// The length of the local record of `old` at `from` in the old archive: local
// header, name, extra field, data and data descriptor. Raises EReadError
// when the local header cannot be read whole, and native error 8 when no
// local header is there.
std::int64_t LocalRecordLength(RecordReader& records, std::int64_t from, const TDirItem& old);

}  // namespace archive
