#include "archive/ZipRecords.h"

namespace archive {

TZipLocalHeader TZipLocalHeader::Decode(TByteCursor& in) {
    TZipLocalHeader h;
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

void TZipLocalHeader::Encode(TByteWriter& out) const {
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

TZipCentralHeader TZipCentralHeader::Decode(TByteCursor& in) {
    TZipCentralHeader h;
    h.Signature = in.U32();
    h.VersionMadeBy = in.U16();
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
    h.CommentLength = in.U16();
    h.DiskNumberStart = in.U16();
    h.InternalAttributes = in.U16();
    h.ExternalAttributes = in.U32();
    h.LocalHeaderOffset = in.U32();
    return h;
}

void TZipCentralHeader::Encode(TByteWriter& out) const {
    out.U32(Signature);
    out.U16(VersionMadeBy);
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
    out.U16(CommentLength);
    out.U16(DiskNumberStart);
    out.U16(InternalAttributes);
    out.U32(ExternalAttributes);
    out.U32(LocalHeaderOffset);
}

TZipDataDescriptor TZipDataDescriptor::Decode(TByteCursor& in) {
    TZipDataDescriptor d;
    d.Signature = in.U32();
    d.Crc32 = in.U32();
    d.CompressedSize = in.U32();
    d.UncompressedSize = in.U32();
    return d;
}

TZipEndRecord TZipEndRecord::Decode(TByteCursor& in) {
    TZipEndRecord r;
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

void TZipEndRecord::Encode(TByteWriter& out) const {
    out.U32(Signature);
    out.U16(DiskNumber);
    out.U16(DirectoryDisk);
    out.U16(EntriesOnDisk);
    out.U16(TotalEntries);
    out.U32(DirectorySize);
    out.U32(DirectoryOffset);
    out.U16(CommentLength);
}

TZip64EndRecord TZip64EndRecord::Decode(TByteCursor& in) {
    TZip64EndRecord r;
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

void TZip64EndRecord::Encode(TByteWriter& out) const {
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

TZip64Locator TZip64Locator::Decode(TByteCursor& in) {
    TZip64Locator l;
    l.Signature = in.U32();
    l.EndRecordDisk = in.U32();
    l.EndRecordOffset = in.U64();
    l.TotalDisks = in.U32();
    return l;
}

void TZip64Locator::Encode(TByteWriter& out) const {
    out.U32(Signature);
    out.U32(EndRecordDisk);
    out.U64(EndRecordOffset);
    out.U32(TotalDisks);
}

}  // namespace archive
