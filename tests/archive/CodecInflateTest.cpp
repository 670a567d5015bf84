// Decoding entry data that other tools wrote, damaged data, size lies and
// decompression bombs, and methods the engine does not decode.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "CodecSupport.h"
#include "TestCorpus.h"
#include "archive/codec/ZipZlib.h"
#include "archive/records/ZipRecords.h"
#include "platform/Stream.h"

namespace archive {
namespace {

using codec_test::Bytes;
using codec_test::CorpusPath;
using codec_test::EntryInfo;
using codec_test::LocateEntry;
using codec_test::ReadFile;
using codec_test::WriteFile;
using platform::TFileStream;

std::uint32_t ZlibCrc(const Bytes& data) {
    return static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

TDirItem EntryOf(const EntryInfo& info) {
    TDirItem entry;
    entry.Header.Method = static_cast<std::uint16_t>(info.Method);
    entry.Header.Crc32 = info.Crc32;
    entry.Header.CompressedSize = static_cast<std::uint32_t>(info.CompressedSize);
    entry.Header.UncompressedSize = static_cast<std::uint32_t>(info.UncompressedSize);
    return entry;
}

// Decodes one entry of an archive file into `target`.
DecodeResult DecodeEntry(const std::string& archive, const EntryInfo& info, EntrySink& target,
                         const EntryCodecContext& context = {}) {
    TFileStream in(archive, platform::fmOpenRead | platform::fmShareDenyNone);
    in.SetPosition(static_cast<std::int64_t>(info.DataOffset));
    return DecompressEntryData(in, target, EntryOf(info), info.CompressedSize, context);
}

// Decodes one entry into a file; the file's bytes.
Bytes DecodeToFile(const std::string& archive, const EntryInfo& info, const std::string& target,
                   DecodeResult& result) {
    {
        TFileStream out(target, platform::fmCreate);
        StreamSink sink(out);
        result = DecodeEntry(archive, info, sink);
    }
    return ReadFile(target);
}

class CodecInflate : public ::testing::Test {
  protected:
    codec_test::TempFolder folder_;
};

// Deflated by zip at both ends of its scale, by python, by 7z, by jar (which
// writes data descriptors), and stored by zip: each decodes to the original
// with the directory's CRC-32. The data spans several input chunks.
TEST_F(CodecInflate, DecodesWhatOtherToolsWrote) {
    Bytes data = codec_test::SampleText(1'000'000);
    const Bytes noise = codec_test::RandomBytes(1'100'000);
    data.insert(data.end(), noise.begin(), noise.end());
    WriteFile(folder_ / "data.txt", data);
    const std::string cd = "cd " + Quote(folder_.Path()) + " && ";
    const std::vector<std::pair<std::string, std::string>> writers = {
        {"zip1.zip", "zip -q -1 zip1.zip data.txt"},
        {"zip9.zip", "zip -q -9 zip9.zip data.txt"},
        {"zip0.zip", "zip -q -0 zip0.zip data.txt"},
        {"py.zip",
         "python3 -c 'import zipfile; zipfile.ZipFile(\"py.zip\", \"w\", "
         "zipfile.ZIP_DEFLATED).write(\"data.txt\")'"},
        {"7z.zip", "7z a -tzip -mx=5 -bso0 -bsp0 7z.zip data.txt"},
        {"jar.jar", "jar cf jar.jar data.txt"},
    };
    for (const auto& [name, command] : writers) {
        SCOPED_TRACE(name);
        const CommandResult made = Shell(cd + command + " 2>&1");
        ASSERT_EQ(made.status, 0) << made.out;
        const EntryInfo info = LocateEntry(folder_ / name, "data.txt");
        EXPECT_EQ(info.Method, name == "zip0.zip" ? 0 : 8);
        DecodeResult result;
        const Bytes decoded = DecodeToFile(folder_ / name, info, folder_ / "out.bin", result);
        ASSERT_TRUE(result.Ok);
        EXPECT_EQ(result.Written, data.size());
        EXPECT_EQ(result.Crc32, info.Crc32);
        EXPECT_TRUE(decoded == data);
    }
}

// Damaged entries of another project's test archive: a broken deflate
// stream fails; altered data with intact streams decodes but shows a
// different CRC-32 for the caller's test.
TEST_F(CodecInflate, DamagedDataFailsOrShowsInTheCrc) {
    QUELLOR_SKIP_WITHOUT_CORPUS();
    const std::string archive = CorpusPath("zip/libzip/broken.zip");
    for (const std::string name : {"storedok", "deflateok"}) {
        const EntryInfo info = LocateEntry(archive, name);
        TNullStream sink;
        const DecodeResult result = DecodeEntry(archive, info, sink);
        EXPECT_TRUE(result.Ok) << name;
        EXPECT_EQ(result.Crc32, info.Crc32) << name;
        EXPECT_EQ(result.Written, info.UncompressedSize) << name;
    }
    for (const std::string name : {"storedcrcerror", "deflatecrcerror"}) {
        const EntryInfo info = LocateEntry(archive, name);
        TNullStream sink;
        const DecodeResult result = DecodeEntry(archive, info, sink);
        EXPECT_TRUE(result.Ok) << name;
        EXPECT_NE(result.Crc32, info.Crc32) << name;
    }
    const EntryInfo info = LocateEntry(archive, "deflatezliberror");
    TNullStream sink;
    EXPECT_FALSE(DecodeEntry(archive, info, sink).Ok);
}

// Data cut short or with a bad block type: never a pass. (A cut inside the
// last end-of-block code may still give every byte, which the size and CRC-32
// then accept.)
TEST_F(CodecInflate, TruncatedOrInvalidStreamsNeverPass) {
    const Bytes data = codec_test::SampleText(200'000);
    WriteFile(folder_ / "data.txt", data);
    Shell("cd " + Quote(folder_.Path()) + " && zip -q -6 a.zip data.txt");
    const std::string archive = folder_ / "a.zip";
    EntryInfo info = LocateEntry(archive, "data.txt");
    for (std::uint64_t length :
         {std::uint64_t{1}, info.CompressedSize / 2, info.CompressedSize - 100}) {
        EntryInfo cut = info;
        cut.CompressedSize = length;
        TNullStream sink;
        const DecodeResult result = DecodeEntry(archive, cut, sink);
        EXPECT_FALSE(result.Ok && result.Written == data.size() && result.Crc32 == info.Crc32)
            << "length " << length;
    }
    // Block type 3 is reserved.
    Bytes bytes = ReadFile(archive);
    bytes[info.DataOffset] = 0x07;
    WriteFile(archive, bytes);
    TNullStream sink;
    EXPECT_FALSE(DecodeEntry(archive, info, sink).Ok);
}

// Raw deflate of many zeros: an archive that declares a small size gets no
// more than that size written and fails; the honest size decodes in full.
TEST_F(CodecInflate, DecompressionBombStopsAtTheDeclaredSize) {
    const std::string raw = folder_ / "bomb.raw";
    const std::size_t zeros = 100'000'000;
    Shell(
        "python3 -c 'import sys, zlib\n"
        "c = zlib.compressobj(9, zlib.DEFLATED, -15)\n"
        "open(sys.argv[1], \"wb\").write(c.compress(bytes(" +
        std::to_string(zeros) + ")) + c.flush())' " + Quote(raw));
    EntryInfo info;
    info.Method = MethodDeflate;
    info.CompressedSize = ReadFile(raw).size();
    ASSERT_GT(info.CompressedSize, 1000u);
    ASSERT_LT(info.CompressedSize, 200'000u);

    info.UncompressedSize = 1000;
    DecodeResult result;
    const Bytes written = DecodeToFile(raw, info, folder_ / "out.bin", result);
    EXPECT_FALSE(result.Ok);
    EXPECT_LE(written.size(), 1000u);

    info.UncompressedSize = zeros;
    TNullStream sink;
    result = DecodeEntry(raw, info, sink);
    EXPECT_TRUE(result.Ok);
    EXPECT_EQ(result.Written, zeros);
    const Bytes all(zeros, 0);
    EXPECT_EQ(result.Crc32, ZlibCrc(all));
}

// Another project's size-lie archives: the entry that inflates past its
// declared 10 bytes fails with at most 10 written; its neighbour is fine.
TEST_F(CodecInflate, EntriesLargerThanDeclaredFail) {
    QUELLOR_SKIP_WITHOUT_CORPUS();
    for (const std::string file :
         {"size_exceeds_declared_deflate", "size_exceeds_declared_stored"}) {
        SCOPED_TRACE(file);
        const std::string archive =
            CorpusPath("zip/libarchive/test_read_format_zip_" + file + ".zip");
        DecodeResult result;
        const Bytes first =
            DecodeToFile(archive, LocateEntry(archive, "first"), folder_ / "first", result);
        EXPECT_FALSE(result.Ok);
        EXPECT_LE(first.size(), 10u);
        const EntryInfo info = LocateEntry(archive, "second");
        const Bytes second = DecodeToFile(archive, info, folder_ / "second", result);
        EXPECT_TRUE(result.Ok);
        EXPECT_EQ(std::string(second.begin(), second.end()), "hello world");
        EXPECT_EQ(result.Crc32, info.Crc32);
    }
}

// Deflate64, bzip2 and LZMA entries end as a failure, with nothing written.
TEST_F(CodecInflate, OtherMethodsFailCleanly) {
    QUELLOR_SKIP_WITHOUT_CORPUS();
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"zip/commons-compress/lorem-ipsum-deflate64.zip", "lorem-ipsum.txt"},
        {"zip/commons-compress/COMPRESS-380.zip", "input2"},
        {"zip/commons-compress/bzip2-zip.zip", "lots-of-as"},
        {"zip/libarchive/test_read_format_zip_lzma.zipx", "vimrc"},
    };
    for (const auto& [file, name] : entries) {
        const std::string archive = CorpusPath(file);
        const EntryInfo info = LocateEntry(archive, name);
        EXPECT_NE(info.Method, 0);
        EXPECT_NE(info.Method, 8);
        DecodeResult result;
        const Bytes written = DecodeToFile(archive, info, folder_ / "out", result);
        EXPECT_FALSE(result.Ok) << file;
        EXPECT_TRUE(written.empty()) << file;
    }
}

TEST_F(CodecInflate, ProgressCancelStopsBeforeTheNextChunk) {
    const Bytes data = codec_test::RandomBytes(3 * InflateChunkSize);
    WriteFile(folder_ / "data.bin", data);
    Shell("cd " + Quote(folder_.Path()) + " && zip -q -1 a.zip data.bin");
    const EntryInfo info = LocateEntry(folder_ / "a.zip", "data.bin");
    EntryCodecContext context;
    int calls = 0;
    context.Progress = [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, info.CompressedSize);
        EXPECT_LT(done, total);
        return ++calls == 2;
    };
    TNullStream sink;
    const DecodeResult result = DecodeEntry(folder_ / "a.zip", info, sink, context);
    EXPECT_TRUE(result.Ok);
    EXPECT_EQ(calls, 2);
    EXPECT_GT(result.Written, 0u);
    EXPECT_LT(result.Written, data.size());
}

TEST(CodecSizes, BlockSizeAndOutputEstimate) {
    EXPECT_EQ(BlockSizeForMode(0), 0x100000u);
    EXPECT_EQ(BlockSizeForMode(1), 0x80000u);
    EXPECT_EQ(BlockSizeForMode(3), 0x80000u);
    EXPECT_EQ(BlockSizeForMode(4), 0x100000u);
    EXPECT_EQ(BlockSizeForMode(6), 0x100000u);
    EXPECT_EQ(BlockSizeForMode(7), 0x180000u);
    EXPECT_EQ(BlockSizeForMode(9), 0x180000u);
    // (1 * 1,573,131) down to 1,573,120: log2 20.58 gives 2 MiB.
    EXPECT_EQ(EstimateOutputSize(0x100000, 1000, 999), 0x200000u);
    // (4 * 1,573,131) down to 6,292,480: log2 22.58 gives 8 MiB.
    EXPECT_EQ(EstimateOutputSize(0x100000, 1000, 3999), 0x800000u);
    // 3 * 1,035 = 3,105 down to 3,072: log2 11.58 gives 4 KiB.
    EXPECT_EQ(EstimateOutputSize(512, 10, 20), 0x1000u);
    // Nothing compressed, and forged sizes, stay defined.
    EXPECT_EQ(EstimateOutputSize(512, 0, 100), 0x400u);
    EXPECT_EQ(EstimateOutputSize(0x100000, 1, ~std::uint64_t{0}), std::uint64_t{1} << 62);
}

}  // namespace
}  // namespace archive
