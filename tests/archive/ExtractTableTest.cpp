// What extraction writes where, and what it does with an entry that fails:
// folders, several matches, existing and read-only targets, time stamps,
// attributes, the failure decision with Retry, Ignore and Abort, methods
// that cannot be decoded.
#include <gtest/gtest.h>

#include "EntrySupport.h"
#include "TestCorpus.h"
#include "archive/ZipConst.h"
#include "archive/names/ZipSelect.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace archive_test {
namespace {

namespace fs = std::filesystem;
using platform::ScriptedDialogs;

const std::string kManifest = "Manifest-Version: 1.0\r\nMIDlet-Name: Race\r\n\r\n";

// A failure answered by a handler: the native errors met, in order.
struct FailureLog {
    std::vector<int> natives;
    std::vector<std::string> names;
    archive::TZipAction answer = archive::fxaIgnore;
    void Attach(archive::TZipArchiver& zip) {
        zip.OnProcessFileFailure = [this](archive::TZipBaseArchiver&, const std::string& name,
                                          archive::TZipProcessOperation, int native, int,
                                          const std::string&, archive::TZipAction& action) {
            natives.push_back(native);
            names.push_back(name);
            action = answer;
        };
    }
};

TEST(ExtractTable, ManifestMaskWritesOneFileAndMakesItsFolders) {
    ScratchFolder scratch;
    PythonMake("plain", scratch / "m.jar");
    ScriptedDialogs dialogs;
    platform::DialogsGuard guard(dialogs);
    // A destination that does not exist yet, named without a trailing delimiter.
    ExtractAll(scratch / "m.jar", "Manifest.mf", scratch / "temp/deeper");
    EXPECT_EQ(FilesUnder(scratch / "temp"), (FileMap{{"deeper/META-INF/MANIFEST.MF", kManifest}}));
    EXPECT_TRUE(dialogs.questions.empty());
}

TEST(ExtractTable, OneMaskFindsAnEntryInEveryFolderAndFoldersComeOutEmpty) {
    ScratchFolder scratch;
    PythonMake("icons", scratch / "i.jar");
    ExtractAll(scratch / "i.jar", "icon.png", scratch / "project/");
    const FileMap files = FilesUnder(scratch / "project");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files.at("res/icon.png"), "second icon");
    EXPECT_EQ(files.at("icon.png").size(), 256u);

    ExtractAll(scratch / "i.jar", "res", scratch / "folders");
    EXPECT_TRUE(fs::is_directory(scratch / "folders/res"));
    EXPECT_TRUE(FilesUnder(scratch / "folders").empty());
}

TEST(ExtractTable, AMaskWithoutMatchWritesNothingAndRaisesOnlyTheOverallEvents) {
    ScratchFolder scratch;
    PythonMake("plain", scratch / "m.jar");
    auto zip = OpenArchive(scratch / "m.jar", scratch / "nothing");
    std::vector<archive::TZipProgressPhase> overall;
    int fileEvents = 0;
    zip->OnOverallProgress = [&](archive::TZipBaseArchiver&, double, archive::TZipProcessOperation,
                                 archive::TZipProgressPhase phase,
                                 bool&) { overall.push_back(phase); };
    zip->OnFileProgress = [&](archive::TZipBaseArchiver&, const std::string&, double,
                              archive::TZipProcessOperation, archive::TZipProgressPhase,
                              bool&) { ++fileEvents; };
    zip->ExtractByMask("no-such-icon.png", 10431, "");
    EXPECT_EQ(overall, (std::vector{archive::ppStart, archive::ppEnd}));
    EXPECT_EQ(fileEvents, 0);
    EXPECT_FALSE(fs::exists(scratch / "nothing"));
}

TEST(ExtractTable, ReadOnlyTargetIsReplacedAndFilesTakeTheEntrysAttributesAndTime) {
    ScratchFolder scratch;
    PythonMake("icons", scratch / "i.jar");
    const std::string icon = scratch / "out/icon.png";
    fs::create_directories(scratch / "out/res");
    WriteBytes(icon, "old");
    WriteBytes(scratch / "out/res/icon.png", "old");
    ASSERT_TRUE(platform::SetFileAttributes(icon, platform::faReadOnly));

    auto zip = OpenArchive(scratch / "i.jar", scratch / "out");
    zip->ExtractByMask("icon.png", 10431, "");
    // icon.png carries the read-only bit, res/icon.png no attribute at all.
    EXPECT_EQ(ReadBytes(icon).size(), 256u);
    EXPECT_EQ(platform::GetFileAttributes(icon), platform::faReadOnly | platform::faArchive);
    EXPECT_EQ(platform::GetFileAttributes(scratch / "out/res/icon.png"), platform::faArchive);
    const archive::TDirItem& entry = zip->DirManager()->Directory.ItemAt(2);
    EXPECT_EQ(static_cast<std::uint32_t>(platform::FileAge(icon)), entry.Header.DosDateTime());
}

TEST(ExtractTable, OverwriteModesKeepOrReplaceAnExistingFile) {
    ScratchFolder scratch;
    PythonMake("plain", scratch / "m.jar");
    const std::string target = scratch / "META-INF/MANIFEST.MF";
    fs::create_directories(scratch / "META-INF");
    WriteBytes(target, "kept");
    auto zip = OpenArchive(scratch / "m.jar", scratch.Path());

    zip->Options.OverwriteMode = archive::omNever;
    zip->ExtractByMask("Manifest.mf", 10431, "");
    EXPECT_EQ(ReadBytes(target), "kept");

    ScriptedDialogs dialogs;
    platform::DialogsGuard guard(dialogs);
    dialogs.answers = {platform::mrNo, platform::mrYesToAll};
    zip->Options.OverwriteMode = archive::omPrompt;
    zip->ExtractByMask("Manifest.mf", 10431, "");
    EXPECT_EQ(ReadBytes(target), "kept");
    zip->ExtractByMask("Manifest.mf", 10431, "");
    EXPECT_EQ(ReadBytes(target), kManifest);
    EXPECT_EQ(zip->Options.OverwriteMode, archive::omAlways);
    ASSERT_EQ(dialogs.questions.size(), 2u);
    EXPECT_EQ(dialogs.questions[0].text, "Overwrite file \"" +
                                             platform::NormalizeSeparators(target) +
                                             "\" with \"META-INF\\MANIFEST.MF\"");

    // The entry (2020) is older than a file written now.
    zip->Options.OverwriteMode = archive::omIfNewer;
    WriteBytes(target, "newer");
    zip->ExtractByMask("Manifest.mf", 10431, "");
    EXPECT_EQ(ReadBytes(target), "newer");
    zip->Options.OverwriteMode = archive::omIfOlder;
    zip->ExtractByMask("Manifest.mf", 10431, "");
    EXPECT_EQ(ReadBytes(target), kManifest);
}

TEST(ExtractTable, StateChecksComeFirst) {
    ScratchFolder scratch;
    PythonMake("plain", scratch / "m.jar");
    archive::TZipArchiver closed("Zip");
    try {
        closed.ExtractByMask("*", 10431, "");
        FAIL();
    } catch (const archive::EZipException& e) {
        EXPECT_EQ(e.NativeError, archive::native::ArchiveNotOpen);
    }
    auto zip = OpenArchive(scratch / "m.jar", scratch / "out");
    zip->BeginTransaction();
    try {
        zip->ExtractByMask("*", 10431, "");
        FAIL();
    } catch (const archive::EZipException& e) {
        EXPECT_EQ(e.NativeError, archive::native::UpdateNotEnded);
    }
    zip->AbandonTransaction();
    EXPECT_FALSE(fs::exists(scratch / "out"));
}

// b.txt's data no longer fits its CRC-32: the dialog decides.
struct CorruptCase {
    const char* name;
    std::vector<int> answers;
    std::size_t questions;
    FileMap written;
};

class ExtractCorrupt : public ::testing::TestWithParam<CorruptCase> {};

TEST_P(ExtractCorrupt, TheDialogDecidesAndNoBrokenFileStays) {
    ScratchFolder scratch;
    PythonMake("method-badcrc", scratch / "c.zip");
    ScriptedDialogs dialogs;
    platform::DialogsGuard guard(dialogs);
    dialogs.answers = GetParam().answers;
    ExtractAll(scratch / "c.zip", "*.txt", scratch / "out");
    ASSERT_EQ(dialogs.questions.size(), GetParam().questions);
    EXPECT_EQ(dialogs.questions[0].text,
              "Zip: Invalid size or check sum of file or unsupported compression format - "
              "Native error: 00008. File processing error: the entry's data are damaged");
    EXPECT_EQ(dialogs.questions[0].flags,
              platform::mbAbort | platform::mbRetry | platform::mbIgnore);
    EXPECT_EQ(FilesUnder(scratch / "out"), GetParam().written);
}

const std::string kA = [] {
    std::string s;
    for (int i = 0; i < 50; ++i)
        s += "a.txt";
    return s;
}();
const std::string kC = [] {
    std::string s;
    for (int i = 0; i < 50; ++i)
        s += "c.txt";
    return s;
}();

INSTANTIATE_TEST_SUITE_P(Answers, ExtractCorrupt,
                         ::testing::Values(
                             CorruptCase{
                                 "ignore", {platform::mrIgnore}, 1, {{"a.txt", kA}, {"c.txt", kC}}},
                             CorruptCase{"retry_then_ignore",
                                         {platform::mrRetry, platform::mrRetry, platform::mrIgnore},
                                         3,
                                         {{"a.txt", kA}, {"c.txt", kC}}},
                             CorruptCase{"abort", {platform::mrAbort}, 1, {{"a.txt", kA}}},
                             CorruptCase{"closed", {platform::mrClose}, 1, {{"a.txt", kA}}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ExtractTable, CorruptedFilesCanBeKeptOnRequest) {
    ScratchFolder scratch;
    PythonMake("method-badcrc", scratch / "c.zip");
    auto zip = OpenArchive(scratch / "c.zip", scratch / "out");
    zip->ExtractCorruptedFiles = true;
    zip->ExtractByMask("b.txt", 10431, "");
    EXPECT_EQ(ReadBytes(scratch / "out/b.txt").size(), 250u);
}

TEST(ExtractTable, MethodsThatCannotBeDecodedFailTheirEntryOnly) {
    ScratchFolder scratch;
    for (const auto& [kind, native] :
         {std::pair{"method9", archive::native::Deflate64}, {"method99", 8}, {"method14", 8}}) {
        SCOPED_TRACE(kind);
        const std::string out = scratch / (std::string(kind) + "-out");
        PythonMake(kind, scratch / "x.zip");
        auto zip = OpenArchive(scratch / "x.zip", out);
        FailureLog log;
        log.Attach(*zip);
        zip->ExtractByMask("*", 10431, "");
        EXPECT_EQ(log.natives, std::vector<int>{native});
        EXPECT_EQ(log.names, std::vector<std::string>{"b.txt"});
        EXPECT_EQ(FilesUnder(out), (FileMap{{"a.txt", kA}, {"c.txt", kC}}));
    }
}

TEST(ExtractTable, Deflate64FromAnotherToolIsRefusedWithItsOwnError) {
    QUELLOR_SKIP_WITHOUT_CORPUS();
    ScratchFolder scratch;
    auto zip = OpenArchive(QUELLOR_CORPUS_DIR "/zip/commons-compress/lorem-ipsum-deflate64.zip",
                           scratch / "out");
    FailureLog log;
    log.Attach(*zip);
    zip->ExtractByMask("*", 10431, "");
    EXPECT_EQ(log.natives, std::vector<int>{archive::native::Deflate64});
    EXPECT_TRUE(FilesUnder(scratch / "out").empty());
}

TEST(ExtractTable, TestingDecodesWithoutWriting) {
    ScratchFolder scratch;
    PythonMake("method-badcrc", scratch / "c.zip");
    auto zip = OpenArchive(scratch / "c.zip", scratch / "out");
    FailureLog log;
    log.Attach(*zip);
    archive::SelectEntries(zip->DirManager()->Directory, "*", 10431, "", zip->Options);
    zip->ProcessSelectedEntries(archive::poTest);
    EXPECT_EQ(log.names, std::vector<std::string>{"b.txt"});
    EXPECT_FALSE(fs::exists(scratch / "out"));
}

}  // namespace
}  // namespace archive_test
