// Writing the central directory back: the central headers through a
// bounded buffer, then the Zip64 records when the sizes or the count need
// them, then the end record with the archive comment.
#include <algorithm>
#include <string_view>
#include <vector>

#include "archive/ZipArchiver.h"
#include "archive/ZipConst.h"
#include "archive/ZipExcept.h"
#include "archive/directory/ZipDirManager.h"
#include "archive/names/ZipNameCodec.h"
#include "platform/Stream.h"

namespace archive {

namespace {

using Bytes = std::vector<std::uint8_t>;

// The length of the Zip64 extra block a central header needs: one value for
// each field that holds its marker, with the block's own header; 0 when none
// does.
std::uint32_t Zip64ExtraLength(const CentralFileHeader& h) {
    std::uint32_t length = 0;
    if (h.UncompressedSize == Zip64Marker32) {
        length += 8;
    }
    if (h.CompressedSize == Zip64Marker32) {
        length += 8;
    }
    if (h.LocalHeaderOffset == Zip64Marker32) {
        length += 8;
    }
    if (h.DiskNumberStart == Zip64Marker16) {
        length += 4;
    }
    return length == 0 ? 0 : length + 4;
}

// Only kept blocks and a Zip64 block that is needed count.
std::uint32_t ExtraLength(const TDirItem& item, std::uint32_t zip64Length) {
    std::uint32_t length = zip64Length;
    for (const ExtraField& field : item.ExtraFields()) {
        if (field.Id != Zip64ExtraId) {
            length += 4 + static_cast<std::uint32_t>(field.Data.size());
        }
    }
    return length;
}

void EncodeZip64Extra(const TDirItem& item, std::uint32_t zip64Length, ByteWriter& out) {
    const CentralFileHeader& h = item.Header;
    out.U16(Zip64ExtraId);
    out.U16(static_cast<std::uint16_t>(zip64Length - 4));
    if (h.UncompressedSize == Zip64Marker32) {
        out.U64(item.Zip64().Size);
    }
    if (h.CompressedSize == Zip64Marker32) {
        out.U64(item.Zip64().PackedSize);
    }
    if (h.LocalHeaderOffset == Zip64Marker32) {
        out.U64(item.Zip64().Offset);
    }
    if (h.DiskNumberStart == Zip64Marker16) {
        out.U32(item.Zip64().Disk);
    }
}

void EncodeKeptExtraFields(const TDirItem& item, ByteWriter& out) {
    for (const ExtraField& field : item.ExtraFields()) {
        if (field.Id != Zip64ExtraId) {
            out.U16(field.Id);
            out.U16(static_cast<std::uint16_t>(field.Data.size()));
            out.Bytes(field.Data);
        }
    }
}

// What the lengths the headers hold add up to, so that a large directory is
// not copied into a twice larger buffer on the way (the buffer grows if they
// fall short).
std::size_t ExpectedDirectorySize(const TZipDirArray& directory) {
    std::size_t expected = 0;
    for (int i = 0; i < directory.Count(); ++i) {
        const CentralFileHeader& h = directory.ItemAt(i).Header;
        expected += CentralHeaderSize + h.NameLength + h.ExtraLength + h.CommentLength;
    }
    return expected;
}

EndOfCentralDirectory MakeEndRecord(std::uint64_t count, std::uint64_t directorySize,
                                    std::int64_t start, const std::string& comment) {
    EndOfCentralDirectory record;
    record.EntriesOnDisk = count > 0xFFFE ? Zip64Marker16 : static_cast<std::uint16_t>(count);
    record.TotalEntries = record.EntriesOnDisk;
    record.DirectorySize =
        directorySize >= Zip64Marker32 ? Zip64Marker32 : static_cast<std::uint32_t>(directorySize);
    record.DirectoryOffset = static_cast<std::uint64_t>(start) >= Zip64Marker32
                                 ? Zip64Marker32
                                 : static_cast<std::uint32_t>(start);
    record.CommentLength = static_cast<std::uint16_t>(comment.size());
    return record;
}

}  // namespace

void TZipDirManager::WriteDirectory(bool append, platform::TFileStream* stream) {
    if (stream != nullptr) {
        ArchiveStream = stream;
    }
    WriteDirectoryAt(DirectoryWritePosition(append));
}

// What the file held past the new end is cut off once the directory is
// written, not before: a file that ends about where it did is then not cut
// short and lengthened again, two changes the file system would record
// (and, on ext4, free and allocate a block for).
void TZipDirManager::WriteDirectoryAt(std::int64_t start) {
    ArchiveStream->Seek(start, platform::SeekOrigin::soBeginning);
    End.DirectoryOffset = start;
    WriteCentralHeaders();
    WriteEndRecords(start, ArchiveStream->Position());
    const std::int64_t end = ArchiveStream->Position();
    if (ArchiveStream->Size() != end && !ArchiveStream->SetSize(end)) {
        throw platform::EWriteError(platform::GetLastError());
    }
}

// Over the old directory, or at the end. Looking for the old end record
// reads its comment; the comment to write is kept.
std::int64_t TZipDirManager::DirectoryWritePosition(bool append) {
    const std::string comment = End.ArchiveComment;
    std::int64_t writePosition = ArchiveStream->Size();
    if (!append) {
        EndOfCentralDirectory found;
        std::int64_t endPosition = -1;
        if (FindEndRecord(found, endPosition)) {
            std::int64_t before = End.EndRecord.DirectorySize;
            if (End.IsZip64) {
                before = static_cast<std::int64_t>(End.Zip64EndRecord.DirectorySize) +
                         Zip64EndRecordSize + Zip64LocatorSize;
            }
            writePosition = std::max<std::int64_t>(endPosition - before, 0);
        }
    }
    End.ArchiveComment = comment;
    return writePosition;
}

// Every central header, in list order, through a buffer of at most about
// DirectoryWriteChunk bytes: a small directory goes in one write, and a
// large one costs no second copy of itself in memory.
void TZipDirManager::WriteCentralHeaders() {
    Bytes buffer;
    buffer.reserve(std::min(ExpectedDirectorySize(Directory), DirectoryWriteChunk + 0x400));
    ByteWriter out(buffer);
    const EntryNameCodec codec(OemFileNames());
    const auto send = [&] {
        if (!buffer.empty() &&
            ArchiveStream->Write(buffer.data(), buffer.size()) != buffer.size()) {
            throw EZipException(native::StreamWrite, Owner);
        }
        buffer.clear();
    };
    for (int i = 0; i < Directory.Count(); ++i) {
        EncodeCentralHeader(Directory.ItemAt(i), codec, out);
        if (buffer.size() >= DirectoryWriteChunk) {
            send();
        }
    }
    send();
}

// The name as it was read while it is unchanged, else converted anew; the
// length fields always tell what follows. A plain-ASCII name that was not
// stored otherwise is written as it is, without a copy.
void TZipDirManager::EncodeCentralHeader(TDirItem& item, const EntryNameCodec& codec,
                                         ByteWriter& out) const {
    CentralFileHeader& h = item.Header;
    const std::uint32_t zip64Length = Zip64ExtraLength(h);
    const std::uint32_t extraLength = ExtraLength(item, zip64Length);
    std::string converted;
    std::string_view name = item.Name;
    if (!item.StoredName().empty() || !codec.Plain(item.Name)) {
        converted = StoredNameOf(item, codec);
        name = converted;
    }
    if (name.size() > 0xFFFF || extraLength > 0xFFFF) {
        throw EZipException(native::NameTooLong, Owner, {item.Name});
    }
    h.NameLength = static_cast<std::uint16_t>(name.size());
    h.ExtraLength = static_cast<std::uint16_t>(extraLength);
    h.CommentLength =
        static_cast<std::uint16_t>(std::min<std::size_t>(h.CommentLength, item.Comment().size()));
    h.Encode(out);
    out.String(name);
    if (zip64Length != 0) {
        EncodeZip64Extra(item, zip64Length, out);
    }
    EncodeKeptExtraFields(item, out);
    out.String(std::string_view(item.Comment()).substr(0, h.CommentLength));
}

// The directory written from `start` ends at `position`: the Zip64 records
// when the sizes or the count need them, then the end record and the archive
// comment, in one write.
void TZipDirManager::WriteEndRecords(std::int64_t start, std::int64_t position) {
    const std::uint64_t directorySize = static_cast<std::uint64_t>(position - start);
    const std::uint64_t count = static_cast<std::uint64_t>(Directory.Count());
    End.ArchiveComment.resize(std::min<std::size_t>(End.ArchiveComment.size(), 0xFFFF));
    End.EndRecord = MakeEndRecord(count, directorySize, start, End.ArchiveComment);
    Bytes tail;
    ByteWriter out(tail);
    End.IsZip64 = static_cast<std::uint64_t>(position) >= Zip64Marker32 || count >= 0xFFFF;
    if (End.IsZip64) {
        EncodeZip64EndRecords(start, position, directorySize, out);
    }
    End.EndRecord.Encode(out);
    out.String(End.ArchiveComment);
    ArchiveStream->WriteBuffer(tail.data(), tail.size());
}

void TZipDirManager::EncodeZip64EndRecords(std::int64_t start, std::int64_t position,
                                           std::uint64_t directorySize, ByteWriter& out) {
    const std::uint64_t count = static_cast<std::uint64_t>(Directory.Count());
    End.Zip64EndRecord = Zip64EndOfCentralDirectory{};
    End.Zip64EndRecord.EntriesOnDisk = count;
    End.Zip64EndRecord.TotalEntries = count;
    End.Zip64EndRecord.DirectorySize = directorySize;
    End.Zip64EndRecord.DirectoryOffset = static_cast<std::uint64_t>(start);
    End.Zip64EndRecord.Encode(out);
    End.Zip64Locator =
        Zip64EndLocator{Zip64LocatorSignature, 0, static_cast<std::uint64_t>(position), 1};
    End.Zip64Locator.Encode(out);
}

}  // namespace archive
