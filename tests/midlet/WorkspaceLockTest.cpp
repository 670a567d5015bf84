// The workspace lock: what is found at the lock file's name is never
// emptied or followed, and the lock still keeps a second run out.
#include "midlet/WorkspaceLock.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "midlet/ScratchFolder.h"
#include "platform/Errors.h"

namespace midlet {
namespace {

namespace fs = std::filesystem;

class WorkspaceLockFile : public ::testing::Test {
  protected:
    void SetUp() override { folder.MakeFolder("temp"); }
    std::string Temp() const { return folder / "temp/"; }
    std::string Lock() const { return Temp() + kWorkspaceLockName; }
    ScratchFolder folder;
};

// A hard link to another file at the lock's name (a system without
// protected hard links lets anyone who can write the folder make one):
// the file keeps its bytes and the lock still holds.
TEST_F(WorkspaceLockFile, AHardLinkedFileIsLeftWhole) {
    folder.WriteBytes("precious", "keep me");
    ASSERT_EQ(link((folder / "precious").c_str(), Lock().c_str()), 0);
    {
        const WorkspaceLock lock(folder.Path(), Temp());
        try {
            const WorkspaceLock second(folder.Path(), Temp());
            FAIL() << "a second run got the workspace";
        } catch (const platform::Exception& e) {
            EXPECT_EQ(e.Message(), "Another run is using the workspace in \"" + folder.Path() +
                                       "\"; try again when it has ended");
        }
    }
    EXPECT_EQ(folder.ReadBytes("precious"), "keep me");
}

// A symbolic link at the lock's name is refused, and what it points at is
// neither made nor changed.
TEST_F(WorkspaceLockFile, ASymbolicLinkIsRefused) {
    fs::create_symlink(folder / "made-by-link", Lock());
    EXPECT_THROW(WorkspaceLock(folder.Path(), Temp()), platform::EStreamError);
    EXPECT_FALSE(folder.Exists("made-by-link"));
}

}  // namespace
}  // namespace midlet
