// Archives written by other tools, stored and deflated, with data
// descriptors, comments, data in front and Cyrillic names: every file comes
// out byte for byte, in its folder.
#include <gtest/gtest.h>

#include "entry_support.h"

namespace archive_test {
namespace {

struct Writer {
    const char* name;
    const char* command;  // run in the tree folder; $OUT is the archive
};

const Writer kWriters[] = {
    {"zip_deflated", "zip -qrX \"$OUT\" ."},
    {"zip_stored", "zip -qrX0 \"$OUT\" ."},
    {"zip_descriptors", "zip -qrX - . > \"$OUT\""},
    {"jar_deflated", "jar --create --no-manifest --file \"$OUT\" ."},
    {"jar_stored", "jar --create --no-manifest --no-compress --file \"$OUT\" ."},
    {"sevenzip_deflated", "7z a -tzip -bd -bso0 \"$OUT\" ."},
    {"sevenzip_stored", "7z a -tzip -mx=0 -bd -bso0 \"$OUT\" ."},
    {"python_comment",
     "python3 -c \"import zipfile,os\n"
     "z=zipfile.ZipFile('$OUT','w',zipfile.ZIP_DEFLATED)\n"
     "[z.write(os.path.join(d,f),os.path.relpath(os.path.join(d,f))) for d,_,fs in "
     "sorted(os.walk('.')) for f in sorted(fs)]\n"
     "z.comment=b'made for a test'\nz.close()\""},
    {"python_descriptors",
     "python3 -c \"import zipfile,os,io\n"
     "class U(io.RawIOBase):\n"
     "  def __init__(s,f): s.f=f\n"
     "  def writable(s): return True\n"
     "  def write(s,b): return s.f.write(b)\n"
     "f=open('$OUT','wb')\nz=zipfile.ZipFile(U(f),'w',zipfile.ZIP_DEFLATED)\n"
     "[z.write(os.path.join(d,f),os.path.relpath(os.path.join(d,f))) for d,_,fs in "
     "sorted(os.walk('.')) for f in sorted(fs)]\nz.close()\nf.close()\""},
    // 100 bytes in front, offsets counted from the archive's own start.
    {"prefix_unadjusted",
     "zip -qrX a.zip . && head -c 100 /dev/zero > \"$OUT\" && cat a.zip >> "
     "\"$OUT\" && rm a.zip"},
    // The same, offsets adjusted to count from the start of the file.
    {"prefix_adjusted",
     "zip -qrX a.zip . && head -c 100 /dev/zero > \"$OUT\" && cat a.zip >> "
     "\"$OUT\" && rm a.zip && zip -qA \"$OUT\""},
};

class ExtractInterop : public ::testing::TestWithParam<Writer> {};

TEST_P(ExtractInterop, EveryFileComesOutExactly) {
    ScratchFolder scratch;
    const std::string tree = scratch / "tree";
    const std::string archive = scratch / "made.jar";
    WriteTree(tree, SampleTree());
    std::string command = GetParam().command;
    for (auto at = command.find("$OUT"); at != std::string::npos; at = command.find("$OUT")) {
        command.replace(at, 4, archive);
    }
    ASSERT_EQ(Shell("cd " + Quote(tree) + " && " + command).status, 0) << command;

    ExtractAll(archive, "*", scratch / "out");

    EXPECT_EQ(FilesUnder(scratch / "out"), SampleTree());
    EXPECT_TRUE(std::filesystem::is_directory(scratch / "out/img"));
}

INSTANTIATE_TEST_SUITE_P(Writers, ExtractInterop, ::testing::ValuesIn(kWriters),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace archive_test
