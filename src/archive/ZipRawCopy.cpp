// The saved record of an unchanged entry and the length of its local record
// in the tail copy of a commit.
#include "archive/ZipRawCopy.h"

#include <algorithm>
#include <span>
#include <vector>

#include "archive/ZipByteCursor.h"
#include "archive/ZipConst.h"
#include "platform/Errors.h"
#include "platform/Stream.h"

namespace archive {

namespace {

// A data descriptor: optional signature, CRC-32, then two sizes of 4 bytes
// (8 when the local header carries a Zip64 block).
constexpr std::size_t LongestDescriptor = 24;

std::vector<std::uint8_t> ReadAt(platform::TFileStream& stream, std::int64_t position,
                                 std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    stream.SetPosition(position);
    bytes.resize(stream.Read(bytes.data(), count));
    return bytes;
}

// True when an extra field holds a Zip64 block.
bool HasZip64Block(std::span<const std::uint8_t> extra) {
    TByteCursor in(extra);
    while (in.Remaining() >= 4) {
        const std::uint16_t id = in.U16();
        const std::uint16_t size = in.U16();
        if (id == Zip64ExtraId) {
            return true;
        }
        in.Skip(std::min<std::size_t>(size, in.Remaining()));
    }
    return false;
}

// The length of the data descriptor in `after` (the bytes that follow an
// entry's data). Its signature is optional: the first word is the
// signature unless it is the entry's CRC-32 and the second word is not.
std::size_t DescriptorLength(std::span<const std::uint8_t> after, std::uint32_t crc, bool zip64) {
    TByteCursor in(after);
    const std::uint32_t first = in.U32();
    const std::uint32_t second = in.U32();
    const bool signature = first == DataDescriptorSignature && !(first == crc && second != crc);
    const std::size_t length = (signature ? 4 : 0) + 4 + (zip64 ? 16 : 8);
    return std::min(length, after.size());
}

}  // namespace

int SavedIndexOf(const TZipDirArray& directory, const TZipDirArray& saved, int index) {
    const std::string& name = directory.ItemAt(index).Name;
    if (index < saved.Count() && saved.ItemAt(index).Name == name) {
        return index;
    }
    for (int k = 0; k < saved.Count(); ++k) {
        if (saved.ItemAt(k).Name == name) {
            return k;
        }
    }
    return -1;
}

std::int64_t LocalRecordLength(platform::TFileStream& tail, std::int64_t from,
                               const TDirItem& old) {
    const std::vector<std::uint8_t> headerBytes = ReadAt(tail, from, LocalHeaderSize);
    TByteCursor in(headerBytes);
    const TZipLocalHeader local = TZipLocalHeader::Decode(in);
    if (!in.Ok()) {
        throw platform::EReadError(platform::ERROR_HANDLE_EOF);
    }
    const std::int64_t dataStart = from + LocalHeaderSize + local.NameLength + local.ExtraLength;
    std::int64_t length = dataStart - from + static_cast<std::int64_t>(old.CompressedSize());
    if ((local.Flags & FlagDataDescriptor) != 0) {
        const std::vector<std::uint8_t> extra =
            ReadAt(tail, from + LocalHeaderSize + local.NameLength, local.ExtraLength);
        const std::vector<std::uint8_t> after = ReadAt(tail, from + length, LongestDescriptor);
        length += static_cast<std::int64_t>(
            DescriptorLength(after, old.Header.Crc32, HasZip64Block(extra)));
    }
    return length;
}

}  // namespace archive
