// Reader and writer of the central directory of the open archive: finds the
// end record, reads the directory (or rebuilds it from the local headers),
// detects data prepended to the archive, and writes the directory back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "archive/directory/ZipDirArray.h"
#include "archive/records/ZipRecords.h"

namespace platform {
class TFileStream;
}

namespace archive {

class TZipBaseArchiver;

// Where the central directory starts and what the records after it say,
// with the archive comment: read when the archive opens, written with the
// directory, and saved and put back as a whole when a commit is undone.
struct DirectoryEnd {
    EndOfCentralDirectory EndRecord;
    Zip64EndLocator Zip64Locator;
    Zip64EndOfCentralDirectory Zip64EndRecord;
    bool IsZip64 = false;
    std::int64_t DirectoryOffset = 0;  // where the central directory starts
    std::string ArchiveComment;
};

class TZipDirManager {
  public:
    // `owner` supplies Options.OEMFileNames and RepairOnOpen; without one the
    // option defaults apply. `ownStream` is false when the caller supplied the
    // stream. The stream is never freed here.
    TZipDirManager(platform::TFileStream* stream, TZipBaseArchiver* owner, bool newArchive,
                   bool ownStream = true);
    TZipDirManager(const TZipDirManager&) = delete;
    TZipDirManager& operator=(const TZipDirManager&) = delete;

    // The end record's search window: the last bytes of the file.
    static constexpr std::int64_t EndRecordWindow = 65600;
    // Chunks of the forward searches for a signature.
    static constexpr std::int64_t PrefixChunk = 10000;
    static constexpr std::int64_t RebuildChunk = 65535;
    // A local header with a longer extra field is not taken by the rebuild.
    static constexpr std::uint16_t RebuildMaxExtra = 260;
    // The central headers are written in pieces of about this many bytes.
    static constexpr std::size_t DirectoryWriteChunk = 0x40000;

    void ResetDirectory();
    // Searches the end record from the end of the file; loads End.ArchiveComment.
    bool FindEndRecord(EndOfCentralDirectory& record, std::int64_t& position);
    // FindEndRecord into End.EndRecord; true whatever was found while the owner's
    // RepairOnOpen is set.
    bool ProbeEndRecord();
    void ReadDirectory();
    void RebuildFromLocalHeaders();
    // Writes the central headers, the Zip64 records when needed, the end
    // record and the archive comment. `stream`, when given, becomes
    // ArchiveStream.
    void WriteDirectory(bool append, platform::TFileStream* stream = nullptr);
    // The same from `start` of ArchiveStream, which need not be its end:
    // the file ends with the records written.
    void WriteDirectoryAt(std::int64_t start);

    // Name bytes as stored -> the ANSI name (converted from OEM when
    // OEMFileNames is set).
    std::string StoredToAnsi(const std::string& stored) const;
    // UTF-8 name -> the bytes to store in local and central headers (ANSI,
    // then OEM when OEMFileNames is set).
    std::string NameToStored(const std::string& name) const;
    // The bytes an item's name is written with, in local and central headers
    // alike: as they were read while the name is unchanged, else converted.
    std::string StoredNameOf(const TDirItem& item) const;
    // The same with the conversions of a codec made for the whole directory.
    std::string StoredNameOf(const TDirItem& item, const EntryNameCodec& codec) const;

    platform::TFileStream* ArchiveStream;
    TZipBaseArchiver* Owner;
    TZipDirArray Directory;
    TZipDirArray SavedDirectory{false};  // walked by position only: no name index
    DirectoryEnd End;
    std::uint64_t PrefixSize = 0;  // bytes before the archive part
    bool NewArchive;
    bool OwnStream;

  protected:
    // The steps of WriteDirectory (ZipDirWrite.cpp).
    std::int64_t DirectoryWritePosition(bool append);
    void WriteCentralHeaders();
    void EncodeCentralHeader(TDirItem& item, const EntryNameCodec& codec, ByteWriter& out) const;
    void WriteEndRecords(std::int64_t start, std::int64_t position);
    void EncodeZip64EndRecords(std::int64_t start, std::int64_t position,
                               std::uint64_t directorySize, ByteWriter& out);

    // Searches the end record unless the probe of the open just did; the
    // probe's result is taken once.
    bool EndRecordForRead(EndOfCentralDirectory& record, std::int64_t& position);

    bool OemFileNames() const;
    bool RepairOnOpen() const;
    // Reads the central headers at `start`; false when they do not fit.
    bool ReadCentralHeaders(std::int64_t start, std::uint64_t size, std::uint64_t count);
    bool PrefixFromEndRecord(std::int64_t directoryStart, std::uint64_t storedOffset);
    void DetectPrefix(std::int64_t endRecordPosition);
    // True when the local header of `item` (its signature and name) is at
    // `position`.
    bool LocalHeaderOf(const TDirItem& item, std::uint64_t position);
    void CorrectOffsets();
    void TakeZip64Sizes(LocalFileHeader& local, std::int64_t position);
    std::int64_t DeflatedEnd(TDirItem& item, std::int64_t dataAt);

    // What ProbeEndRecord found, for the ReadDirectory of the same open:
    // searching the end record reads the last 64 KiB of the file.
    struct ProbedEnd {
        bool found = false;
        EndOfCentralDirectory record;
        std::int64_t position = -1;
    };
    std::optional<ProbedEnd> probedEnd_;
};

}  // namespace archive
