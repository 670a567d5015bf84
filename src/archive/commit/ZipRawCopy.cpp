// The saved record of an unchanged entry and the length of its local record
// in the old archive.
#include "archive/commit/ZipRawCopy.h"

#include <algorithm>
#include <span>

#include "archive/ZipConst.h"
#include "archive/ZipExcept.h"
#include "archive/records/ZipByteCursor.h"
#include "platform/Errors.h"
#include "platform/Stream.h"

namespace archive {

namespace {

// A data descriptor: optional signature, CRC-32, then two sizes of 4 bytes
// (8 when the local header carries a Zip64 block).
constexpr std::size_t LongestDescriptor = 24;

// True when an extra field holds a Zip64 block.
bool HasZip64Block(std::span<const std::uint8_t> extra) {
    ByteCursor in(extra);
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
    ByteCursor in(after);
    const std::uint32_t first = in.U32();
    const std::uint32_t second = in.U32();
    const bool signature = first == DataDescriptorSignature && !(first == crc && second != crc);
    const std::size_t length = (signature ? 4 : 0) + 4 + (zip64 ? 16 : 8);
    return std::min(length, after.size());
}

}  // namespace

std::span<const std::uint8_t> RecordReader::Read(std::int64_t position, std::size_t count) {
    const auto inWindow = [&] {
        return windowStart_ >= 0 && position >= windowStart_ &&
               static_cast<std::uint64_t>(position - windowStart_) + count <= filled_;
    };
    if (!inWindow()) {
        // The window starts at the bytes asked for; at the end of the file
        // it holds fewer.
        const std::size_t wanted = std::max(nextWindow_, count);
        nextWindow_ = std::min(nextWindow_ * 2, Window);
        if (capacity_ < wanted) {
            window_ = std::make_unique_for_overwrite<std::uint8_t[]>(wanted);
            capacity_ = wanted;
        }
        file_.SetPosition(position);
        filled_ = file_.Read(window_.get(), wanted);
        windowStart_ = position;
    }
    const auto offset = static_cast<std::size_t>(position - windowStart_);
    const std::size_t start = std::min(offset, filled_);
    return std::span<const std::uint8_t>(window_.get() + start, std::min(count, filled_ - start));
}

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

std::int64_t LocalRecordLength(RecordReader& records, std::int64_t from, const TDirItem& old) {
    ByteCursor in(records.Read(from, LocalHeaderSize));
    const LocalFileHeader local = LocalFileHeader::Decode(in);
    if (!in.Ok()) {
        throw platform::EReadError(platform::ERROR_HANDLE_EOF);
    }
    // No local header where the directory points: the bytes there are not
    // this entry's, and copying them would only pass the damage on.
    if (local.Signature != LocalHeaderSignature) {
        throw EZipException(native::CorruptedEntry, nullptr);
    }
    const std::int64_t dataStart = from + LocalHeaderSize + local.NameLength + local.ExtraLength;
    std::int64_t length = dataStart - from + static_cast<std::int64_t>(old.CompressedSize());
    if ((local.Flags & FlagDataDescriptor) != 0) {
        // The extra field is looked at before the window moves on.
        const bool zip64 = HasZip64Block(
            records.Read(from + LocalHeaderSize + local.NameLength, local.ExtraLength));
        length += static_cast<std::int64_t>(DescriptorLength(
            records.Read(from + length, LongestDescriptor), old.Header.Crc32, zip64));
    }
    return length;
}

}  // namespace archive
