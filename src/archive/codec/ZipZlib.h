// The codec of entry data: ZIP method 8 (raw deflate) and method 0 (stored)
// over zlib. zlib is driven with its own wrapper; the 2-byte header and the
// Adler-32 trailer are stripped after compressing, and a header is put in
// front of the raw data before inflating. Entry data streams block by block,
// so memory stays bounded whatever the entry's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "archive/ZipTypes.h"
#include "archive/codec/ZipCrc32.h"
#include "archive/directory/ZipDirArray.h"
#include "platform/Errors.h"

namespace platform {
class TFileStream;
}

namespace archive {

class TComponent;

// A negative zlib result while compressing or decompressing.
class ECompressionError : public platform::Exception {
  public:
    ECompressionError() : platform::Exception("error") {}
};
class EDecompressionError : public platform::Exception {
  public:
    EDecompressionError() : platform::Exception("error") {}
};

// Input block of one deflate call: modes 1-3 512 KiB, 7-9 1.5 MiB, else 1 MiB.
std::size_t BlockSizeForMode(int mode);

// Largest compressed chunk read for one inflate step.
inline constexpr std::size_t InflateChunkSize = 0x100000;

// Expected output of inflating `chunk` bytes of an entry with these sizes:
// ((ratio + 1) * (chunk + chunk / 2 + 267)) rounded down to a multiple of
// 256, then to the nearest power of two on a logarithmic scale; ratio is
// uncompressed div compressed (0 when nothing is compressed).
std::uint64_t EstimateOutputSize(std::uint64_t chunk, std::uint64_t compressedSize,
                                 std::uint64_t uncompressedSize);

// What the codec asks of the archive component while it streams one entry.
// The component fills it from its dispatchers: `Progress` fires the file and
// overall progress events, `DiskFull` runs DoDiskFull with the cancel flag
// preset to true. Either returning true means the operation is cancelled;
// the component sets its own Cancelled then.
struct EntryCodecContext {
    const TComponent* Archiver = nullptr;  // names the component in messages
    TZip64Mode Zip64Mode = zmDisabled;
    // Bytes of the entry done so far and in all; unset never cancels.
    std::function<bool(std::uint64_t done, std::uint64_t total)> Progress;
    // The archive's file name; unset cancels, as a single-file archive does
    // with no OnDiskFull handler.
    std::function<bool(const std::string& archiveFileName)> DiskFull;
};

// Where decoded entry data goes: a file, or nowhere when an entry is tested.
class EntrySink {
  public:
    virtual ~EntrySink() = default;
    // The bytes taken; fewer than `count` is a failed write.
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
};

class StreamSink : public EntrySink {
  public:
    explicit StreamSink(platform::TFileStream& stream) : stream_(stream) {}
    std::size_t Write(const void* buffer, std::size_t count) override;

  private:
    platform::TFileStream& stream_;
};

// Collects an entry's bytes in memory, up to a limit: a write that would go
// past it is refused whole, which ends the extraction with a failure.
class StringSink : public EntrySink {
  public:
    StringSink(std::string& target, std::uint64_t limit) : target_(target), limit_(limit) {}
    std::size_t Write(const void* buffer, std::size_t count) override;

  private:
    std::string& target_;
    std::uint64_t limit_;
};

// Accepts and discards every write.
class TNullStream : public EntrySink {
  public:
    std::size_t Write(const void*, std::size_t count) override { return count; }
};

// Writes `count` bytes at the archive's position. A short write asks
// `context.DiskFull`; when it clears the cancel flag the block is written
// again from where it began, as often as needed. False when cancelled.
bool WriteWithRetry(platform::TFileStream& archive, const void* data, std::size_t count,
                    const EntryCodecContext& context);

// Compresses the whole `source` into the archive at its position, with the
// entry's method (0 or 8) and CompressMode, and sets the entry's CRC-32 and
// sizes (Zip64 values when needed). True on success, false when cancelled.
// Raises native error 41 when the entry would need Zip64 values while they
// are disabled, 34 when the source delivers fewer bytes than its size, and
// ECompressionError when zlib fails to start or end.
bool CompressEntryData(platform::TFileStream& source, platform::TFileStream& archive,
                       TDirItem& entry, const EntryCodecContext& context);

struct DecodeResult {
    bool Ok = false;            // decoding ran to the end of the data (or was cancelled)
    std::uint64_t Written = 0;  // bytes given to the sink
    std::uint32_t Crc32 = 0;    // CRC-32 of those bytes
};

// Decodes `dataLength` bytes of entry data, read from the archive at its
// position, into `target`. Method 0 is copied, method 8 inflated; any other
// method fails at once. Decoding fails on corrupt or truncated data, a short
// read or write, and as soon as the output would pass the entry's
// uncompressed size (at most that many bytes reach the target). The caller
// compares Written and Crc32 with the directory.
DecodeResult DecompressEntryData(platform::TFileStream& archive, EntrySink& target,
                                 const TDirItem& entry, std::uint64_t dataLength,
                                 const EntryCodecContext& context);

// Where a deflate stream ends and what it holds.
struct DeflateExtent {
    std::uint64_t CompressedSize = 0;
    std::uint64_t UncompressedSize = 0;
    std::uint32_t Crc32 = 0;
};

// Inflates the deflate stream at the archive's position, reading at most
// `limit` bytes, and tells how long it is; the data itself is dropped. False
// when the stream is corrupt or does not end within the limit.
bool InflateExtent(platform::TFileStream& archive, std::uint64_t limit, DeflateExtent& extent);

}  // namespace archive
