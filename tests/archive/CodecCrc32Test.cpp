#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "CodecSupport.h"
#include "archive/codec/ZipCrc32.h"

namespace archive {
namespace {

using codec_test::Bytes;

std::uint32_t EntryCrc(const void* bytes, std::size_t count) {
    return UpdateCrc32(Crc32Start, bytes, count) ^ Crc32Final;
}

TEST(CodecCrc32, KnownValues) {
    EXPECT_EQ(EntryCrc(nullptr, 0), 0u);
    EXPECT_EQ(EntryCrc("a", 1), 0xE8B7BE43u);
    EXPECT_EQ(EntryCrc("123456789", 9), 0xCBF43926u);
    const std::string fox = "The quick brown fox jumps over the lazy dog";
    EXPECT_EQ(EntryCrc(fox.data(), fox.size()), 0x414FA339u);
}

TEST(CodecCrc32, NothingToFoldLeavesTheValue) {
    EXPECT_EQ(UpdateCrc32(0x12345678, nullptr, 10), 0x12345678u);
    EXPECT_EQ(UpdateCrc32(0x12345678, "abc", 0), 0x12345678u);
}

// The running value is zlib's crc32 without its two inversions, for every
// length and alignment around the eight-byte step and the 16- and 64-byte
// blocks of the carry-less fold.
TEST(CodecCrc32, AgreesWithZlib) {
    const Bytes data = codec_test::RandomBytes(4096 + 17);
    for (std::size_t offset = 0; offset < 8; ++offset) {
        for (std::size_t length :
             {0, 1, 7, 8, 9, 15, 16, 63, 64, 65, 79, 80, 127, 128, 129, 143, 1000, 4096}) {
            const std::uint8_t* p = data.data() + offset;
            const std::uint32_t ours = UpdateCrc32(0x89ABCDEF, p, length);
            const std::uint32_t theirs =
                ~static_cast<std::uint32_t>(crc32(~0x89ABCDEFu, p, length));
            ASSERT_EQ(ours, theirs) << "offset " << offset << " length " << length;
        }
    }
}

TEST(CodecCrc32, PiecewiseEqualsWhole) {
    const Bytes data = codec_test::SampleText(100000);
    const std::uint32_t whole = UpdateCrc32(Crc32Start, data.data(), data.size());
    for (std::size_t piece : {1, 3, 8, 4095, 65536}) {
        std::uint32_t value = Crc32Start;
        for (std::size_t at = 0; at < data.size(); at += piece) {
            value = UpdateCrc32(value, data.data() + at, std::min(piece, data.size() - at));
        }
        EXPECT_EQ(value, whole) << "piece " << piece;
    }
}

}  // namespace
}  // namespace archive
