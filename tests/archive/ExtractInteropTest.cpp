// Archives written by other tools, stored and deflated, with data
// descriptors, comments, data in front and Cyrillic names: every file comes
// out byte for byte, in its folder.
#include <gtest/gtest.h>

#include "EntrySupport.h"

namespace archive_test {
namespace {

class ExtractInterop : public ::testing::TestWithParam<Writer> {};

TEST_P(ExtractInterop, EveryFileComesOutExactly) {
    ScratchFolder scratch;
    const std::string tree = scratch / "tree";
    const std::string archive = scratch / "made.jar";
    WriteTree(tree, SampleTree());
    MakeArchive(GetParam(), tree, archive);

    ExtractAll(archive, "*", scratch / "out");

    EXPECT_EQ(FilesUnder(scratch / "out"), SampleTree());
    EXPECT_TRUE(std::filesystem::is_directory(scratch / "out/img"));
}

INSTANTIATE_TEST_SUITE_P(Writers, ExtractInterop, ::testing::ValuesIn(kWriters),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace archive_test
