// The in-file move of a commit's block: up and down, by less and more than
// a chunk, through one chunk and many, with every write failing in turn.
// Whatever moved, Undo gives the block back at its old place, and bytes
// outside the old and new places are never touched.
#include <gtest/gtest.h>

#include "EntrySupport.h"
#include "archive/commit/ArchiveCommitShift.h"
#include "platform/Faults.h"
#include "platform/Stream.h"

namespace archive_test {
namespace {

struct ShiftCase {
    std::int64_t size;  // of the file
    std::int64_t start;
    std::int64_t end;
    std::int64_t delta;
    std::size_t chunk;
};

const ShiftCase kShifts[] = {
    {1000, 100, 900, 7, 64},      // up by less than a chunk
    {1000, 100, 900, -7, 64},     // down by less than a chunk
    {1000, 100, 900, 300, 64},    // up by more than a chunk, past the end
    {1000, 400, 900, -300, 64},   // down by more than a chunk
    {1000, 100, 900, 50, 4096},   // one chunk
    {1000, 100, 900, -50, 4096},  //
    {1000, 100, 164, 1, 64},      // exactly one chunk
    {1000, 900, 1000, 24, 33},    // the block at the end of the file
    {1000, 500, 500, 10, 64},     // an empty block
    {1000, 100, 900, 0, 64},      // no move
};

TEST(CommitShift, UndoGivesTheBlockBackAfterAFailureAtEveryWrite) {
    ScratchFolder scratch;
    const std::string path = scratch / "f.bin";
    for (const ShiftCase& c : kShifts) {
        const std::string original = NoiseBytes(static_cast<std::size_t>(c.size), 3);
        const std::string block = original.substr(c.start, c.end - c.start);
        // Bytes that neither the old nor the new place of the block covers.
        const std::int64_t low = std::min(c.start, c.start + c.delta);
        const std::int64_t high = std::max(c.end, c.end + c.delta);
        const auto outside = [&](const std::string& bytes) {
            return bytes.substr(0, low) +
                   (high < c.size ? bytes.substr(high, c.size - high) : std::string());
        };
        for (int n = 1;; ++n) {
            SCOPED_TRACE(testing::Message() << c.start << ".." << c.end << " by " << c.delta
                                            << " chunk " << c.chunk << " write " << n);
            WriteBytes(path, original);
            bool failed = false;
            {
                platform::TFileStream file(path, platform::fmOpenReadWrite);
                archive::BlockShift shift(file, c.start, c.end, c.delta, c.chunk);
                platform::ArmFault(platform::FaultPoint::StreamWrite, n);
                try {
                    shift.Move();
                } catch (const platform::EWriteError&) {
                    failed = true;
                }
                platform::DisarmAllFaults();
                if (!failed) {
                    const std::string moved = ReadBytes(path);
                    ASSERT_GE(static_cast<std::int64_t>(moved.size()), c.end + c.delta);
                    EXPECT_TRUE(moved.substr(c.start + c.delta, block.size()) == block);
                    EXPECT_TRUE(outside(moved) == outside(original));
                }
                shift.Undo();
            }
            const std::string back = ReadBytes(path);
            EXPECT_TRUE(back.substr(c.start, block.size()) == block);
            EXPECT_TRUE(outside(back) == outside(original));
            if (!failed) {
                break;
            }
            ASSERT_LT(n, 100);
        }
    }
}

}  // namespace
}  // namespace archive_test
