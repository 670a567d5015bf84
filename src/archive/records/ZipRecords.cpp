#include "archive/records/ZipRecords.h"

namespace archive {

LocalFileHeader LocalFileHeader::Decode(ByteCursor& in) {
    LocalFileHeader h;
    h.Signature = in.U32();
    h.VersionNeeded = in.U16();
    h.Flags = in.U16();
    h.Method = in.U16();
    h.ModTime = in.U16();
    h.ModDate = in.U16();
    h.Crc32 = in.U32();
    h.CompressedSize = in.U32();
    h.UncompressedSize = in.U32();
    h.NameLength = in.U16();
    h.ExtraLength = in.U16();
    return h;
}

void LocalFileHeader::Encode(ByteWriter& out) const {
    out.U32(Signature);
    out.U16(VersionNeeded);
    out.U16(Flags);
    out.U16(Method);
    out.U16(ModTime);
    out.U16(ModDate);
    out.U32(Crc32);
    out.U32(CompressedSize);
    out.U32(UncompressedSize);
    out.U16(NameLength);
    out.U16(ExtraLength);
}

CentralFileHeader CentralFileHeader::Decode(ByteCursor& in) {
    // The whole record at once, one bounds check for all its fields; a
    // record cut short leaves the cursor not ok and the fields as made.
    CentralFileHeader h;
    const std::span<const std::uint8_t> bytes = in.Bytes(CentralHeaderSize);
    if (bytes.empty()) {
        return h;
    }
    const std::uint8_t* p = bytes.data();
    h.Signature = ByteCursor::LoadU32(p);
    h.VersionMadeBy = ByteCursor::LoadU16(p + 4);
    h.VersionNeeded = ByteCursor::LoadU16(p + 6);
    h.Flags = ByteCursor::LoadU16(p + 8);
    h.Method = ByteCursor::LoadU16(p + 10);
    h.ModTime = ByteCursor::LoadU16(p + 12);
    h.ModDate = ByteCursor::LoadU16(p + 14);
    h.Crc32 = ByteCursor::LoadU32(p + 16);
    h.CompressedSize = ByteCursor::LoadU32(p + 20);
    h.UncompressedSize = ByteCursor::LoadU32(p + 24);
    h.NameLength = ByteCursor::LoadU16(p + 28);
    h.ExtraLength = ByteCursor::LoadU16(p + 30);
    h.CommentLength = ByteCursor::LoadU16(p + 32);
    h.DiskNumberStart = ByteCursor::LoadU16(p + 34);
    h.InternalAttributes = ByteCursor::LoadU16(p + 36);
    h.ExternalAttributes = ByteCursor::LoadU32(p + 38);
    h.LocalHeaderOffset = ByteCursor::LoadU32(p + 42);
    return h;
}

void CentralFileHeader::Encode(ByteWriter& out) const {
    RecordBytes<CentralHeaderSize> record;
    record.U32(Signature);
    record.U16(VersionMadeBy);
    record.U16(VersionNeeded);
    record.U16(Flags);
    record.U16(Method);
    record.U16(ModTime);
    record.U16(ModDate);
    record.U32(Crc32);
    record.U32(CompressedSize);
    record.U32(UncompressedSize);
    record.U16(NameLength);
    record.U16(ExtraLength);
    record.U16(CommentLength);
    record.U16(DiskNumberStart);
    record.U16(InternalAttributes);
    record.U32(ExternalAttributes);
    record.U32(LocalHeaderOffset);
    record.AppendTo(out);
}

DataDescriptor DataDescriptor::Decode(ByteCursor& in) {
    DataDescriptor d;
    d.Signature = in.U32();
    d.Crc32 = in.U32();
    d.CompressedSize = in.U32();
    d.UncompressedSize = in.U32();
    return d;
}

EndOfCentralDirectory EndOfCentralDirectory::Decode(ByteCursor& in) {
    EndOfCentralDirectory r;
    r.Signature = in.U32();
    r.DiskNumber = in.U16();
    r.DirectoryDisk = in.U16();
    r.EntriesOnDisk = in.U16();
    r.TotalEntries = in.U16();
    r.DirectorySize = in.U32();
    r.DirectoryOffset = in.U32();
    r.CommentLength = in.U16();
    return r;
}

void EndOfCentralDirectory::Encode(ByteWriter& out) const {
    out.U32(Signature);
    out.U16(DiskNumber);
    out.U16(DirectoryDisk);
    out.U16(EntriesOnDisk);
    out.U16(TotalEntries);
    out.U32(DirectorySize);
    out.U32(DirectoryOffset);
    out.U16(CommentLength);
}

Zip64EndOfCentralDirectory Zip64EndOfCentralDirectory::Decode(ByteCursor& in) {
    Zip64EndOfCentralDirectory r;
    r.Signature = in.U32();
    r.RecordSize = in.U64();
    r.VersionMadeBy = in.U16();
    r.VersionNeeded = in.U16();
    r.DiskNumber = in.U32();
    r.DirectoryDisk = in.U32();
    r.EntriesOnDisk = in.U64();
    r.TotalEntries = in.U64();
    r.DirectorySize = in.U64();
    r.DirectoryOffset = in.U64();
    return r;
}

void Zip64EndOfCentralDirectory::Encode(ByteWriter& out) const {
    out.U32(Signature);
    out.U64(RecordSize);
    out.U16(VersionMadeBy);
    out.U16(VersionNeeded);
    out.U32(DiskNumber);
    out.U32(DirectoryDisk);
    out.U64(EntriesOnDisk);
    out.U64(TotalEntries);
    out.U64(DirectorySize);
    out.U64(DirectoryOffset);
}

Zip64EndLocator Zip64EndLocator::Decode(ByteCursor& in) {
    Zip64EndLocator l;
    l.Signature = in.U32();
    l.EndRecordDisk = in.U32();
    l.EndRecordOffset = in.U64();
    l.TotalDisks = in.U32();
    return l;
}

void Zip64EndLocator::Encode(ByteWriter& out) const {
    out.U32(Signature);
    out.U32(EndRecordDisk);
    out.U64(EndRecordOffset);
    out.U32(TotalDisks);
}

}  // namespace archive
