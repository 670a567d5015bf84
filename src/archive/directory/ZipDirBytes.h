// The central directory of an open archive as it was read, with where each
// central header starts in it. The entry list makes an entry from these
// bytes when the entry is first used, so an operation on a few entries of a
// large archive (extracting its manifest) pays for those entries only, and
// the names of the others are read here without an entry being made.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "archive/names/ZipNameCodec.h"
#include "platform/LargeBlocks.h"

namespace platform {
class TFileStream;
}

namespace archive {

struct TDirItem;
class TZipDirArray;

class DirectoryBytes {
  public:
    // `oemFileNames`: how stored names are read, fixed for the whole
    // directory when it is read.
    explicit DirectoryBytes(bool oemFileNames) : codec_(oemFileNames) {}

    // Reads `count` central headers from `start` of `stream`, within `size`
    // bytes; false when they do not fit there. Only the bytes the headers
    // take are kept.
    bool Read(platform::TFileStream& stream, std::int64_t start, std::uint64_t size,
              std::uint64_t count);

    int Count() const { return static_cast<int>(starts_.size()); }
    // The entries whose names go through the code pages, in order.
    const std::vector<int>& ConvertedNames() const { return converted_; }
    // The name bytes of header `index` as stored.
    std::string_view StoredName(int index) const;
    std::uint32_t ExternalAttributes(int index) const;
    // Makes `item`, entry `index` of `directory`, from its header: the
    // header fields, the name (keyed by `directory`), the extra blocks and
    // the comment.
    void Fill(TZipDirArray& directory, int index, TDirItem& item) const;

  private:
    // True when a stored name is the entry's name as it is: plain ASCII
    // that no conversion changes.
    bool IsStoredAsIs(std::string_view stored) const { return codec_.Plain(stored); }
    // The bytes of header `index`: the fixed part, then name, extra field
    // and comment.
    std::span<const std::uint8_t> Header(int index) const;
    // Makes sure bytes [0, end) have been read; false when the directory or
    // the file ends first.
    bool ReadUpTo(std::size_t end);

    std::span<const std::uint8_t> Bytes() const { return {bytes_.data(), size_}; }

    EntryNameCodec codec_;
    platform::ByteBlock bytes_;  // the headers' bytes, of which size_ are read
    std::size_t size_ = 0;
    std::vector<std::uint64_t> starts_;  // where each header starts in bytes_
    std::vector<int> converted_;         // the entries whose names are not stored as they are
    // While reading: the stream, and the directory bytes not yet read.
    platform::TFileStream* stream_ = nullptr;
    std::uint64_t unread_ = 0;
};

// Gives `item` (entry `index` of `directory`) the extra blocks of `bytes`,
// cut to what they hold, and the Zip64 values of the fields that hold
// their markers.
void ReadExtraFields(TDirItem& item, std::span<const std::uint8_t> bytes);

}  // namespace archive
