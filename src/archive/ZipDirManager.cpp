#include "archive/ZipDirManager.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "archive/ZipArchiver.h"
#include "archive/ZipConst.h"
#include "archive/ZipExcept.h"
#include "archive/ZipSignatureScan.h"
#include "platform/CodePage.h"
#include "platform/Stream.h"

namespace archive {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Up to `count` bytes at `position`; fewer at the end of the file.
Bytes ReadAt(platform::TFileStream& stream, std::int64_t position, std::int64_t count) {
    Bytes bytes;
    if (position < 0 || count <= 0) {
        return bytes;
    }
    stream.Seek(position, platform::SeekOrigin::soBeginning);
    bytes.resize(static_cast<std::size_t>(count));
    bytes.resize(stream.Read(bytes.data(), bytes.size()));
    return bytes;
}

}  // namespace

TZipDirManager::TZipDirManager(platform::TFileStream* stream, TZipBaseArchiver* owner,
                               bool newArchive, bool ownStream)
    : ArchiveStream(stream), Owner(owner), NewArchive(newArchive), OwnStream(ownStream) {
    ResetDirectory();
}

bool TZipDirManager::OemFileNames() const {
    return Owner != nullptr ? Owner->Options.OEMFileNames : TZipOptions{}.OEMFileNames;
}

bool TZipDirManager::RepairOnOpen() const {
    return Owner == nullptr || Owner->RepairOnOpen;
}

std::string TZipDirManager::StoredToAnsi(const std::string& stored) const {
    return OemFileNames() ? platform::OemToChar(stored) : stored;
}

std::string TZipDirManager::NameToStored(const std::string& name) const {
    const std::string ansi = platform::Utf8ToAnsi(name);
    return OemFileNames() ? platform::CharToOem(ansi) : ansi;
}

std::string TZipDirManager::StoredNameOf(const TDirItem& item) const {
    if (item.StoredName.empty() ||
        platform::AnsiToUtf8(StoredToAnsi(item.StoredName)) != item.Name) {
        return NameToStored(item.Name);
    }
    return item.StoredName;
}

std::string TZipDirManager::StoredNameOf(const TDirItem& item, const TNameCodec& codec) const {
    if (item.StoredName.empty() ||
        codec.AnsiToUtf8(codec.StoredToAnsi(item.StoredName)) != item.Name) {
        return codec.AnsiToStored(codec.Utf8ToAnsi(item.Name));
    }
    return item.StoredName;
}

void TZipDirManager::ResetDirectory() {
    Directory.SetCount(0);
    EndRecord = TZipEndRecord{};
}

// --- the end record -----------------------------------------------------------

bool TZipDirManager::FindEndRecord(TZipEndRecord& record, std::int64_t& position) {
    // 1.
    ArchiveComment.clear();
    position = -1;
    // 2. The last bytes of the file, read whole.
    const std::int64_t fileSize = ArchiveStream->Size();
    const std::int64_t windowStart = fileSize - std::min(fileSize, EndRecordWindow);
    const Bytes window = ReadAt(*ArchiveStream, windowStart, fileSize - windowStart);
    // 3-4. Backwards; the first candidate whose comment length reaches exactly
    // to the end of the file is the record.
    for (std::size_t i = window.size(); i-- > 3;) {
        if (window[i] != 0x06 || window[i - 1] != 0x05 || window[i - 2] != 0x4B ||
            window[i - 3] != 0x50) {
            continue;
        }
        const std::size_t candidate = i - 3;
        const std::size_t tail = window.size() - candidate;
        if (tail < EndRecordSize) {
            continue;
        }
        TByteCursor in(std::span<const std::uint8_t>(window).subspan(candidate, EndRecordSize));
        const TZipEndRecord found = TZipEndRecord::Decode(in);
        if (found.CommentLength != tail - EndRecordSize) {
            continue;
        }
        // 5.
        record = found;
        position = windowStart + static_cast<std::int64_t>(candidate);
        ArchiveComment.assign(
            window.begin() + static_cast<std::ptrdiff_t>(candidate + EndRecordSize), window.end());
        return true;
    }
    return false;
}

bool TZipDirManager::ProbeEndRecord() {
    std::int64_t position = -1;
    const bool found = FindEndRecord(EndRecord, position);
    return RepairOnOpen() || found;
}

// --- reading the directory ----------------------------------------------------------

void TZipDirManager::ReadDirectory() {
    // 1.
    ResetDirectory();
    PrefixSize = 0;
    IsZip64 = false;
    DirectoryOffset = 0;
    // 2-3.
    TZipEndRecord found;
    std::int64_t endPosition = -1;
    if (!FindEndRecord(found, endPosition)) {
        RebuildFromLocalHeaders();
        return;
    }
    EndRecord = found;
    // 4. The Zip64 locator and end record before the end record.
    std::int64_t position = endPosition;
    if (position > Zip64LocatorSize) {
        const Bytes bytes = ReadAt(*ArchiveStream, position - Zip64LocatorSize, Zip64LocatorSize);
        TByteCursor in(bytes);
        const TZip64Locator locator = TZip64Locator::Decode(in);
        if (in.Ok() && locator.Signature == Zip64LocatorSignature) {
            Zip64Locator = locator;
            IsZip64 = true;
            position -= Zip64LocatorSize;
        }
    }
    if (IsZip64) {
        bool ok = false;
        if (position > Zip64EndRecordSize) {
            // Where the locator says, or else right before the locator, where
            // it lies in an archive that has data prepended.
            for (std::uint64_t at : {Zip64Locator.EndRecordOffset,
                                     static_cast<std::uint64_t>(position - Zip64EndRecordSize)}) {
                if (at > static_cast<std::uint64_t>(position - Zip64EndRecordSize)) {
                    continue;
                }
                const Bytes bytes =
                    ReadAt(*ArchiveStream, static_cast<std::int64_t>(at), Zip64EndRecordSize);
                TByteCursor in(bytes);
                const TZip64EndRecord record = TZip64EndRecord::Decode(in);
                if (in.Ok() && record.Signature == Zip64EndRecordSignature) {
                    Zip64EndRecord = record;
                    ok = true;
                    break;
                }
            }
        }
        if (!ok) {
            throw EZipException(native::Zip64EndNotFound, nullptr);
        }
        position -= Zip64EndRecordSize;
    }
    // 5.
    if (!IsZip64 && EndRecord.TotalEntries == Zip64Marker16) {
        RebuildFromLocalHeaders();
        return;
    }
    // 6. The directory ends where the records after it begin.
    const std::uint64_t size = IsZip64 ? Zip64EndRecord.DirectorySize : EndRecord.DirectorySize;
    const std::uint64_t count = IsZip64 ? Zip64EndRecord.TotalEntries : EndRecord.TotalEntries;
    const std::int64_t start = size <= static_cast<std::uint64_t>(position)
                                   ? position - static_cast<std::int64_t>(size)
                                   : -1;
    // 7-8. A directory that cannot be read is rebuilt from the local headers.
    if (start < 0 || !ReadCentralHeaders(start, size, count)) {
        Directory.Clear();
        RebuildFromLocalHeaders();
        return;
    }
    // 9. Data prepended to a single-disk archive.
    std::int64_t disk = EndRecord.DiskNumber;
    if (disk == Zip64Marker16) {
        disk = IsZip64 ? std::int64_t{Zip64Locator.TotalDisks} - 1 : 0;
    }
    if (disk == 0) {
        DetectPrefix(endPosition);
    }
    // 10.
    CorrectOffsets();
}

bool TZipDirManager::ReadCentralHeaders(std::int64_t start, std::uint64_t size,
                                        std::uint64_t count) {
    // Every entry takes at least a bare header: a count the directory cannot
    // hold is forged, and nothing is allocated for it.
    if (count > size / CentralHeaderSize || count > static_cast<std::uint64_t>(INT_MAX)) {
        return false;
    }
    const Bytes bytes = ReadAt(*ArchiveStream, start, static_cast<std::int64_t>(size));
    if (bytes.size() != size) {
        return false;
    }
    DirectoryOffset = start;
    Directory.SetCount(static_cast<int>(count));
    const TNameCodec codec(OemFileNames());
    TByteCursor in(bytes);
    try {
        for (int i = 0; i < static_cast<int>(count); ++i) {
            // 7.2. The header as stored; its signature is not compared.
            TDirItem& item = Directory.ItemAt(i);
            item.Header = TZipCentralHeader::Decode(in);
            // 7.3. The name.
            item.StoredName = in.String(item.Header.NameLength);
            if (!in.Ok()) {
                return false;
            }
            Directory.SetItemName(i, codec.StoredToAnsi(item.StoredName), codec);
            if (codec.AnsiToStored(codec.Utf8ToAnsi(item.Name)) == item.StoredName) {
                item.StoredName.clear();  // written back from Name alike
            }
            // 7.4. The extra blocks, cut to what the extra field holds.
            TByteCursor extra(in.Bytes(item.Header.ExtraLength));
            while (extra.Ok() && extra.Remaining() >= 4) {
                TExtraField field;
                field.Id = extra.U16();
                const std::uint16_t declared = extra.U16();
                const auto data = extra.Bytes(std::min<std::size_t>(declared, extra.Remaining()));
                field.Data.assign(data.begin(), data.end());
                if (field.Id == Zip64ExtraId) {
                    TByteCursor z(field.Data);
                    const TZipCentralHeader& h = item.Header;
                    if (h.UncompressedSize == Zip64Marker32 && z.Remaining() >= 8) {
                        item.Zip64Size = z.U64();
                    }
                    if (h.CompressedSize == Zip64Marker32 && z.Remaining() >= 8) {
                        item.Zip64PackedSize = z.U64();
                    }
                    if (h.LocalHeaderOffset == Zip64Marker32 && z.Remaining() >= 8) {
                        item.Zip64Offset = z.U64();
                    }
                    if (h.DiskNumberStart == Zip64Marker16 && z.Remaining() >= 2) {
                        item.Zip64Disk = z.U16();
                    }
                    item.HasZip64 = true;
                }
                item.ExtraFields.push_back(std::move(field));
            }
            // 7.5. The comment.
            item.Comment = in.String(item.Header.CommentLength);
            if (!in.Ok()) {
                return false;
            }
        }
    } catch (const EZipException&) {
        return false;
    }
    return true;
}

void TZipDirManager::DetectPrefix(std::int64_t endRecordPosition) {
    // 1. No entries were read. (The 16-bit count of a Zip64 archive's end
    // record need not be the true one, so the list itself is asked.)
    if (Directory.Count() == 0) {
        PrefixSize = static_cast<std::uint64_t>(endRecordPosition);
        return;
    }
    // 2.
    const TDirItem& first = Directory.ItemAt(0);
    const std::uint64_t start = first.LocalHeaderOffset();
    const std::int64_t fileSize = ArchiveStream->Size();
    if (start >= static_cast<std::uint64_t>(fileSize)) {
        return;
    }
    // 3-5. The first local header from there on that matches entry 0.
    TZipSignatureScanner localHeaders(*ArchiveStream, LocalHeaderSignature, PrefixChunk);
    std::int64_t from = static_cast<std::int64_t>(start);
    for (;;) {
        const std::int64_t p = localHeaders.Find(from, LocalHeaderSize);
        if (p < 0) {
            return;
        }
        const Bytes bytes = ReadAt(*ArchiveStream, p, LocalHeaderSize);
        TByteCursor in(bytes);
        const TZipLocalHeader local = TZipLocalHeader::Decode(in);
        const TZipCentralHeader& h = first.Header;
        if (p == 0 ||
            (in.Ok() && local.VersionNeeded == h.VersionNeeded && local.Method == h.Method &&
             local.ModTime == h.ModTime && local.ModDate == h.ModDate && local.Crc32 == h.Crc32 &&
             local.CompressedSize == h.CompressedSize &&
             local.UncompressedSize == h.UncompressedSize)) {
            PrefixSize = static_cast<std::uint64_t>(p);
            return;
        }
        from = p + 1;
    }
}

void TZipDirManager::CorrectOffsets() {
    int first = -1;
    for (int i = 0; i < Directory.Count(); ++i) {
        if (Directory.ItemAt(i).Header.CompressedSize != 0) {
            first = i;
            break;
        }
    }
    if (first < 0 || Directory.ItemAt(first).LocalHeaderOffset() >= PrefixSize) {
        return;
    }
    // Folder entries have local headers in the same archive part as files,
    // so their offsets move with the rest.
    for (int i = 0; i < Directory.Count(); ++i) {
        TDirItem& item = Directory.ItemAt(i);
        item.SetLocalHeaderOffset(item.LocalHeaderOffset() + PrefixSize);
    }
}

// --- rebuilding from the local headers -----------------------------------------------

void TZipDirManager::RebuildFromLocalHeaders() {
    // 1.
    Directory.Clear();
    const std::int64_t fileSize = ArchiveStream->Size();
    // 2.
    TZipSignatureScanner localHeaders(*ArchiveStream, LocalHeaderSignature, RebuildChunk);
    TZipSignatureScanner descriptors(*ArchiveStream, DataDescriptorSignature, RebuildChunk);
    std::int64_t p = localHeaders.Find(0, LocalHeaderSize);
    if (p < 0) {
        throw EZipException(native::InvalidArchive, nullptr);
    }
    // The last descriptor search, so that each stretch of the file is
    // searched once however many entries have flag bit 3.
    std::int64_t descriptorFrom = -1;
    std::int64_t descriptorAt = -1;
    const TNameCodec codec(OemFileNames());
    while (p >= 0) {
        // 3.
        const Bytes bytes = ReadAt(*ArchiveStream, p, LocalHeaderSize);
        TByteCursor in(bytes);
        const TZipLocalHeader local = TZipLocalHeader::Decode(in);
        std::int64_t next = p + 4;
        if (in.Ok() && local.CompressedSize < static_cast<std::uint64_t>(fileSize) &&
            local.ExtraLength <= RebuildMaxExtra) {
            const int index = Directory.Count();
            Directory.SetCount(index + 1);
            TDirItem& item = Directory.ItemAt(index);
            TZipCentralHeader& h = item.Header;
            h.Signature = CentralHeaderSignature;
            h.VersionMadeBy = local.VersionNeeded;
            h.VersionNeeded = local.VersionNeeded;
            h.Flags = local.Flags;
            h.Method = local.Method;
            h.ModTime = local.ModTime;
            h.ModDate = local.ModDate;
            h.Crc32 = local.Crc32;
            h.CompressedSize = local.CompressedSize;
            h.UncompressedSize = local.UncompressedSize;
            h.NameLength = local.NameLength;
            h.ExtraLength = local.ExtraLength;
            h.CommentLength = 0;
            h.DiskNumberStart = 0;
            h.InternalAttributes = 0;
            const bool descriptor = (local.Flags & FlagDataDescriptor) != 0;
            h.ExternalAttributes =
                (local.UncompressedSize != 0 || descriptor) ? AttrArchive : AttrFolder;
            h.LocalHeaderOffset = static_cast<std::uint32_t>(p);
            if (p >= Zip64Marker32) {
                item.SetLocalHeaderOffset(static_cast<std::uint64_t>(p));
            }
            // 4. The name, when the file holds all of it.
            const std::int64_t nameAt = p + LocalHeaderSize;
            std::string ansiName;
            if (fileSize - nameAt >= local.NameLength) {
                const Bytes name = ReadAt(*ArchiveStream, nameAt, local.NameLength);
                item.StoredName.assign(name.begin(), name.end());
                ansiName = codec.StoredToAnsi(item.StoredName);
                // Headers cannot overlap: the next one starts after this one.
                next = nameAt + local.NameLength + local.ExtraLength;
            } else {
                h.NameLength = 0;
            }
            Directory.SetItemName(index, ansiName, codec);
            // 5. CRC-32 and sizes from the data descriptor.
            if (descriptor) {
                if (descriptorFrom < 0 || p < descriptorFrom ||
                    (descriptorAt >= 0 && descriptorAt < p)) {
                    descriptorFrom = p;
                    descriptorAt = descriptors.Find(p, DataDescriptorSize);
                }
                if (descriptorAt >= 0) {
                    const Bytes d = ReadAt(*ArchiveStream, descriptorAt, DataDescriptorSize);
                    TByteCursor din(d);
                    const TZipDataDescriptor dd = TZipDataDescriptor::Decode(din);
                    if (din.Ok()) {
                        h.Crc32 = dd.Crc32;
                        h.CompressedSize = dd.CompressedSize;
                        h.UncompressedSize = dd.UncompressedSize;
                    }
                }
            }
        }
        // 6.
        p = localHeaders.Find(next, LocalHeaderSize);
    }
    // 7.
    DirectoryOffset = fileSize;
}

// --- writing the directory ---------------------------------------------------------

void TZipDirManager::WriteDirectory(bool append, platform::TFileStream* stream) {
    // 1.
    if (stream != nullptr) {
        ArchiveStream = stream;
    }
    const std::string comment = ArchiveComment;
    // 2. Over the old directory, or at the end.
    std::int64_t writePosition = ArchiveStream->Size();
    if (!append) {
        TZipEndRecord found;
        std::int64_t endPosition = -1;
        if (FindEndRecord(found, endPosition)) {
            std::int64_t before = EndRecord.DirectorySize;
            if (IsZip64) {
                before = static_cast<std::int64_t>(Zip64EndRecord.DirectorySize) +
                         Zip64EndRecordSize + Zip64LocatorSize;
            }
            writePosition = std::max<std::int64_t>(endPosition - before, 0);
        }
    }
    ArchiveComment = comment;
    // 3.
    if (!ArchiveStream->SetSize(writePosition)) {
        throw platform::EWriteError(platform::GetLastError());
    }
    ArchiveStream->Seek(writePosition, platform::SeekOrigin::soBeginning);
    const std::int64_t start = writePosition;
    DirectoryOffset = start;
    // 4. Every central header, in list order, in one buffer. The lengths
    // the headers hold give its size, so that a large directory is not
    // copied into a twice larger buffer on the way (it grows if they fall short).
    Bytes buffer;
    std::size_t expected = 0;
    for (int i = 0; i < Directory.Count(); ++i) {
        const TZipCentralHeader& h = Directory.ItemAt(i).Header;
        expected += CentralHeaderSize + h.NameLength + h.ExtraLength + h.CommentLength;
    }
    buffer.reserve(expected);
    TByteWriter out(buffer);
    const TNameCodec codec(OemFileNames());
    for (int i = 0; i < Directory.Count(); ++i) {
        TDirItem& item = Directory.ItemAt(i);
        TZipCentralHeader& h = item.Header;
        // 4.1. Only kept blocks and a Zip64 block that is needed count.
        std::uint32_t zip64Size = 0;
        if (h.UncompressedSize == Zip64Marker32) {
            zip64Size += 8;
        }
        if (h.CompressedSize == Zip64Marker32) {
            zip64Size += 8;
        }
        if (h.LocalHeaderOffset == Zip64Marker32) {
            zip64Size += 8;
        }
        if (h.DiskNumberStart == Zip64Marker16) {
            zip64Size += 4;
        }
        if (zip64Size != 0) {
            zip64Size += 4;
        }
        std::uint32_t extraLength = zip64Size;
        for (const TExtraField& field : item.ExtraFields) {
            if (field.Id != Zip64ExtraId) {
                extraLength += 4 + static_cast<std::uint32_t>(field.Data.size());
            }
        }
        // The name as it was read while it is unchanged, else converted anew;
        // the length fields always tell what follows.
        const std::string name = StoredNameOf(item, codec);
        if (name.size() > 0xFFFF || extraLength > 0xFFFF) {
            throw EZipException(native::NameTooLong, Owner, {item.Name});
        }
        h.NameLength = static_cast<std::uint16_t>(name.size());
        h.ExtraLength = static_cast<std::uint16_t>(extraLength);
        h.CommentLength =
            static_cast<std::uint16_t>(std::min<std::size_t>(h.CommentLength, item.Comment.size()));
        // 4.2-4.6.
        h.Encode(out);
        out.String(name);
        if (zip64Size != 0) {
            out.U16(Zip64ExtraId);
            out.U16(static_cast<std::uint16_t>(zip64Size - 4));
            if (h.UncompressedSize == Zip64Marker32) {
                out.U64(item.Zip64Size);
            }
            if (h.CompressedSize == Zip64Marker32) {
                out.U64(item.Zip64PackedSize);
            }
            if (h.LocalHeaderOffset == Zip64Marker32) {
                out.U64(item.Zip64Offset);
            }
            if (h.DiskNumberStart == Zip64Marker16) {
                out.U32(item.Zip64Disk);
            }
        }
        for (const TExtraField& field : item.ExtraFields) {
            if (field.Id != Zip64ExtraId) {
                out.U16(field.Id);
                out.U16(static_cast<std::uint16_t>(field.Data.size()));
                out.Bytes(field.Data);
            }
        }
        out.String(item.Comment.substr(0, h.CommentLength));
    }
    // 5. One write.
    if (!buffer.empty() && ArchiveStream->Write(buffer.data(), buffer.size()) != buffer.size()) {
        throw EZipException(native::StreamWrite, Owner);
    }
    // 6. The end record.
    const std::int64_t position = ArchiveStream->Position();
    const std::uint64_t directorySize = static_cast<std::uint64_t>(position - start);
    const std::uint64_t count = static_cast<std::uint64_t>(Directory.Count());
    EndRecord = TZipEndRecord{};
    EndRecord.EntriesOnDisk = count > 0xFFFE ? Zip64Marker16 : static_cast<std::uint16_t>(count);
    EndRecord.TotalEntries = EndRecord.EntriesOnDisk;
    EndRecord.DirectorySize =
        directorySize >= Zip64Marker32 ? Zip64Marker32 : static_cast<std::uint32_t>(directorySize);
    EndRecord.DirectoryOffset = static_cast<std::uint64_t>(start) >= Zip64Marker32
                                    ? Zip64Marker32
                                    : static_cast<std::uint32_t>(start);
    ArchiveComment.resize(std::min<std::size_t>(ArchiveComment.size(), 0xFFFF));
    EndRecord.CommentLength = static_cast<std::uint16_t>(ArchiveComment.size());
    Bytes tail;
    TByteWriter tailOut(tail);
    // 7. The Zip64 records when the sizes or the count need them.
    if (static_cast<std::uint64_t>(position) >= Zip64Marker32 || count >= 0xFFFF) {
        Zip64EndRecord = TZip64EndRecord{};
        Zip64EndRecord.EntriesOnDisk = count;
        Zip64EndRecord.TotalEntries = count;
        Zip64EndRecord.DirectorySize = directorySize;
        Zip64EndRecord.DirectoryOffset = static_cast<std::uint64_t>(start);
        Zip64EndRecord.Encode(tailOut);
        Zip64Locator =
            TZip64Locator{Zip64LocatorSignature, 0, static_cast<std::uint64_t>(position), 1};
        Zip64Locator.Encode(tailOut);
        IsZip64 = true;
    } else {
        IsZip64 = false;
    }
    // 8. The end record and the archive comment.
    EndRecord.Encode(tailOut);
    tailOut.String(ArchiveComment);
    ArchiveStream->WriteBuffer(tail.data(), tail.size());
}

}  // namespace archive
