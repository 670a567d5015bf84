// Compressing entry data into an archive file and reading it back: our own
// decoder, python's raw inflate, and unzip on an archive holding the data.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>

#include "CodecSupport.h"
#include "archive/ZipExcept.h"
#include "archive/codec/ZipZlib.h"
#include "archive/records/ZipRecords.h"
#include "platform/Faults.h"
#include "platform/Stream.h"

namespace archive {
namespace {

using codec_test::Bytes;
using codec_test::ReadFile;
using codec_test::WriteFile;
using platform::TFileStream;

const Bytes Prefix = {'P', 'R', 'E', 'F', 'I', 'X'};

std::uint32_t ZlibCrc(const Bytes& data) {
    return static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

struct Compressed {
    bool Ok = false;
    TDirItem Entry;
    Bytes Data;  // what landed in the archive after the prefix
    std::int64_t EndPosition = 0;
};

class CodecDeflate : public ::testing::Test {
  protected:
    void TearDown() override { platform::DisarmAllFaults(); }

    // A prepared entry as a commit makes it: method by mode, CRC-32 preset.
    static TDirItem PreparedEntry(int mode) {
        TDirItem entry;
        entry.CompressMode = static_cast<std::uint8_t>(mode);
        entry.Header.Method = mode == 0 ? MethodStored : MethodDeflate;
        entry.Header.Crc32 = 0xFFFFFFFF;
        entry.SetSourceFileName("source.bin");
        return entry;
    }

    // Compresses `data` from a real file into a real archive file, after a
    // few bytes already in the archive.
    Compressed Compress(const Bytes& data, int mode, const EntryCodecContext& context = {}) {
        const std::string source = folder_ / "source.bin";
        const std::string archive = folder_ / ("archive" + std::to_string(count_++) + ".bin");
        WriteFile(source, data);
        Compressed result;
        result.Entry = PreparedEntry(mode);
        {
            TFileStream in(source, platform::fmOpenRead | platform::fmShareDenyNone);
            TFileStream out(archive, platform::fmCreate);
            out.WriteBuffer(Prefix.data(), Prefix.size());
            result.Ok = CompressEntryData(in, out, result.Entry, context);
            result.EndPosition = out.Position();
        }
        const Bytes whole = ReadFile(archive);
        result.Data.assign(whole.begin() + static_cast<std::ptrdiff_t>(Prefix.size()), whole.end());
        return result;
    }

    // Decodes compressed bytes with our decoder, from a real file.
    Bytes Decode(const Compressed& c) {
        const std::string archive = folder_ / "decode.bin";
        const std::string target = folder_ / "decoded.bin";
        WriteFile(archive, c.Data);
        DecodeResult result;
        {
            TFileStream in(archive, platform::fmOpenRead | platform::fmShareDenyNone);
            TFileStream out(target, platform::fmCreate);
            StreamSink sink(out);
            result = DecompressEntryData(in, sink, c.Entry, c.Data.size(), {});
        }
        EXPECT_TRUE(result.Ok);
        EXPECT_EQ(result.Crc32, c.Entry.Header.Crc32);
        const Bytes decoded = ReadFile(target);
        EXPECT_EQ(result.Written, decoded.size());
        return decoded;
    }

    // Python's raw inflate must end exactly at the end of each file's data
    // (no zlib header or trailer) and give the original back.
    void ExpectPythonInflates(const std::vector<std::pair<Bytes, Bytes>>& pairs) {
        std::string args;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            const std::string raw = folder_ / ("raw" + std::to_string(i));
            const std::string original = folder_ / ("original" + std::to_string(i));
            WriteFile(raw, pairs[i].first);
            WriteFile(original, pairs[i].second);
            args.append(" ").append(Quote(raw)).append(" ").append(Quote(original));
        }
        const std::string script =
            "import sys, zlib\n"
            "for raw, orig in zip(sys.argv[1::2], sys.argv[2::2]):\n"
            "    d = zlib.decompressobj(-15)\n"
            "    out = d.decompress(open(raw, 'rb').read())\n"
            "    good = d.eof and not d.unused_data and out == open(orig, 'rb').read()\n"
            "    print('ok' if good else 'bad ' + raw)\n";
        const std::string out = Shell("python3 -c " + Quote(script) + args + " 2>&1").out;
        std::string expected;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            expected += "ok\n";
        }
        EXPECT_EQ(out, expected);
    }

    codec_test::TempFolder folder_;
    int count_ = 0;
};

void ExpectEntryDescribes(const Compressed& c, const Bytes& data) {
    EXPECT_EQ(c.Entry.Header.Crc32, ZlibCrc(data));
    EXPECT_EQ(c.Entry.Header.UncompressedSize, data.size());
    EXPECT_EQ(c.Entry.Header.CompressedSize, c.Data.size());
    EXPECT_EQ(c.EndPosition, static_cast<std::int64_t>(Prefix.size() + c.Data.size()));
    EXPECT_FALSE(c.Entry.HasZip64);
}

// Sizes around the block of each mode; text and incompressible data.
TEST_F(CodecDeflate, EveryModeRoundTripsAroundItsBlockSize) {
    std::vector<std::pair<Bytes, Bytes>> raw;
    for (int mode = 0; mode <= 9; ++mode) {
        const std::size_t block = BlockSizeForMode(mode);
        for (std::size_t size : {std::size_t{1}, block, block + 1}) {
            const Bytes data = (size % 2 == 1 && mode % 3 == 0)
                                   ? codec_test::RandomBytes(size)
                                   : codec_test::SampleText(size, mode);
            const Compressed c = Compress(data, mode);
            SCOPED_TRACE("mode " + std::to_string(mode) + " size " + std::to_string(size));
            ASSERT_TRUE(c.Ok);
            ExpectEntryDescribes(c, data);
            EXPECT_EQ(Decode(c), data);
            if (mode == 0) {
                EXPECT_EQ(c.Entry.Header.Method, MethodStored);
                EXPECT_EQ(c.Data, data);
            } else {
                EXPECT_EQ(c.Entry.Header.Method, MethodDeflate);
                raw.emplace_back(c.Data, data);
            }
        }
    }
    ExpectPythonInflates(raw);
}

TEST_F(CodecDeflate, RawDataHasNoZlibHeaderAndASyncPointBetweenBlocks) {
    const std::size_t block = BlockSizeForMode(1);
    const Bytes data = codec_test::SampleText(block + 1);
    const Compressed c = Compress(data, 1);
    ASSERT_TRUE(c.Ok);
    EXPECT_NE(c.Data[0], 0x78);
    // The empty stored block that ends a synchronised block.
    const Bytes marker = {0x00, 0x00, 0xFF, 0xFF};
    EXPECT_NE(std::search(c.Data.begin(), c.Data.end(), marker.begin(), marker.end()),
              c.Data.end());
    // One block alone has none before its end.
    const Compressed single = Compress(codec_test::SampleText(block), 1);
    EXPECT_EQ(std::search(single.Data.begin(), single.Data.end(), marker.begin(), marker.end()),
              single.Data.end());
}

TEST_F(CodecDeflate, EmptySourceIsStoredWithNoData) {
    for (int mode : {0, 1, 9}) {
        const Compressed c = Compress({}, mode);
        ASSERT_TRUE(c.Ok);
        EXPECT_EQ(c.Entry.Header.Method, MethodStored);
        EXPECT_EQ(c.Entry.Header.Crc32, 0u);
        EXPECT_EQ(c.Entry.Header.CompressedSize, 0u);
        EXPECT_EQ(c.Entry.Header.UncompressedSize, 0u);
        EXPECT_TRUE(c.Data.empty());
    }
}

// An archive written around our data: unzip and python's zipfile test it
// and give the files back.
TEST_F(CodecDeflate, UnzipReadsOurDataInARealArchive) {
    struct Item {
        std::string Name;
        Bytes Data;
        int Mode;
    };
    const std::vector<Item> items = {
        {"META-INF/MANIFEST.MF", codec_test::SampleText(300), 1},
        {"big.txt", codec_test::SampleText(3 * BlockSizeForMode(1) + 5), 1},
        {"noise.bin", codec_test::RandomBytes(BlockSizeForMode(9) + 9), 9},
        {"stored.txt", codec_test::SampleText(1000), 0},
        {"empty.txt", {}, 6},
    };
    Bytes archive;
    Bytes centralBytes;
    ByteWriter centralOut(centralBytes);
    for (const Item& item : items) {
        const Compressed c = Compress(item.Data, item.Mode);
        ASSERT_TRUE(c.Ok);
        LocalFileHeader local;
        local.VersionNeeded = VersionOem;
        local.Method = c.Entry.Header.Method;
        local.ModDate = 0x5A21;
        local.Crc32 = c.Entry.Header.Crc32;
        local.CompressedSize = c.Entry.Header.CompressedSize;
        local.UncompressedSize = c.Entry.Header.UncompressedSize;
        local.NameLength = static_cast<std::uint16_t>(item.Name.size());
        CentralFileHeader header;
        header.VersionMadeBy = header.VersionNeeded = VersionOem;
        header.Method = local.Method;
        header.ModDate = local.ModDate;
        header.Crc32 = local.Crc32;
        header.CompressedSize = local.CompressedSize;
        header.UncompressedSize = local.UncompressedSize;
        header.NameLength = local.NameLength;
        header.ExternalAttributes = AttrArchive;
        header.LocalHeaderOffset = static_cast<std::uint32_t>(archive.size());
        ByteWriter out(archive);
        local.Encode(out);
        out.String(item.Name);
        out.Bytes(c.Data);
        header.Encode(centralOut);
        centralOut.String(item.Name);
    }
    EndOfCentralDirectory end;
    end.EntriesOnDisk = end.TotalEntries = static_cast<std::uint16_t>(items.size());
    end.DirectorySize = static_cast<std::uint32_t>(centralBytes.size());
    end.DirectoryOffset = static_cast<std::uint32_t>(archive.size());
    archive.insert(archive.end(), centralBytes.begin(), centralBytes.end());
    ByteWriter endOut(archive);
    end.Encode(endOut);
    const std::string path = folder_ / "ours.zip";
    WriteFile(path, archive);

    const CommandResult tested = Shell("unzip -t " + Quote(path) + " 2>&1");
    EXPECT_EQ(tested.status, 0) << tested.out;
    EXPECT_NE(tested.out.find("No errors detected"), std::string::npos) << tested.out;
    for (const Item& item : items) {
        const std::string out = folder_ / "out.bin";
        Shell("unzip -p " + Quote(path) + " " + Quote(item.Name) + " > " + Quote(out));
        EXPECT_EQ(ReadFile(out), item.Data) << item.Name;
    }
    const std::string python =
        Shell("python3 -c 'import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).testzip())' " +
              Quote(path) + " 2>&1")
            .out;
    EXPECT_EQ(python, "None\n");
}

// A short write with no handler cancels: nothing is counted, the entry's
// header stays as it was.
TEST_F(CodecDeflate, DiskFullWithoutHandlerCancels) {
    const Bytes data = codec_test::SampleText(3 * BlockSizeForMode(1));
    for (int failingWrite : {1, 2}) {
        platform::ArmFault(platform::FaultPoint::StreamWrite, failingWrite + 1);  // + the prefix
        EntryCodecContext context;
        int asked = 0;
        context.DiskFull = [&](const std::string& name) {
            ++asked;
            EXPECT_NE(name.find("archive"), std::string::npos);
            return true;
        };
        const Compressed c = Compress(data, 1, context);
        platform::DisarmAllFaults();
        EXPECT_FALSE(c.Ok);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(c.Entry.Header.Crc32, 0xFFFFFFFFu);
        EXPECT_EQ(c.Entry.Header.CompressedSize, 0u);
    }
    platform::ArmFault(platform::FaultPoint::StreamWrite, 2);
    const Compressed c = Compress(data, 1);
    EXPECT_FALSE(c.Ok);
}

// A handler that frees space makes the block go out again from where it began.
TEST_F(CodecDeflate, DiskFullHandlerRetriesTheBlock) {
    const Bytes data = codec_test::SampleText(3 * BlockSizeForMode(1));
    const Compressed clean = Compress(data, 1);
    platform::ArmFault(platform::FaultPoint::StreamWrite, 3);
    EntryCodecContext context;
    int asked = 0;
    context.DiskFull = [&](const std::string&) { return ++asked > 1; };
    const Compressed retried = Compress(data, 1, context);
    EXPECT_TRUE(retried.Ok);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(retried.Data, clean.Data);
    EXPECT_EQ(retried.Entry.Header.Crc32, clean.Entry.Header.Crc32);
}

TEST_F(CodecDeflate, ProgressCancelStopsWithoutError) {
    const Bytes data = codec_test::SampleText(3 * BlockSizeForMode(1));
    EntryCodecContext context;
    std::vector<std::uint64_t> seen;
    context.Progress = [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, data.size());
        seen.push_back(done);
        return seen.size() == 2;
    };
    const Compressed c = Compress(data, 1, context);
    EXPECT_FALSE(c.Ok);
    EXPECT_EQ(seen, (std::vector<std::uint64_t>{0, BlockSizeForMode(1)}));
    EXPECT_EQ(c.Entry.Header.Crc32, 0xFFFFFFFFu);
}

// A source that shrinks while it is read: native error 34 with the size and
// the bytes consumed, whether the shortfall comes in the first block or later.
TEST_F(CodecDeflate, ShrinkingSourceGivesError34) {
    const std::size_t block = BlockSizeForMode(1);
    for (std::uint64_t cutAt : {std::uint64_t{0}, std::uint64_t{block}}) {
        const Bytes data = codec_test::SampleText(2 * block + 10);
        const std::string source = folder_ / "source.bin";
        EntryCodecContext context;
        context.Progress = [&](std::uint64_t done, std::uint64_t) {
            if (done == cutAt) {
                TFileStream cut(source, platform::fmOpenReadWrite | platform::fmShareDenyNone);
                cut.SetSize(static_cast<std::int64_t>(cutAt + 100));
            }
            return false;
        };
        try {
            Compress(data, 1, context);
            ADD_FAILURE() << "no exception";
        } catch (const EZipException& e) {
            EXPECT_EQ(e.NativeError, 34);
            const std::string expected =
                "Invalid compressed size, rfs.size = " + std::to_string(data.size()) +
                ", count = " + std::to_string(cutAt);
            EXPECT_EQ(std::string(e.what()).rfind(expected, 0), 0u) << e.what();
        }
    }
}

// zlib refuses a level above 9: the codec's own exception, message "error".
TEST_F(CodecDeflate, ZlibRefusalIsACompressionError) {
    try {
        Compress(codec_test::SampleText(100), 10);
        ADD_FAILURE() << "no exception";
    } catch (const ECompressionError& e) {
        EXPECT_STREQ(e.what(), "error");
    }
}

TEST_F(CodecDeflate, Zip64AlwaysPutsTheSizesInTheZip64Fields) {
    const Bytes data = codec_test::SampleText(5000);
    EntryCodecContext context;
    context.Zip64Mode = zmAlways;
    const Compressed c = Compress(data, 1, context);
    ASSERT_TRUE(c.Ok);
    EXPECT_TRUE(c.Entry.HasZip64);
    EXPECT_EQ(c.Entry.Header.CompressedSize, Zip64Marker32);
    EXPECT_EQ(c.Entry.Header.UncompressedSize, Zip64Marker32);
    EXPECT_EQ(c.Entry.Zip64().Size, data.size());
    EXPECT_EQ(c.Entry.Zip64().PackedSize, c.Data.size());
    EXPECT_EQ(c.Entry.Header.Crc32, ZlibCrc(data));
}

}  // namespace
}  // namespace archive
