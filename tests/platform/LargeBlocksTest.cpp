#include "platform/LargeBlocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Values = std::vector<std::uint64_t, platform::LargeBlockAllocator<std::uint64_t>>;

// A vector that grows from small blocks into large ones and shrinks back
// keeps every value, whichever kind of block holds it.
TEST(LargeBlocks, AVectorKeepsItsValuesAcrossTheBlockSizes) {
    constexpr std::size_t large = platform::LargeBlockSize / sizeof(std::uint64_t);
    for (const std::size_t count : {std::size_t{1}, large - 1, large, 3 * large + 5}) {
        Values values;
        for (std::size_t i = 0; i < count; ++i) {
            values.push_back(i * 7919);
        }
        Values copy = values;
        values.resize(count / 2);
        values.shrink_to_fit();
        for (std::size_t i = 0; i < count; ++i) {
            ASSERT_EQ(copy[i], i * 7919) << count;
            if (i < count / 2) {
                ASSERT_EQ(values[i], i * 7919) << count;
            }
        }
    }
}

}  // namespace
