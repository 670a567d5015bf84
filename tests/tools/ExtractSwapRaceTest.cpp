// Another process swaps a folder of the destination with a symbolic link to
// a folder outside it, again and again, while quellor-zip extracts 5,000
// entries into it. Nothing may land outside; an entry that meets the link
// fails, is reported, and makes the run exit 1, whatever --on-failure says.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "TestCommands.h"
#include "TestFiles.h"
#include "TestFolder.h"

namespace {

namespace fs = std::filesystem;

constexpr int kEntries = 5000;

// The trials of each policy; QUELLOR_SWAP_TRIALS asks for more.
int Trials() {
    const char* asked = std::getenv("QUELLOR_SWAP_TRIALS");
    return asked != nullptr ? std::atoi(asked) : 2;
}

int Count(const std::string& text, const std::string& what) {
    int count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

int RegularFilesBelow(const fs::path& root) {
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        files += entry.is_regular_file(/*symlinks not followed*/) && !entry.is_symlink() ? 1 : 0;
    }
    return files;
}

// Exchanges `a` and `b` until told to stop, an even number of times.
class Swapper {
  public:
    Swapper(const std::string& a, const std::string& b)
        : thread_([this, a, b] {
              while (!stop_.load() || swaps_ % 2 != 0) {
                  if (renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) {
                      ++swaps_;
                  }
              }
          }) {}
    ~Swapper() { Stop(); }
    long Stop() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        return swaps_;
    }

  private:
    std::atomic<bool> stop_{false};
    long swaps_ = 0;
    std::thread thread_;
};

class ExtractSwapRace : public ::testing::TestWithParam<const char*> {};

TEST_P(ExtractSwapRace, NothingLandsOutsideAndASwappedEntryFailsTheRun) {
    TestFolder folder;
    const std::string archive = folder / "many.zip";
    // Two files to a folder: most entries resolve their folder anew.
    ASSERT_EQ(Shell("python3 -c \"import zipfile\n"
                    "z=zipfile.ZipFile('" +
                    archive +
                    "','w')\n"
                    "for i in range(" +
                    std::to_string(kEntries) +
                    "): z.writestr('sub/d%04d/f%d.txt' % (i // 2, i), 'x')\nz.close()\"")
                  .status,
              0);
    const std::string policy = GetParam();
    int failedRuns = 0;
    for (int trial = 0; trial < Trials(); ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        const std::string dest = folder / "dest";
        const std::string outside = folder / "outside";
        fs::remove_all(dest);
        fs::remove_all(outside);
        fs::create_directories(dest + "/sub");
        fs::create_directories(outside);
        fs::create_directory_symlink(outside, dest + "/link");
        const std::string err = folder / "stderr.txt";
        int status = -1;
        long swaps = 0;
        {
            Swapper swapper(dest + "/sub", dest + "/link");
            status =
                Shell(Quote(QUELLOR_BINARY_DIR "/tools/quellor-zip") + " --on-failure " + policy +
                      " extract " + Quote(archive) + " '*' " + Quote(dest) + " 2>" + Quote(err))
                    .status;
            swaps = swapper.Stop();
        }
        const std::string messages = ReadBytes(err);
        const int failures = Count(messages, "failure: ");
        const int outsideFiles = RegularFilesBelow(outside);
        const int written = RegularFilesBelow(dest);
        std::printf("swap race (%s): %ld swaps, %d written, %d failed, %d outside, exit %d\n",
                    policy.c_str(), swaps, written, failures, outsideFiles, status);
        EXPECT_EQ(outsideFiles, 0);
        EXPECT_TRUE(fs::is_symlink(dest + "/link"));
        // Every failure is a link met on the way, and it fails the run.
        EXPECT_EQ(failures, Count(messages, "a symbolic link is in the way")) << messages;
        EXPECT_EQ(status, failures > 0 ? 1 : 0) << messages;
        if (policy == "ignore") {
            EXPECT_EQ(written + failures, kEntries);
        } else {
            EXPECT_LE(failures, 1);
        }
        failedRuns += failures > 0 ? 1 : 0;
    }
    // The swapping is fast enough that every run meets it.
    EXPECT_EQ(failedRuns, Trials());
}

INSTANTIATE_TEST_SUITE_P(Policies, ExtractSwapRace, ::testing::Values("ignore", "abort"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
