// The file beside another that replaces it: hidden, private, and removed as
// a leftover only once no process holds it.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestFiles.h"
#include "TestFolder.h"
#include "platform/FileReplace.h"
#include "platform/Stream.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

TEST(FileReplace, ALeftoverGoesOnlyOnceItsWriterIsGone) {
    TestFolder folder;
    const std::string target = folder / "a.jar";
    WriteBytes(target, "old");
    std::string made;
    auto file = CreateFileBeside(target, fmShareDenyWrite, made);
    EXPECT_EQ(fs::path(made).filename().string().rfind(".a.jar.quellor-new-", 0), 0u) << made;
    EXPECT_EQ(fs::status(made).permissions(), fs::perms(0600));
    // Names that only look alike are never touched.
    WriteBytes(made + "x", "");
    WriteBytes(folder / ".a.jar.quellor-new-not-hex-digits!", "");
    EXPECT_EQ(RemoveLeftoversBeside(target), 0);
    file.reset();
    EXPECT_EQ(RemoveLeftoversBeside(target), 1);
    EXPECT_FALSE(fs::exists(made));
    EXPECT_TRUE(fs::exists(made + "x"));

    auto next = CreateFileBeside(target, fmShareDenyWrite, made);
    next->WriteBuffer("new", 3);
    EXPECT_FALSE(RenameOver(made, target, false));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(RenameOver(made, target, true));
    EXPECT_TRUE(NamesOpenFile(target, *next));
    EXPECT_TRUE(FlushFolderOf(target));
    EXPECT_EQ(ReadBytes(target), "new");
}

}  // namespace
}  // namespace platform
