#include "archive/directory/ZipDirBytes.h"

#include <algorithm>
#include <string>

#include "archive/directory/ZipDirArray.h"
#include "archive/records/ZipRecords.h"
#include "platform/Stream.h"

namespace archive {

namespace {

// The longest central header: the fixed part and three fields of up to
// 65,535 bytes each.
constexpr std::uint64_t LongestCentralHeader = CentralHeaderSize + 3 * 0xFFFFull;
// A first guess at the bytes a header takes in a JAR (a name of 40 to 60
// bytes, a short extra field); the buffer doubles when it is short.
constexpr std::uint64_t TypicalCentralHeader = 128;

std::uint16_t U16At(std::span<const std::uint8_t> header, std::size_t at) {
    return ByteCursor::LoadU16(header.data() + at);
}

// The bytes after the fixed part of a header: name, extra field, comment.
std::size_t VariableLength(std::span<const std::uint8_t> fixedPart) {
    return std::size_t{U16At(fixedPart, CentralNameLengthAt)} +
           U16At(fixedPart, CentralExtraLengthAt) + U16At(fixedPart, CentralCommentLengthAt);
}

}  // namespace

bool DirectoryBytes::Read(platform::TFileStream& stream, std::int64_t start, std::uint64_t size,
                          std::uint64_t count) {
    stream.Seek(start, platform::SeekOrigin::soBeginning);
    stream_ = &stream;
    // No header reaches past its longest form, so a forged size does not
    // make the buffer larger than the headers can take.
    unread_ = std::min(size, count * LongestCentralHeader);
    bytes_ = platform::ByteBlock(
        static_cast<std::size_t>(std::min(unread_, count * TypicalCentralHeader)));
    size_ = 0;
    starts_.reserve(static_cast<std::size_t>(count));
    std::size_t at = 0;
    bool ok = true;
    for (std::uint64_t i = 0; ok && i < count; ++i) {
        ok = (at + CentralHeaderSize <= size_ || ReadUpTo(at + CentralHeaderSize));
        if (ok) {
            const std::size_t end =
                at + CentralHeaderSize + VariableLength(Bytes().subspan(at, CentralHeaderSize));
            ok = end <= size_ || ReadUpTo(end);
            starts_.push_back(at);
            if (ok && !IsStoredAsIs(StoredName(static_cast<int>(i)))) {
                converted_.push_back(static_cast<int>(i));
            }
            at = end;
        }
    }
    stream_ = nullptr;
    if (!ok) {
        starts_.clear();
        converted_.clear();
        at = 0;
    }
    // Bytes read past the last header are not kept.
    size_ = at;
    return ok;
}

bool DirectoryBytes::ReadUpTo(std::size_t end) {
    if (end <= size_) {
        return true;
    }
    const std::uint64_t want = end - size_;
    if (want > unread_) {
        return false;
    }
    // At least what is asked, at most what is left: the first read fills
    // the first guess, later ones double what there is.
    const auto step = static_cast<std::size_t>(std::min(
        unread_, std::max<std::uint64_t>(want, std::max(bytes_.size(), 2 * size_) - size_)));
    if (size_ + step > bytes_.size()) {
        platform::ByteBlock larger(size_ + step);
        std::copy_n(bytes_.data(), size_, larger.data());
        bytes_ = std::move(larger);
    }
    const std::size_t got = stream_->Read(bytes_.data() + size_, step);
    size_ += got;
    unread_ -= got;
    return got == step;
}

std::span<const std::uint8_t> DirectoryBytes::Header(int index) const {
    const std::size_t start = starts_[static_cast<std::size_t>(index)];
    const std::size_t end = static_cast<std::size_t>(index) + 1 < starts_.size()
                                ? starts_[static_cast<std::size_t>(index) + 1]
                                : size_;
    return Bytes().subspan(start, end - start);
}

std::string_view DirectoryBytes::StoredName(int index) const {
    const std::span<const std::uint8_t> header = Header(index);
    return {reinterpret_cast<const char*>(header.data()) + CentralHeaderSize,
            U16At(header, CentralNameLengthAt)};
}

std::uint32_t DirectoryBytes::ExternalAttributes(int index) const {
    return ByteCursor::LoadU32(Header(index).data() + CentralExternalAttributesAt);
}

void DirectoryBytes::Fill(TZipDirArray& directory, int index, TDirItem& item) const {
    ByteCursor in(Header(index));
    item.Header = CentralFileHeader::Decode(in);
    const CentralFileHeader& h = item.Header;
    const auto name = in.Bytes(h.NameLength);
    std::string stored(name.begin(), name.end());
    if (codec_.Plain(stored)) {
        // A plain-ASCII name is the same in UTF-8, in the code pages and as
        // stored.
        directory.SetItemUtf8Name(index, std::move(stored), codec_);
    } else {
        // Any other goes through the conversions, and its bytes are kept
        // when the name would not give them back.
        directory.SetItemStoredName(index, stored, h.Flags, codec_);
        if (codec_.Utf8ToStored(item.Name, h.Flags) != stored) {
            item.SetStoredName(std::move(stored));
        }
    }
    if (h.ExtraLength != 0) {
        ReadExtraFields(item, in.Bytes(h.ExtraLength));
    }
    if (h.CommentLength != 0) {
        item.SetComment(in.String(h.CommentLength));
    }
}

void ReadExtraFields(TDirItem& item, std::span<const std::uint8_t> bytes) {
    ByteCursor extra(bytes);
    while (extra.Ok() && extra.Remaining() >= 4) {
        ExtraField field;
        field.Id = extra.U16();
        const std::uint16_t declared = extra.U16();
        const auto data = extra.Bytes(std::min<std::size_t>(declared, extra.Remaining()));
        field.Data.assign(data.begin(), data.end());
        if (field.Id == Zip64ExtraId) {
            ByteCursor z(field.Data);
            const CentralFileHeader& h = item.Header;
            if (h.UncompressedSize == Zip64Marker32 && z.Remaining() >= 8) {
                item.EditZip64().Size = z.U64();
            }
            if (h.CompressedSize == Zip64Marker32 && z.Remaining() >= 8) {
                item.EditZip64().PackedSize = z.U64();
            }
            if (h.LocalHeaderOffset == Zip64Marker32 && z.Remaining() >= 8) {
                item.EditZip64().Offset = z.U64();
            }
            if (h.DiskNumberStart == Zip64Marker16 && z.Remaining() >= 2) {
                item.EditZip64().Disk = z.U16();
            }
            item.HasZip64 = true;
        }
        item.EditExtraFields().push_back(std::move(field));
    }
}

}  // namespace archive
