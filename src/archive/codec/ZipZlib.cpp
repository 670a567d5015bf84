#include "archive/codec/ZipZlib.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "archive/ZipConst.h"
#include "archive/ZipExcept.h"
#include "platform/Files.h"
#include "platform/Stream.h"

namespace archive {

namespace {

constexpr std::size_t ZlibHeaderSize = 2;
constexpr std::size_t AdlerTrailerSize = 4;
// Output buffers of one inflate step stay below this share of the free memory.
constexpr std::uint64_t MemoryShare = 20;
// ... but are never made smaller than this when the memory cannot be read,
constexpr std::uint64_t MinOutputBuffer = 0x100000;
// ... nor larger than this: a full buffer is written out and filled again, so
// a larger one would only hold more memory.
constexpr std::uint64_t MaxOutputBuffer = 0x1000000;
// The chunk is not halved below this.
constexpr std::size_t MinInflateChunk = 512;

// The share of the free memory that output buffers may take. The free
// memory is read again at most once a second, not for every chunk or entry:
// reading it costs more than inflating a small entry.
std::uint64_t MemoryBound() {
    using Clock = std::chrono::steady_clock;
    static std::atomic<bool> probed{false};
    static std::atomic<std::int64_t> readAt{0};
    static std::atomic<std::uint64_t> available{0};
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count();
    if (!probed.load() || now - readAt.load() >= 1000) {
        available.store(platform::AvailablePhysicalMemory());
        readAt.store(now);
        probed.store(true);
    }
    return available.load() / MemoryShare;
}

// The buffers that inflate reads from and writes into: they grow without
// being zero-filled first, as every byte is written before it is read
// (filling them cost more than inflating a small entry).
template <typename T>
struct UnfilledAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UnfilledAllocator<U>;
    };
    template <typename U>
    void construct(U* place) noexcept {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};
using ByteBuffer = std::vector<std::uint8_t, UnfilledAllocator<std::uint8_t>>;

// zlib's memory comes zero-filled from the engine's own allocator.
voidpf ZipAlloc(voidpf, uInt items, uInt size) {
    return std::calloc(items, size);
}
void ZipFree(voidpf, voidpf address) {
    std::free(address);
}

z_stream NewZStream() {
    z_stream stream{};
    stream.zalloc = ZipAlloc;
    stream.zfree = ZipFree;
    stream.opaque = Z_NULL;
    return stream;
}

// --- compression -----------------------------------------------------------

// One deflate stream over the blocks of one source (zlib wrapper, window
// bits 15, memory level 8, default strategy).
class Deflater {
  public:
    explicit Deflater(int level) : stream_(NewZStream()) {
        // The library checks the version text against its own, so the one
        // it was built with is passed.
        if (deflateInit(&stream_, level) != Z_OK) {
            throw ECompressionError();
        }
    }
    ~Deflater() {
        if (!ended_) {
            deflateEnd(&stream_);
        }
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // CompressBlock for a deflated entry: one deflate call consumes the whole
    // block into `out`. The first block loses the zlib header. False on a
    // zlib error, or if the block did not fit (never for this buffer size).
    bool CompressBlock(const std::uint8_t* in, std::size_t n, bool first, bool last,
                       std::vector<std::uint8_t>& out, std::size_t& outStart,
                       std::size_t& outLength) {
        const std::size_t size = (n + n / 10 + 12 + 255) / 256 * 256;
        out.resize(size);
        stream_.next_in = const_cast<Bytef*>(in);
        stream_.avail_in = static_cast<uInt>(n);
        stream_.next_out = out.data();
        stream_.avail_out = static_cast<uInt>(size);
        const uLong before = stream_.total_out;
        const int result = deflate(&stream_, last ? Z_FINISH : Z_SYNC_FLUSH);
        if (result < 0) {
            return false;
        }
        const bool complete =
            last ? result == Z_STREAM_END : stream_.avail_in == 0 && stream_.avail_out > 0;
        if (!complete) {
            return false;
        }
        outLength = stream_.total_out - before;
        outStart = 0;
        if (first) {
            if (outLength < ZlibHeaderSize) {
                return false;
            }
            outStart = ZlibHeaderSize;
            outLength -= ZlibHeaderSize;
        }
        return true;
    }

    // deflateEnd's result. A stream left before its last block reports
    // Z_DATA_ERROR; the caller knows whether it stopped early.
    int End() {
        ended_ = true;
        return deflateEnd(&stream_);
    }

  private:
    z_stream stream_;
    bool ended_ = false;
};

// --- decompression ---------------------------------------------------------

// The running output of one entry: folds the CRC-32, writes to the target,
// and refuses to go past the entry's uncompressed size.
class DecodedOutput {
  public:
    DecodedOutput(EntrySink& target, std::uint64_t limit) : target_(target), limit_(limit) {}

    // False on a short write, or when the bytes would pass the limit: then
    // only the bytes up to the limit are written.
    bool Emit(const std::uint8_t* bytes, std::size_t count) {
        bool withinLimit = true;
        if (count > limit_ - written_) {
            count = static_cast<std::size_t>(limit_ - written_);
            withinLimit = false;
        }
        crc_ = UpdateCrc32(crc_, bytes, count);
        const std::size_t taken = target_.Write(bytes, count);
        written_ += taken;
        return withinLimit && taken == count;
    }

    std::uint64_t Written() const { return written_; }
    std::uint32_t Crc32() const { return crc_ ^ Crc32Final; }

  private:
    EntrySink& target_;
    std::uint64_t limit_;
    std::uint64_t written_ = 0;
    std::uint32_t crc_ = Crc32Start;
};

// An inflate stream kept for the next entry of this thread: inflateReset
// gives it back as new with its window kept (an inflate never reads past what
// it wrote itself), so extracting many small entries allocates the state and
// the 32 KiB window, zero-filled, once rather than once per entry.
class SpareInflateStream {
  public:
    SpareInflateStream() = default;
    SpareInflateStream(const SpareInflateStream&) = delete;
    SpareInflateStream& operator=(const SpareInflateStream&) = delete;
    ~SpareInflateStream() {
        if (ready_) {
            inflateEnd(&stream_);
        }
    }

    // The stream, as new; nullptr while it is in use or when it cannot be
    // made.
    z_stream* Take() {
        if (taken_) {
            return nullptr;
        }
        if (!ready_) {
            stream_ = NewZStream();
            if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) {
                return nullptr;
            }
            ready_ = true;
        } else if (inflateReset(&stream_) != Z_OK) {
            return nullptr;
        }
        taken_ = true;
        return &stream_;
    }
    void Give() { taken_ = false; }

  private:
    z_stream stream_{};
    bool ready_ = false;
    bool taken_ = false;
};

thread_local SpareInflateStream spareInflate;

// One inflate stream over the chunks of one entry. The stream is raw
// deflate data, as ZIP stores it: it ends with its last block, and bytes
// after that block are not taken for a trailer of any kind.
// The thread's spare stream serves it when it is free, else it has one of
// its own.
class Inflater {
  public:
    Inflater() : stream_(spareInflate.Take()) {
        spare_ = stream_ != nullptr;
        if (!spare_) {
            own_ = NewZStream();
            stream_ = &own_;
            started_ = inflateInit2(&own_, -MAX_WBITS) == Z_OK;
        }
    }
    ~Inflater() {
        if (!ended_) {
            Release();
        }
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    bool Started() const { return spare_ || started_; }

    // InflateChunk: inflates `count` input bytes into `out`, handing every
    // filled buffer to `output`, until the input is used up. Data after the
    // end of the deflate stream is ignored. False on corrupt data or a
    // failed output.
    bool InflateChunk(const std::uint8_t* in, std::size_t count, ByteBuffer& out,
                      DecodedOutput& output) {
        if (finished_) {
            return true;
        }
        stream_->next_in = const_cast<Bytef*>(in);
        stream_->avail_in = static_cast<uInt>(count);
        for (;;) {
            stream_->next_out = out.data();
            stream_->avail_out = static_cast<uInt>(out.size());
            const int result = inflate(stream_, Z_NO_FLUSH);
            if ((result < 0 && result != Z_BUF_ERROR) || result == Z_NEED_DICT) {
                return false;
            }
            const std::size_t produced = out.size() - stream_->avail_out;
            if (produced > 0 && !output.Emit(out.data(), produced)) {
                return false;
            }
            if (result == Z_STREAM_END) {
                finished_ = true;
                return true;
            }
            if (stream_->avail_in == 0 && stream_->avail_out > 0) {
                return true;
            }
            if (result == Z_BUF_ERROR) {
                // No progress was possible: only right when the input is used up.
                return stream_->avail_in == 0;
            }
        }
    }

    int End() {
        ended_ = true;
        return Release();
    }

    bool Finished() const { return finished_; }
    // Input bytes the stream has taken so far.
    std::uint64_t TotalIn() const { return stream_->total_in; }

  private:
    int Release() {
        if (spare_) {
            spareInflate.Give();
            return Z_OK;
        }
        return started_ ? inflateEnd(&own_) : Z_OK;
    }

    z_stream* stream_;
    z_stream own_{};
    bool spare_ = false;
    bool started_ = false;
    bool ended_ = false;
    bool finished_ = false;
};

// The compressed chunk of one step: starting from `available`, halved while
// its estimated output reaches the memory bound, down to below 512 bytes.
std::size_t ChooseChunk(std::size_t available, std::uint64_t compressedSize,
                        std::uint64_t uncompressedSize, std::uint64_t memoryBound) {
    std::size_t chunk = available;
    while (chunk >= MinInflateChunk &&
           EstimateOutputSize(chunk, compressedSize, uncompressedSize) >= memoryBound) {
        chunk /= 2;
    }
    return chunk;
}

}  // namespace

std::size_t BlockSizeForMode(int mode) {
    if (mode >= 1 && mode <= 3) {
        return 0x80000;
    }
    if (mode >= 7 && mode <= 9) {
        return 0x180000;
    }
    return 0x100000;
}

std::uint64_t EstimateOutputSize(std::uint64_t chunk, std::uint64_t compressedSize,
                                 std::uint64_t uncompressedSize) {
    // Results are kept at or below 2^62 so that forged sizes cannot overflow.
    constexpr std::uint64_t Ceiling = std::uint64_t{1} << 62;
    const std::uint64_t ratio = compressedSize == 0 ? 0 : uncompressedSize / compressedSize;
    const std::uint64_t span = chunk + chunk / 2 + 267;
    std::uint64_t x = Ceiling;
    if (ratio < Ceiling / span) {
        x = std::min(Ceiling, (ratio + 1) * span) / 256 * 256;
    }
    if (x == 0) {
        return 1;
    }
    const auto exponent = std::lround(std::log2(static_cast<double>(x)));
    return std::uint64_t{1} << std::min<long>(exponent, 62);
}

std::size_t StreamSink::Write(const void* buffer, std::size_t count) {
    return stream_.Write(buffer, count);
}

std::size_t StringSink::Write(const void* buffer, std::size_t count) {
    if (target_.size() > limit_ || count > limit_ - target_.size()) {
        return 0;
    }
    target_.append(static_cast<const char*>(buffer), count);
    return count;
}

bool WriteWithRetry(platform::TFileStream& archive, const void* data, std::size_t count,
                    const EntryCodecContext& context) {
    const std::int64_t start = archive.Position();
    for (;;) {
        if (archive.Write(data, count) == count) {
            return true;
        }
        const bool cancel = context.DiskFull ? context.DiskFull(archive.FileName()) : true;
        if (cancel) {
            return false;
        }
        archive.SetPosition(start);
    }
}

bool CompressEntryData(platform::TFileStream& source, platform::TFileStream& archive,
                       TDirItem& entry, const EntryCodecContext& context) {
    // A working copy of the header; the source from its start.
    CentralFileHeader header = entry.Header;
    source.Seek(0, platform::SeekOrigin::soBeginning);
    const auto sourceSize = static_cast<std::uint64_t>(source.Size());
    const bool deflated = header.Method != MethodStored;
    std::uint32_t crc = Crc32Start;
    std::uint64_t consumed = 0;
    std::uint64_t written = 0;
    bool cancelled = false;

    // The input buffer and the deflate stream.
    const std::size_t blockSize = BlockSizeForMode(entry.CompressMode);
    std::vector<std::uint8_t> input(std::min<std::uint64_t>(sourceSize, blockSize));
    std::vector<std::uint8_t> output;
    Deflater deflater(entry.CompressMode);

    // Block by block.
    while (consumed < sourceSize) {
        if (context.Progress && context.Progress(consumed, sourceSize)) {
            cancelled = true;
            break;
        }
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, sourceSize - consumed));
        if (source.Read(input.data(), n) < n) {
            break;
        }
        crc = UpdateCrc32(crc, input.data(), n);
        const bool first = consumed == 0;
        const bool last = sourceSize - consumed == n;
        const std::uint8_t* block = input.data();
        std::size_t length = n;
        if (deflated) {
            std::size_t start = 0;
            if (!deflater.CompressBlock(input.data(), n, first, last, output, start, length)) {
                break;
            }
            block = output.data() + start;
        }
        consumed += n;
        if (deflated && last) {
            length -= std::min(length, AdlerTrailerSize);
        }
        if (!WriteWithRetry(archive, block, length, context)) {
            consumed -= n;
            cancelled = true;
            break;
        }
        written += length;
    }

    // End the deflate stream; one left before its last block reports
    // Z_DATA_ERROR, which only tells what the loop already knows.
    const bool stoppedEarly = consumed != sourceSize;
    const int endResult = deflater.End();
    if (endResult < 0 && !(stoppedEarly && endResult == Z_DATA_ERROR)) {
        throw ECompressionError();
    }

    if (!stoppedEarly) {
        // The CRC-32 and the sizes, in Zip64 fields when they need them.
        header.Crc32 = crc ^ Crc32Final;
        const bool always64 = context.Zip64Mode == zmAlways;
        if (written >= Zip64Marker32 || always64) {
            entry.HasZip64 = true;
            header.CompressedSize = Zip64Marker32;
            entry.EditZip64().PackedSize = written;
        } else {
            header.CompressedSize = static_cast<std::uint32_t>(written);
        }
        if (sourceSize >= Zip64Marker32 || always64) {
            entry.HasZip64 = true;
            header.UncompressedSize = Zip64Marker32;
            entry.EditZip64().Size = sourceSize;
        } else {
            header.UncompressedSize = static_cast<std::uint32_t>(sourceSize);
        }
        if (entry.HasZip64 && context.Zip64Mode == zmDisabled) {
            throw EZipException(native::Zip64DisabledData, context.Archiver,
                                {entry.SourceFileName()});
        }
        if (sourceSize == 0) {
            header.Method = MethodStored;
        }
    } else if (!cancelled) {
        // The source delivered less than its size.
        throw EZipException(
            native::InvalidCompressedSize, context.Archiver,
            {static_cast<std::int64_t>(sourceSize), static_cast<std::int64_t>(consumed)});
    }

    // The header goes back into the entry.
    entry.Header = header;
    return !cancelled;
}

DecodeResult DecompressEntryData(platform::TFileStream& archive, EntrySink& target,
                                 const TDirItem& entry, std::uint64_t dataLength,
                                 const EntryCodecContext& context) {
    DecodeResult result;
    const std::uint16_t method = entry.Header.Method;
    if (method != MethodStored && method != MethodDeflate) {
        return result;
    }
    const std::uint64_t compressedSize = entry.CompressedSize();
    const std::uint64_t uncompressedSize = entry.UncompressedSize();

    // The inflate stream and the input buffer.
    Inflater inflater;
    if (method == MethodDeflate && !inflater.Started()) {
        return result;
    }
    ByteBuffer input(std::min<std::uint64_t>(dataLength, InflateChunkSize));
    ByteBuffer output;
    DecodedOutput decoded(target, uncompressedSize);

    // Chunk by chunk.
    std::uint64_t consumed = 0;
    while (consumed < dataLength) {
        if (context.Progress && context.Progress(consumed, dataLength)) {
            break;
        }
        const auto available = static_cast<std::size_t>(
            std::min<std::uint64_t>(InflateChunkSize, dataLength - consumed));
        const std::uint64_t memoryBound = MemoryBound();
        const std::size_t chunk =
            ChooseChunk(available, compressedSize, uncompressedSize, memoryBound);
        std::uint8_t* data = input.data();
        if (archive.Read(data, chunk) < chunk) {
            return result;
        }
        if (method == MethodStored) {
            if (!decoded.Emit(data, chunk)) {
                return result;
            }
        } else {
            // The output buffer takes what the estimate expects, bounded by
            // the memory share and by what the entry may still produce; a
            // full buffer is written out and filled again.
            const std::uint64_t left = uncompressedSize - decoded.Written();
            const std::uint64_t room =
                left == std::numeric_limits<std::uint64_t>::max() ? left : left + 1;
            const std::uint64_t bound = std::clamp(memoryBound, MinOutputBuffer, MaxOutputBuffer);
            output.resize(static_cast<std::size_t>(std::min(
                {EstimateOutputSize(chunk, compressedSize, uncompressedSize), bound, room})));
            if (!inflater.InflateChunk(data, chunk, output, decoded)) {
                return result;
            }
        }
        consumed += chunk;
        if (inflater.Finished()) {
            break;  // what follows the stream inside the entry is not data
        }
    }

    // End the stream; the count and CRC-32 go to the caller's test.
    if (method == MethodDeflate && inflater.End() < 0) {
        throw EDecompressionError();
    }
    result.Ok = true;
    result.Written = decoded.Written();
    result.Crc32 = decoded.Crc32();
    return result;
}

bool InflateExtent(platform::TFileStream& archive, std::uint64_t limit, DeflateExtent& extent) {
    Inflater inflater;
    if (!inflater.Started()) {
        return false;
    }
    TNullStream nowhere;
    DecodedOutput decoded(nowhere, std::numeric_limits<std::uint64_t>::max());
    ByteBuffer input;
    ByteBuffer output(MinOutputBuffer);
    std::uint64_t consumed = 0;
    while (consumed < limit && !inflater.Finished()) {
        input.resize(
            static_cast<std::size_t>(std::min<std::uint64_t>(InflateChunkSize, limit - consumed)));
        input.resize(archive.Read(input.data(), input.size()));
        if (input.empty() || !inflater.InflateChunk(input.data(), input.size(), output, decoded)) {
            return false;
        }
        consumed += input.size();
    }
    if (!inflater.Finished()) {
        return false;
    }
    extent.CompressedSize = inflater.TotalIn();
    extent.UncompressedSize = decoded.Written();
    extent.Crc32 = decoded.Crc32();
    return true;
}

}  // namespace archive
