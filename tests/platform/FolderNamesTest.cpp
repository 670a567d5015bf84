// Case-insensitive look-ups while the folder names are cached: after any mix
// of our own changes and changes made behind our back, every spelling
// resolves as a fresh read of the folder would have it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "FolderTest.h"
#include "TestFiles.h"
#include "platform/FileReplace.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Stream.h"
#include "platform/TargetPath.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

const std::vector<std::string> kSpellings = {"a.txt", "A.txt", "a.TXT", "b.dat",
                                             "B.DAT", "Sub",   "SUB",   "sub"};

std::string Lower(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

// What a fresh read gives: the exact name, else the first variant in byte
// order, else the name as given.
std::string Expected(const std::string& folder, const std::string& name) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    if (std::find(names.begin(), names.end(), name) != names.end()) {
        return folder + name;
    }
    for (const std::string& candidate : names) {
        if (Lower(candidate) == Lower(name)) {
            return folder + candidate;
        }
    }
    return folder + name;
}

// A change made by another program: its own tick of the folder's clock, as
// any later change would have.
void BehindOurBack(const std::string& folder, int step, bool create, const std::string& name) {
    if (create) {
        WriteBytes(folder + name, "x");
    } else {
        fs::remove(folder + name);
    }
    const timespec times[2] = {{0, UTIME_OMIT}, {1000000 + step, 0}};
    utimensat(AT_FDCWD, folder.c_str(), times, 0);
}

// An extraction's change: `name` (a file, or folders and a file below
// them) made, or the file there deleted, through the destination's open
// folder rather than by path.
void ByExtraction(const std::string& folder, bool create, const std::string& name) {
    TargetFolder destination(folder);
    TargetPath target(destination, name, create, false);
    if (target.Error() != ERROR_SUCCESS) {
        return;
    }
    if (create && !target.IsFile()) {
        TFileStream(target, fmCreate);
    } else if (!create && target.IsFile()) {
        target.DeleteExisting();
    }
}

// A name one folder down, as a fresh read of each folder on the way gives
// it.
std::string ExpectedBelow(const std::string& folder, const std::string& name,
                          const std::string& inner) {
    const std::string outer = Expected(folder, name);
    return fs::is_directory(outer) ? Expected(outer + "/", inner) : outer + "/" + inner;
}

}  // namespace

enum class Pinning { None, Resolution, Names };

class FolderNames : public FolderTest, public ::testing::WithParamInterface<Pinning> {};

// With the folder pinned as well (the parameter), folders made below it
// are taken as resolved until they are removed or moved; pinned with its
// names, the names read there and those our changes note are trusted, and
// no other program changes it. Every look-up must still give what the disk
// holds.
TEST_P(FolderNames, CachedLookupsFollowEveryChange) {
    const FolderNameCacheScope cache;
    const std::string base = folder.Path();
    std::optional<PinnedFolder> pin;
    if (GetParam() != Pinning::None) {
        pin.emplace(base, GetParam() == Pinning::Names ? PinScope::Names : PinScope::Resolution);
    }
    const bool othersMayChange = GetParam() != Pinning::Names;
    std::mt19937 random(14);
    for (int step = 0; step < 400; ++step) {
        const std::string& one = kSpellings[random() % kSpellings.size()];
        const std::string& other = kSpellings[random() % kSpellings.size()];
        SCOPED_TRACE(std::to_string(step) + " " + one + " " + other);
        int change = static_cast<int>(random() % 11);
        if (!othersMayChange && (change == 5 || change == 6)) {
            change += 4;  // an extraction's change instead
        }
        switch (change) {
            case 0:
                try {
                    TFileStream(base + one, fmCreate);
                } catch (const EStreamError&) {
                }
                break;
            case 1:
                DeleteFile(base + one);
                break;
            case 2:
                MoveFile(base + one, base + other);
                break;
            case 3:
                CopyFile(base + one, base + other, false);
                break;
            case 4:
                ForceDirectories(base + one + "/inner");
                break;
            case 7:
                try {
                    RemoveDirectory(base + one + (random() % 2 == 0 ? "/inner" : ""));
                } catch (const EInOutError&) {
                }
                break;
            case 5:
                BehindOurBack(base, step, true, one);
                break;
            case 9:
                ByExtraction(base, true, random() % 2 == 0 ? one : one + "/inner/" + other);
                break;
            case 10:
                ByExtraction(base, false, one);
                break;
            case 8: {
                // A new file put in place in one step, over a file or not.
                const std::string made = ResolvePath(base + one) + ".new";
                if (!fs::is_directory(base + one) && !fs::exists(made)) {
                    TFileStream(made, fmCreate);
                    RenameOver(made, ResolvePath(base + one), random() % 2 == 0);
                    fs::remove(made);
                }
                break;
            }
            default:
                if (!fs::is_directory(base + one)) {
                    BehindOurBack(base, step, false, one);
                }
                break;
        }
        for (const std::string& name : kSpellings) {
            ASSERT_EQ(ResolvePath(base + name), Expected(base, name)) << name;
            ASSERT_EQ(ResolvePath(base + name + "/inner"), ExpectedBelow(base, name, "inner"));
            ASSERT_EQ(DirectoryExists(base + name + "/inner"),
                      fs::is_directory(ExpectedBelow(base, name, "inner")));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PlainAndPinned, FolderNames,
                         ::testing::Values(Pinning::None, Pinning::Resolution, Pinning::Names));

// A folder pinned again while it is pinned is taken as it was resolved,
// without a look at the disk, and each pin holds until its own end.
TEST_F(FolderNames, APinOverAPinnedFolderLooksAtNothing) {
    const std::string base = folder.Path();
    WriteBytes(base + "Inner.txt", "x");
    std::optional<PinnedFolder> outer(std::in_place, base);
    const std::uint64_t before = CountedPathLookups().components;
    std::optional<PinnedFolder> inner(std::in_place, base);
    EXPECT_EQ(CountedPathLookups().components, before);
    inner.reset();
    EXPECT_EQ(ResolvePath(base + "inner.txt"), base + "Inner.txt");
    EXPECT_EQ(CountedPathLookups().components, before + 2);  // the name, then its variant
}

// Names are trusted only while the pin that vouches for them is held: once
// it is gone, a change another program makes is seen again.
TEST_F(FolderNames, TrustInNamesEndsWithThePin) {
    const FolderNameCacheScope cache;
    const std::string base = folder.Path();
    std::optional<PinnedFolder> pin(std::in_place, base, PinScope::Names);
    ASSERT_EQ(ResolvePath(base + "x.txt"), base + "x.txt");  // the names are read
    pin.reset();
    BehindOurBack(base, 1, true, "X.TXT");
    EXPECT_EQ(ResolvePath(base + "x.txt"), base + "X.TXT");
}

// A variant found in the cache but gone from the disk is never given out,
// even when its modification time is put back.
class FolderNameCache : public FolderTest {};

TEST_F(FolderNameCache, AVanishedVariantIsNotGivenOut) {
    const FolderNameCacheScope cache;
    WriteBytes(folder / "Data.bin", "x");
    EXPECT_TRUE(FileExists(folder / "data.bin"));
    struct stat before;
    ASSERT_EQ(stat(folder.Path().c_str(), &before), 0);
    fs::remove(folder / "Data.bin");
    const timespec times[2] = {before.st_atim, before.st_mtim};
    utimensat(AT_FDCWD, folder.Path().c_str(), times, 0);
    EXPECT_FALSE(FileExists(folder / "data.bin"));
    EXPECT_EQ(ResolvePath(folder / "DATA.BIN"), folder / "DATA.BIN");
}

// Workers beside each other change the same folder all the time: a look-up
// that meets the folder in the middle of a change of ours waits for it to be
// noted instead of reading the whole folder again, and still sees what the
// disk holds.
TEST_F(FolderNameCache, ChangesOfOurOtherThreadsAreNotReadAgain) {
    const FolderNameCacheScope cache;
    const std::string base = folder.Path();
    for (int i = 0; i < 200; ++i) {
        WriteBytes(base + "present-" + std::to_string(i), "x");
    }
    EXPECT_FALSE(FileExists(base + "PRESENT-X"));  // the one read of the folder
    const std::uint64_t readsBefore = CountedPathLookups().folderReads;
    std::thread changer([&] {
        for (int i = 0; i < 300; ++i) {
            const std::string made = base + "made-" + std::to_string(i);
            TFileStream(made, fmCreate);
            MoveFile(made, base + "Moved-" + std::to_string(i));
            ForceDirectories(base + "dir-" + std::to_string(i));
            if (i % 2 == 0) {
                DeleteFile(base + "Moved-" + std::to_string(i));
            }
        }
    });
    for (int i = 0; i < 2000; ++i) {
        ASSERT_FALSE(FileExists(base + "MISSING-" + std::to_string(i)));
        ASSERT_EQ(ResolvePath(base + "PRESENT-" + std::to_string(i % 200)),
                  base + "present-" + std::to_string(i % 200));
    }
    changer.join();
    EXPECT_LE(CountedPathLookups().folderReads - readsBefore, 2u);
    for (int i = 0; i < 300; ++i) {
        const std::string moved = "moved-" + std::to_string(i);
        ASSERT_EQ(ResolvePath(base + moved), Expected(base, moved));
        ASSERT_EQ(DirectoryExists(base + "DIR-" + std::to_string(i)), true);
    }
}
