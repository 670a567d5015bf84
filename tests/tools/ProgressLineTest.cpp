// The progress line of quellor-batch: what it says at each point of a run.
#include <gtest/gtest.h>

#include "BatchConsole.h"

namespace tools {
namespace {

TEST(ProgressLineTest, TellsDoneRateAndTimeLeft) {
    using std::chrono::milliseconds;
    const struct {
        std::size_t done;
        std::size_t total;
        milliseconds elapsed;
        const char* text;
    } cases[] = {
        {0, 10, milliseconds(0), "0 of 10 JARs"},
        {0, 10, milliseconds(5000), "0 of 10 JARs"},
        {5, 10, milliseconds(2000), "5 of 10 JARs, 2.5/s, 0:02 left"},
        {100, 5000, milliseconds(10000), "100 of 5000 JARs, 10/s, 8:10 left"},
        {224, 2000, milliseconds(1000), "224 of 2000 JARs, 224/s, 0:08 left"},
        {1, 4000, milliseconds(1000), "1 of 4000 JARs, 1.0/s, 1:06:39 left"},
        {10, 10, milliseconds(2000), "10 of 10 JARs, 5.0/s"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProgressLine::Text(c.done, c.total, c.elapsed), c.text);
    }
}

}  // namespace
}  // namespace tools
