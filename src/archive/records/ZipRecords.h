// The ZIP records on disk: signatures, fixed sizes, and the fields of each
// record as plain structs. Decode/Encode go through the byte cursor and
// writer of ZipByteCursor.h; every field is little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/records/ZipByteCursor.h"

namespace archive {

inline constexpr std::uint32_t LocalHeaderSignature = 0x04034B50;     // "PK" 03 04
inline constexpr std::uint32_t CentralHeaderSignature = 0x02014B50;   // "PK" 01 02
inline constexpr std::uint32_t DataDescriptorSignature = 0x08074B50;  // "PK" 07 08
inline constexpr std::uint32_t Zip64EndRecordSignature = 0x06064B50;  // "PK" 06 06
inline constexpr std::uint32_t Zip64LocatorSignature = 0x07064B50;    // "PK" 06 07
inline constexpr std::uint32_t EndRecordSignature = 0x06054B50;       // "PK" 05 06

inline constexpr std::uint32_t LocalHeaderSize = 30;
inline constexpr std::uint32_t CentralHeaderSize = 46;
inline constexpr std::uint32_t DataDescriptorSize = 16;
inline constexpr std::uint32_t EndRecordSize = 22;
inline constexpr std::uint32_t Zip64EndRecordSize = 56;
inline constexpr std::uint32_t Zip64LocatorSize = 20;

// Where the fields read straight from a central header sit in it.
inline constexpr std::size_t CentralFlagsAt = 8;
inline constexpr std::size_t CentralNameLengthAt = 28;
inline constexpr std::size_t CentralExtraLengthAt = 30;
inline constexpr std::size_t CentralCommentLengthAt = 32;
inline constexpr std::size_t CentralExternalAttributesAt = 38;

// The all-ones values that send a field to the Zip64 extra block.
inline constexpr std::uint32_t Zip64Marker32 = 0xFFFFFFFF;
inline constexpr std::uint16_t Zip64Marker16 = 0xFFFF;
inline constexpr std::uint16_t Zip64ExtraId = 1;

// Version needed values the engine writes.
inline constexpr std::uint16_t VersionOem = 20;       // 0x0014, OEMFileNames
inline constexpr std::uint16_t VersionAnsi = 0x0B14;  // OEMFileNames false
inline constexpr std::uint16_t VersionZip64 = 45;     // 0x002D

// General purpose flag bits.
inline constexpr std::uint16_t FlagEncrypted = 0x0001;
inline constexpr std::uint16_t FlagFolder = 0x0002;  // what the engine writes for folders
inline constexpr std::uint16_t FlagDataDescriptor = 0x0008;
inline constexpr std::uint16_t FlagUtf8Name = 0x0800;  // name bytes are UTF-8

// Compression methods.
inline constexpr std::uint16_t MethodStored = 0;
inline constexpr std::uint16_t MethodDeflate = 8;
inline constexpr std::uint16_t MethodDeflate64 = 9;

// External attribute bits (DOS attributes in the low byte).
inline constexpr std::uint32_t AttrReadOnly = 0x01;
inline constexpr std::uint32_t AttrFolder = 0x10;
inline constexpr std::uint32_t AttrArchive = 0x20;

// Local file header (30 bytes, then name and extra field).
struct LocalFileHeader {
    std::uint32_t Signature = LocalHeaderSignature;
    std::uint16_t VersionNeeded = 0;
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;
    std::uint16_t ModTime = 0;
    std::uint16_t ModDate = 0;
    std::uint32_t Crc32 = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;
    std::uint16_t NameLength = 0;
    std::uint16_t ExtraLength = 0;

    // Reads 30 bytes; the cursor's ok flag tells whether they were there.
    static LocalFileHeader Decode(ByteCursor& in);
    void Encode(ByteWriter& out) const;
};

// Central directory header (46 bytes, then name, extra field, comment).
// Fields read from an archive are kept exactly as stored.
struct CentralFileHeader {
    std::uint32_t Signature = CentralHeaderSignature;
    std::uint16_t VersionMadeBy = 0;
    std::uint16_t VersionNeeded = 0;
    std::uint16_t Flags = 0;
    std::uint16_t Method = 0;
    std::uint16_t ModTime = 0;
    std::uint16_t ModDate = 0;
    std::uint32_t Crc32 = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;
    std::uint16_t NameLength = 0;
    std::uint16_t ExtraLength = 0;
    std::uint16_t CommentLength = 0;
    std::uint16_t DiskNumberStart = 0;
    std::uint16_t InternalAttributes = 0;
    std::uint32_t ExternalAttributes = 0;
    std::uint32_t LocalHeaderOffset = 0;

    static CentralFileHeader Decode(ByteCursor& in);
    void Encode(ByteWriter& out) const;
    // MS-DOS date-time: date in the high 16 bits, time in the low 16.
    std::uint32_t DosDateTime() const { return (std::uint32_t{ModDate} << 16) | ModTime; }
};

// Data descriptor as read after an entry's data (signature included).
struct DataDescriptor {
    std::uint32_t Signature = DataDescriptorSignature;
    std::uint32_t Crc32 = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;

    static DataDescriptor Decode(ByteCursor& in);
};

// End of central directory record (22 bytes, then the archive comment).
struct EndOfCentralDirectory {
    std::uint32_t Signature = EndRecordSignature;
    std::uint16_t DiskNumber = 0;
    std::uint16_t DirectoryDisk = 0;
    std::uint16_t EntriesOnDisk = 0;
    std::uint16_t TotalEntries = 0;
    std::uint32_t DirectorySize = 0;
    std::uint32_t DirectoryOffset = 0;
    std::uint16_t CommentLength = 0;

    static EndOfCentralDirectory Decode(ByteCursor& in);
    void Encode(ByteWriter& out) const;
};

// Zip64 end of central directory record (56 bytes).
struct Zip64EndOfCentralDirectory {
    std::uint32_t Signature = Zip64EndRecordSignature;
    std::uint64_t RecordSize = 44;  // size of the remaining record
    std::uint16_t VersionMadeBy = VersionZip64;
    std::uint16_t VersionNeeded = VersionZip64;
    std::uint32_t DiskNumber = 0;
    std::uint32_t DirectoryDisk = 0;
    std::uint64_t EntriesOnDisk = 0;
    std::uint64_t TotalEntries = 0;
    std::uint64_t DirectorySize = 0;
    std::uint64_t DirectoryOffset = 0;

    static Zip64EndOfCentralDirectory Decode(ByteCursor& in);
    void Encode(ByteWriter& out) const;
};

// Zip64 end of central directory locator (20 bytes).
struct Zip64EndLocator {
    std::uint32_t Signature = 0;
    std::uint32_t EndRecordDisk = 0;
    std::uint64_t EndRecordOffset = 0;
    std::uint32_t TotalDisks = 0;

    static Zip64EndLocator Decode(ByteCursor& in);
    void Encode(ByteWriter& out) const;
};

}  // namespace archive
