// The chunked forward search for record signatures.
#include <gtest/gtest.h>

#include "ZipSupport.h"
#include "archive/records/ZipRecords.h"
#include "archive/records/ZipSignatureScan.h"
#include "platform/Stream.h"

namespace archive {
namespace {

using archive_test::ScratchFolder;

TEST(SignatureScanTest, FindsSignaturesAcrossChunkBordersInOrder) {
    ScratchFolder dir;
    // Hits at 6 (across the first 8-byte border), 14 and 16 (overlapping
    // candidates), and 37 near the end.
    std::string bytes(45, '.');
    for (std::size_t at : {6u, 14u, 18u, 37u}) {
        bytes.replace(at, 4, "PK\x03\x04");
    }
    WriteBytes(dir / "s.bin", bytes);
    platform::TFileStream stream(dir / "s.bin", platform::fmOpenRead);
    for (std::int64_t chunk : {8, 9, 65535}) {
        SignatureScanner scanner(stream, LocalHeaderSignature, chunk);
        std::vector<std::int64_t> hits;
        for (std::int64_t p = scanner.Find(0, 4); p >= 0; p = scanner.Find(p + 1, 4)) {
            hits.push_back(p);
        }
        EXPECT_EQ(hits, (std::vector<std::int64_t>{6, 14, 18, 37})) << chunk;
        // A hit too near the end counts as none.
        EXPECT_EQ(scanner.Find(19, 9), -1) << chunk;
        EXPECT_EQ(scanner.Find(19, 8), 37) << chunk;
        EXPECT_EQ(scanner.Find(7, 30), 14) << chunk;
    }
}

TEST(SignatureScanTest, ShortAndEmptyFilesHaveNoHit) {
    ScratchFolder dir;
    for (const std::string& bytes :
         {std::string(), std::string("PK\x03"), std::string("xPK\x03")}) {
        WriteBytes(dir / "s.bin", bytes);
        platform::TFileStream stream(dir / "s.bin", platform::fmOpenRead);
        SignatureScanner scanner(stream, LocalHeaderSignature, 10000);
        EXPECT_EQ(scanner.Find(0, 0), -1);
    }
}

}  // namespace
}  // namespace archive
