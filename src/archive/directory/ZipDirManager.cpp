#include "archive/directory/ZipDirManager.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "archive/ZipArchiver.h"
#include "archive/ZipConst.h"
#include "archive/ZipExcept.h"
#include "archive/codec/ZipZlib.h"
#include "archive/directory/ZipDirBytes.h"
#include "archive/records/ZipSignatureScan.h"
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
    // Names flagged as UTF-8 are stored as they are; the code pages are
    // asked only for the others, without a codec made for one name.
    const bool utf8 = (item.Header.Flags & FlagUtf8Name) != 0;
    if (!item.StoredName().empty()) {
        const std::string read = utf8 && IsUtf8(item.StoredName())
                                     ? std::string(item.StoredName())
                                     : platform::AnsiToUtf8(StoredToAnsi(item.StoredName()));
        if (read == item.Name) {
            return item.StoredName();
        }
    }
    return utf8 ? item.Name : NameToStored(item.Name);
}

std::string TZipDirManager::StoredNameOf(const TDirItem& item, const EntryNameCodec& codec) const {
    const std::uint16_t flags = item.Header.Flags;
    if (item.StoredName().empty() || codec.StoredToUtf8(item.StoredName(), flags) != item.Name) {
        return codec.Utf8ToStored(item.Name, flags);
    }
    return item.StoredName();
}

void TZipDirManager::ResetDirectory() {
    Directory.SetCount(0);
    End.EndRecord = EndOfCentralDirectory{};
}

// --- the end record -----------------------------------------------------------

bool TZipDirManager::FindEndRecord(EndOfCentralDirectory& record, std::int64_t& position) {
    End.ArchiveComment.clear();
    position = -1;
    // The last bytes of the file, read whole.
    const std::int64_t fileSize = ArchiveStream->Size();
    const std::int64_t windowStart = fileSize - std::min(fileSize, EndRecordWindow);
    const Bytes window = ReadAt(*ArchiveStream, windowStart, fileSize - windowStart);
    // Backwards; the first candidate whose comment length reaches exactly
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
        ByteCursor in(std::span<const std::uint8_t>(window).subspan(candidate, EndRecordSize));
        const EndOfCentralDirectory found = EndOfCentralDirectory::Decode(in);
        if (found.CommentLength != tail - EndRecordSize) {
            continue;
        }
        record = found;
        position = windowStart + static_cast<std::int64_t>(candidate);
        End.ArchiveComment.assign(
            window.begin() + static_cast<std::ptrdiff_t>(candidate + EndRecordSize), window.end());
        return true;
    }
    return false;
}

bool TZipDirManager::ProbeEndRecord() {
    std::int64_t position = -1;
    const bool found = FindEndRecord(End.EndRecord, position);
    probedEnd_ = ProbedEnd{found, End.EndRecord, position};
    return RepairOnOpen() || found;
}

bool TZipDirManager::EndRecordForRead(EndOfCentralDirectory& record, std::int64_t& position) {
    if (!probedEnd_) {
        return FindEndRecord(record, position);
    }
    const ProbedEnd probed = *std::exchange(probedEnd_, std::nullopt);
    record = probed.record;
    position = probed.position;
    return probed.found;
}

// --- reading the directory ----------------------------------------------------------

void TZipDirManager::ReadDirectory() {
    ResetDirectory();
    PrefixSize = 0;
    End.IsZip64 = false;
    End.DirectoryOffset = 0;
    EndOfCentralDirectory found;
    std::int64_t endPosition = -1;
    if (!EndRecordForRead(found, endPosition)) {
        RebuildFromLocalHeaders();
        return;
    }
    End.EndRecord = found;
    // The Zip64 locator and end record before the end record.
    std::int64_t position = endPosition;
    if (position > Zip64LocatorSize) {
        const Bytes bytes = ReadAt(*ArchiveStream, position - Zip64LocatorSize, Zip64LocatorSize);
        ByteCursor in(bytes);
        const Zip64EndLocator locator = Zip64EndLocator::Decode(in);
        if (in.Ok() && locator.Signature == Zip64LocatorSignature) {
            End.Zip64Locator = locator;
            End.IsZip64 = true;
            position -= Zip64LocatorSize;
        }
    }
    if (End.IsZip64) {
        bool ok = false;
        if (position > Zip64EndRecordSize) {
            // Where the locator says, or else right before the locator, where
            // it lies in an archive that has data prepended.
            for (std::uint64_t at : {End.Zip64Locator.EndRecordOffset,
                                     static_cast<std::uint64_t>(position - Zip64EndRecordSize)}) {
                if (at > static_cast<std::uint64_t>(position - Zip64EndRecordSize)) {
                    continue;
                }
                const Bytes bytes =
                    ReadAt(*ArchiveStream, static_cast<std::int64_t>(at), Zip64EndRecordSize);
                ByteCursor in(bytes);
                const Zip64EndOfCentralDirectory record = Zip64EndOfCentralDirectory::Decode(in);
                if (in.Ok() && record.Signature == Zip64EndRecordSignature) {
                    End.Zip64EndRecord = record;
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
    if (!End.IsZip64 && End.EndRecord.TotalEntries == Zip64Marker16) {
        RebuildFromLocalHeaders();
        return;
    }
    // The directory ends where the records after it begin.
    const std::uint64_t size =
        End.IsZip64 ? End.Zip64EndRecord.DirectorySize : End.EndRecord.DirectorySize;
    const std::uint64_t count =
        End.IsZip64 ? End.Zip64EndRecord.TotalEntries : End.EndRecord.TotalEntries;
    const std::int64_t start = size <= static_cast<std::uint64_t>(position)
                                   ? position - static_cast<std::int64_t>(size)
                                   : -1;
    // A directory that cannot be read is rebuilt from the local headers.
    if (start < 0 || !ReadCentralHeaders(start, size, count)) {
        Directory.Clear();
        RebuildFromLocalHeaders();
        return;
    }
    // Data prepended to a single-disk archive.
    std::int64_t disk = End.EndRecord.DiskNumber;
    if (disk == Zip64Marker16) {
        disk = End.IsZip64 ? std::int64_t{End.Zip64Locator.TotalDisks} - 1 : 0;
    }
    if (disk == 0) {
        const std::uint64_t storedOffset =
            End.IsZip64 ? End.Zip64EndRecord.DirectoryOffset : End.EndRecord.DirectoryOffset;
        if (!PrefixFromEndRecord(start, storedOffset)) {
            DetectPrefix(endPosition);
        }
    }
    CorrectOffsets();
}

bool TZipDirManager::ReadCentralHeaders(std::int64_t start, std::uint64_t size,
                                        std::uint64_t count) {
    // Every entry takes at least a bare header: a count the directory cannot
    // hold is forged, and nothing is allocated for it.
    if (count > size / CentralHeaderSize || count > static_cast<std::uint64_t>(INT_MAX)) {
        return false;
    }
    if (static_cast<std::uint64_t>(ArchiveStream->Size() - start) < size) {
        return false;
    }
    End.DirectoryOffset = start;
    auto bytes = std::make_unique<DirectoryBytes>(OemFileNames());
    if (!bytes->Read(*ArchiveStream, start, size, count)) {
        return false;
    }
    Directory.AdoptDirectoryBytes(std::move(bytes));
    return true;
}

// The bytes before the archive part are where the directory really starts
// less where the end record says it starts, as other readers take them;
// trusted when a central header sits there. An empty directory is left to
// DetectPrefix, which keeps everything before the end record.
bool TZipDirManager::PrefixFromEndRecord(std::int64_t directoryStart, std::uint64_t storedOffset) {
    if (Directory.Count() == 0 || storedOffset > static_cast<std::uint64_t>(directoryStart) ||
        Directory.ItemAt(0).Header.Signature != CentralHeaderSignature) {
        return false;
    }
    PrefixSize = static_cast<std::uint64_t>(directoryStart) - storedOffset;
    return true;
}

// The fallback when the end record cannot tell: the first local header from
// entry 0's offset on that matches entry 0.
void TZipDirManager::DetectPrefix(std::int64_t endRecordPosition) {
    // No entries were read. (The 16-bit count of a Zip64 archive's end
    // record need not be the true one, so the list itself is asked.)
    if (Directory.Count() == 0) {
        PrefixSize = static_cast<std::uint64_t>(endRecordPosition);
        return;
    }
    const TDirItem& first = Directory.ItemAt(0);
    const std::uint64_t start = first.LocalHeaderOffset();
    const std::int64_t fileSize = ArchiveStream->Size();
    if (start >= static_cast<std::uint64_t>(fileSize)) {
        return;
    }
    // The first local header from there on that matches entry 0.
    SignatureScanner localHeaders(*ArchiveStream, LocalHeaderSignature, PrefixChunk);
    std::int64_t from = static_cast<std::int64_t>(start);
    for (;;) {
        const std::int64_t p = localHeaders.Find(from, LocalHeaderSize);
        if (p < 0) {
            return;
        }
        const Bytes bytes = ReadAt(*ArchiveStream, p, LocalHeaderSize);
        ByteCursor in(bytes);
        const LocalFileHeader local = LocalFileHeader::Decode(in);
        const CentralFileHeader& h = first.Header;
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

bool TZipDirManager::LocalHeaderOf(const TDirItem& item, std::uint64_t position) {
    const std::string stored = StoredNameOf(item);
    const std::int64_t fileSize = ArchiveStream->Size();
    if (position > static_cast<std::uint64_t>(fileSize)) {
        return false;
    }
    const Bytes bytes = ReadAt(*ArchiveStream, static_cast<std::int64_t>(position),
                               LocalHeaderSize + static_cast<std::int64_t>(stored.size()));
    ByteCursor in(bytes);
    const LocalFileHeader local = LocalFileHeader::Decode(in);
    return in.Ok() && local.Signature == LocalHeaderSignature &&
           local.NameLength == stored.size() && in.String(local.NameLength) == stored && in.Ok();
}

// Offsets that count from the start of the archive part become file
// positions, but only when the first entry with data (the first entry when
// none has data) really sits at its offset plus the prefix and not at its
// offset.
void TZipDirManager::CorrectOffsets() {
    if (Directory.Count() == 0 || PrefixSize == 0) {
        return;
    }
    int first = 0;
    for (int i = 0; i < Directory.Count(); ++i) {
        if (Directory.ItemAt(i).Header.CompressedSize != 0) {
            first = i;
            break;
        }
    }
    const TDirItem& sample = Directory.ItemAt(first);
    if (LocalHeaderOf(sample, sample.LocalHeaderOffset()) ||
        !LocalHeaderOf(sample, sample.LocalHeaderOffset() + PrefixSize)) {
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
    Directory.Clear();
    const std::int64_t fileSize = ArchiveStream->Size();
    SignatureScanner localHeaders(*ArchiveStream, LocalHeaderSignature, RebuildChunk);
    SignatureScanner descriptors(*ArchiveStream, DataDescriptorSignature, RebuildChunk);
    std::int64_t p = localHeaders.Find(0, LocalHeaderSize);
    if (p < 0) {
        throw EZipException(native::InvalidArchive, nullptr);
    }
    // The last descriptor search, so that each stretch of the file is
    // searched once however many entries have flag bit 3.
    std::int64_t descriptorFrom = -1;
    std::int64_t descriptorAt = -1;
    const EntryNameCodec codec(OemFileNames());
    while (p >= 0) {
        const Bytes bytes = ReadAt(*ArchiveStream, p, LocalHeaderSize);
        ByteCursor in(bytes);
        LocalFileHeader local = LocalFileHeader::Decode(in);
        std::int64_t next = p + 4;
        if (in.Ok()) {
            TakeZip64Sizes(local, p);
        }
        if (in.Ok() && local.CompressedSize < static_cast<std::uint64_t>(fileSize) &&
            local.ExtraLength <= RebuildMaxExtra) {
            const int index = Directory.Count();
            Directory.SetCount(index + 1);
            TDirItem& item = Directory.ItemAt(index);
            CentralFileHeader& h = item.Header;
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
            h.LocalHeaderOffset = static_cast<std::uint32_t>(p);
            if (p >= Zip64Marker32) {
                item.SetLocalHeaderOffset(static_cast<std::uint64_t>(p));
            }
            // The name, when the file holds all of it.
            const std::int64_t nameAt = p + LocalHeaderSize;
            const std::int64_t dataAt = nameAt + local.NameLength + local.ExtraLength;
            if (fileSize - nameAt >= local.NameLength) {
                const Bytes name = ReadAt(*ArchiveStream, nameAt, local.NameLength);
                item.SetStoredName(std::string(name.begin(), name.end()));
                // Headers cannot overlap: the next one starts after this one.
                next = dataAt;
            } else {
                h.NameLength = 0;
            }
            Directory.SetItemStoredName(index, item.StoredName(), local.Flags, codec);
            // Only a name that says so makes a folder: an empty file is a file.
            const std::string& named = Directory.ItemAt(index).Name;
            h.ExternalAttributes = !named.empty() && named.back() == '/' ? AttrFolder : AttrArchive;
            if ((local.Flags & FlagDataDescriptor) == 0) {
                // The data is no place for headers: a stored archive or a
                // resource holding the signature gives no entries.
                if (dataAt <= fileSize &&
                    local.CompressedSize <= static_cast<std::uint64_t>(fileSize - dataAt)) {
                    next = dataAt + static_cast<std::int64_t>(local.CompressedSize);
                }
            } else if (const std::int64_t end = DeflatedEnd(item, dataAt); end >= 0) {
                next = end;
            } else {
                // CRC-32 and sizes from the first descriptor signature on.
                if (descriptorFrom < 0 || p < descriptorFrom ||
                    (descriptorAt >= 0 && descriptorAt < p)) {
                    descriptorFrom = p;
                    descriptorAt = descriptors.Find(p, DataDescriptorSize);
                }
                if (descriptorAt >= 0) {
                    const Bytes d = ReadAt(*ArchiveStream, descriptorAt, DataDescriptorSize);
                    ByteCursor din(d);
                    const DataDescriptor dd = DataDescriptor::Decode(din);
                    if (din.Ok()) {
                        h.Crc32 = dd.Crc32;
                        h.CompressedSize = dd.CompressedSize;
                        h.UncompressedSize = dd.UncompressedSize;
                    }
                }
            }
        }
        p = localHeaders.Find(next, LocalHeaderSize);
    }
    // A file whose signatures are no entry at all is no archive.
    if (Directory.Count() == 0) {
        throw EZipException(native::InvalidArchive, nullptr);
    }
    End.DirectoryOffset = fileSize;
}

// Sizes that a local header keeps in its Zip64 block are taken from there
// when they fit the 32-bit fields, so the rebuilt entry needs no Zip64
// values of its own.
void TZipDirManager::TakeZip64Sizes(LocalFileHeader& local, std::int64_t position) {
    if (local.UncompressedSize != Zip64Marker32 && local.CompressedSize != Zip64Marker32) {
        return;
    }
    const Bytes extra =
        ReadAt(*ArchiveStream, position + LocalHeaderSize + local.NameLength, local.ExtraLength);
    ByteCursor in(extra);
    while (in.Remaining() >= 4) {
        const std::uint16_t id = in.U16();
        const std::uint16_t size = in.U16();
        if (id != Zip64ExtraId) {
            in.Skip(std::min<std::size_t>(size, in.Remaining()));
            continue;
        }
        ByteCursor block(in.Bytes(std::min<std::size_t>(size, in.Remaining())));
        for (std::uint32_t* field : {&local.UncompressedSize, &local.CompressedSize}) {
            if (*field == Zip64Marker32 && block.Remaining() >= 8) {
                const std::uint64_t value = block.U64();
                if (value < Zip64Marker32) {
                    *field = static_cast<std::uint32_t>(value);
                }
            }
        }
        return;
    }
}

// A deflated entry with a data descriptor: the end of its deflate stream
// tells where the data ends, so the descriptor is found with or without its
// signature. Sets the entry's CRC-32 and sizes from the data itself and
// returns where the descriptor ends; -1 when the stream cannot be followed.
std::int64_t TZipDirManager::DeflatedEnd(TDirItem& item, std::int64_t dataAt) {
    const std::int64_t fileSize = ArchiveStream->Size();
    if (item.Header.Method != MethodDeflate || dataAt >= fileSize) {
        return -1;
    }
    ArchiveStream->Seek(dataAt, platform::SeekOrigin::soBeginning);
    DeflateExtent extent;
    if (!InflateExtent(*ArchiveStream, static_cast<std::uint64_t>(fileSize - dataAt), extent) ||
        extent.CompressedSize >= Zip64Marker32 || extent.UncompressedSize >= Zip64Marker32) {
        return -1;
    }
    item.Header.Crc32 = extent.Crc32;
    item.Header.CompressedSize = static_cast<std::uint32_t>(extent.CompressedSize);
    item.Header.UncompressedSize = static_cast<std::uint32_t>(extent.UncompressedSize);
    const std::int64_t dataEnd = dataAt + static_cast<std::int64_t>(extent.CompressedSize);
    const Bytes word = ReadAt(*ArchiveStream, dataEnd, 4);
    ByteCursor in(word);
    const bool signature = in.U32() == DataDescriptorSignature && in.Ok();
    return std::min(fileSize, dataEnd + (signature ? 16 : 12));
}

// --- writing the directory ---------------------------------------------------------

}  // namespace archive
