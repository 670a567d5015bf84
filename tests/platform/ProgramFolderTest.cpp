// Where a copy of the program keeps its data: beside itself when it is a
// portable copy that may write there, else in the user's data folder. Root
// counts as any user: a folder it may write is not a portable copy.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "TestFiles.h"
#include "TestFolder.h"
#include "platform/Paths.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

// Sets an environment variable for one scope (unsets it for nullopt) and
// restores the old value after.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
        const char* old = std::getenv(name);
        if (old != nullptr) {
            saved_ = old;
        }
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
    ~ScopedVariable() { saved_ ? setenv(name_, saved_->c_str(), 1) : unsetenv(name_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    const char* name_;
    std::optional<std::string> saved_;
};

struct FolderCase {
    const char* name;
    bool marker;              // quellor.portable beside the executable
    const char* xdgDataHome;  // relative to the test folder; null: unset
    const char* expected;     // relative to the test folder
};

const FolderCase kCases[] = {
    {"PortableCopyKeepsItsDataBesideItself", true, "xdg", "bin/"},
    {"InstalledCopyUsesTheXdgFolder", false, "xdg", "xdg/quellor/"},
    {"InstalledCopyWithoutXdgUsesHome", false, nullptr, "home/.local/share/quellor/"},
    {"RelativeXdgIsIgnored", false, "relative", "home/.local/share/quellor/"},
};

class ProgramFolderChoice : public ::testing::TestWithParam<FolderCase> {};

TEST_P(ProgramFolderChoice, FollowsTheMarkerNotTheRightToWrite) {
    const FolderCase& c = GetParam();
    const TestFolder folder;
    fs::create_directories(folder / "bin");
    if (c.marker) {
        WriteBytes(folder / "bin/quellor.portable", "");
    }
    std::optional<std::string> xdg;
    if (c.xdgDataHome != nullptr) {
        xdg = std::string(c.xdgDataHome) == "relative" ? "relative" : folder / c.xdgDataHome;
    }
    const ScopedVariable data("XDG_DATA_HOME", xdg);
    const ScopedVariable home("HOME", folder / "home");
    const std::string chosen = ProgramFolderFor(folder / "bin/");
    EXPECT_EQ(chosen, folder / c.expected);
    // The data folder is made at once: the settings file may come first.
    EXPECT_TRUE(fs::is_directory(chosen));
    EXPECT_EQ(IsPortableCopy(folder / "bin/"), c.marker);
}

INSTANTIATE_TEST_SUITE_P(Table, ProgramFolderChoice, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The build tree is a portable copy: the test programs find their marker.
TEST(ProgramFolderChoice, BuildTreeIsPortable) {
    EXPECT_TRUE(IsPortableCopy(ExecutableFolder()));
}

}  // namespace
