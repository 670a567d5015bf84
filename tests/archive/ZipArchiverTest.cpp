// The archive component: its properties and defaults, opening read-write or
// read-only or anew, closing, and the transaction bracket.
#include <gtest/gtest.h>

#include "ZipSupport.h"
#include "archive/ZipArchiver.h"
#include "platform/Files.h"
#include "platform/Stream.h"

namespace archive {
namespace {

using archive_test::PythonListing;
using archive_test::PythonMake;
using archive_test::ScratchFolder;

int NativeErrorOf(const std::function<void()>& action, std::string* message = nullptr) {
    try {
        action();
    } catch (const EZipException& e) {
        if (message != nullptr) {
            *message = e.what();
        }
        return e.NativeError;
    }
    return -1;
}

TEST(ZipArchiverPropertiesTest, ValuesAfterConstruction) {
    TZipArchiver zip;
    EXPECT_FALSE(zip.ExtractCorruptedFiles);
    EXPECT_EQ(zip.CompressionLevel(), clFastest);
    EXPECT_EQ(zip.CompressionMode(), 1);
    EXPECT_EQ(zip.CompressionMethod(), 8);
    EXPECT_EQ(zip.CurrentVersion(), "2.77 ");
    EXPECT_TRUE(zip.Password.empty() && zip.FileName.empty() && zip.BaseDir.empty() &&
                zip.TempDir.empty() && zip.SFXStub.empty());
    EXPECT_EQ(zip.SpanningMode, smNone);
    EXPECT_TRUE(zip.SpanningOptions.AdvancedNaming);
    EXPECT_EQ(zip.SpanningOptions.FirstVolumeSize, 0);
    EXPECT_EQ(zip.SpanningOptions.VolumeSize, vsAutoDetect);
    EXPECT_EQ(zip.SpanningOptions.CustomVolumeSize(), 0);
    EXPECT_TRUE(zip.FileMasks.empty() && zip.ExclusionMasks.empty() &&
                zip.NoCompressionMasks.empty());
    EXPECT_FALSE(zip.InMemory);
    EXPECT_EQ(zip.Zip64Mode, zmDisabled);
    EXPECT_TRUE(zip.RepairOnOpen);
    EXPECT_FALSE(zip.IsOpen());
    EXPECT_FALSE(zip.OnProcessFileFailure || zip.AfterOpen || zip.OnOverallProgress);

    const TZipOptions& o = zip.Options;
    EXPECT_TRUE(o.Recurse && o.CreateDirs && o.ReplaceReadOnly && o.SetAttributes &&
                o.FlushBuffers && o.OEMFileNames);
    EXPECT_EQ(o.StorePath, spRelativePath);
    EXPECT_EQ(o.ShareMode, smShareDenyNone);
    EXPECT_EQ(o.OverwriteMode, omAlways);
    EXPECT_EQ(o.SearchAttr, 10431);
    EXPECT_EQ(ShareModeFlags(smShareCompat), 0u);
    EXPECT_EQ(ShareModeFlags(smShareDenyNone), 0x40u);

    TZipBaseArchiver base;
    EXPECT_EQ(base.CompressionMethod(), -1);
}

TEST(ZipArchiverPropertiesTest, FormValues) {
    TZipArchiver zip("Zip");
    zip.SetCompressionMode(9);
    zip.Options.OEMFileNames = false;
    ApplyFormValues(zip);
    EXPECT_EQ(zip.CompressionMode(), 1);
    EXPECT_EQ(zip.CompressionLevel(), clFastest);
    EXPECT_EQ(zip.CompressionMethod(), 8);
    EXPECT_TRUE(zip.Options.OEMFileNames && zip.Options.FlushBuffers);
    zip.SetCurrentVersion("9.99");
    EXPECT_EQ(zip.CurrentVersion(), "2.77 ");
    zip.SpanningOptions.SetCustomVolumeSize(1000);
    EXPECT_EQ(zip.SpanningOptions.CustomVolumeSize(), 65536);
}

TEST(ZipArchiverPropertiesTest, LevelAndModeAreTwoViewsOfOneSetting) {
    TZipArchiver zip("Zip");
    const std::pair<TZipCompressionLevel, int> levels[] = {
        {clNone, 0}, {clFastest, 1}, {clNormal, 6}, {clMax, 9}};
    for (const auto& [level, mode] : levels) {
        zip.SetCompressionLevel(level);
        EXPECT_EQ(zip.CompressionMode(), mode);
        EXPECT_EQ(zip.CompressionMethod(), mode == 0 ? 0 : 8);
    }
    const TZipCompressionLevel byMode[] = {clNone,   clFastest, clFastest, clFastest, clNormal,
                                           clNormal, clNormal,  clMax,     clMax,     clMax};
    for (int mode = 0; mode <= 9; ++mode) {
        zip.SetCompressionMode(mode);
        EXPECT_EQ(zip.CompressionLevel(), byMode[mode]) << mode;
    }
    zip.SetCompressionMode(5);
    std::string message;
    EXPECT_EQ(NativeErrorOf([&] { zip.SetCompressionMode(10); }, &message), 5);
    EXPECT_EQ(message,
              "Zip: Invalid compression mode. Mode must be in [0-9] range - Native error: 00005");
    EXPECT_EQ(zip.CompressionMode(), 5);
    EXPECT_EQ(zip.CompressionLevel(), clNormal);
}

class ZipArchiverOpenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ApplyFormValues(zip);
        PythonMake("plain", dir / "a.jar");
        zip.FileName = dir / "a.jar";
    }
    ScratchFolder dir;
    TZipArchiver zip{"Zip"};
};

TEST_F(ZipArchiverOpenTest, OpensReadWriteAndClosesWithoutWriting) {
    const std::string before = ReadBytes(dir / "a.jar");
    int opened = 0;
    zip.AfterOpen = [&](TZipBaseArchiver& sender) {
        EXPECT_EQ(&sender, &zip);
        ++opened;
    };
    zip.Open();
    EXPECT_TRUE(zip.IsOpen());
    EXPECT_EQ(zip.OpenMode(), OpenModeReadWrite);
    EXPECT_EQ(zip.DirManager()->Directory.Count(), 4);
    zip.Open();  // closes and opens again
    EXPECT_EQ(opened, 2);
    zip.Close();
    EXPECT_FALSE(zip.IsOpen());
    EXPECT_EQ(zip.DirManager(), nullptr);
    zip.Close();
    EXPECT_EQ(ReadBytes(dir / "a.jar"), before);
}

TEST_F(ZipArchiverOpenTest, FileThatCannotBeWrittenOpensReadOnly) {
    const std::string before = ReadBytes(dir / "a.jar");
    {
        // Another writer holds the file.
        platform::TFileStream writer(dir / "a.jar",
                                     platform::fmOpenReadWrite | platform::fmShareDenyNone);
        zip.Open();
        EXPECT_EQ(zip.OpenMode(), OpenModeReadOnly);
        EXPECT_EQ(zip.DirManager()->Directory.Count(), 4);
        zip.Close();
    }
    // The read-only attribute.
    ASSERT_TRUE(platform::SetFileAttributes(dir / "a.jar", platform::faReadOnly));
    zip.Open();
    EXPECT_EQ(zip.OpenMode(), OpenModeReadOnly);
    std::string message;
    EXPECT_EQ(NativeErrorOf([&] { zip.BeginTransaction(); }, &message), 32);
    EXPECT_EQ(message, "Zip: File is open in read-only mode - Native error: 00032");
    EXPECT_EQ(zip.TransactionDepth(), 0);
    zip.Close();
    ASSERT_TRUE(platform::SetFileAttributes(dir / "a.jar", 0));
    EXPECT_EQ(ReadBytes(dir / "a.jar"), before);
}

TEST_F(ZipArchiverOpenTest, MissingFileIsCreatedAndCloseLeavesAnEmptyArchive) {
    zip.FileName = dir / "new.jar";
    zip.Open();
    EXPECT_EQ(zip.OpenMode(), OpenModeCreate);
    EXPECT_TRUE(platform::FileExists(dir / "new.jar"));
    EXPECT_EQ(ReadBytes(dir / "new.jar"), "");
    EXPECT_EQ(zip.DirManager()->Directory.Count(), 0);
    zip.Close();
    EXPECT_EQ(ReadBytes(dir / "new.jar"), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    EXPECT_EQ(PythonListing(dir / "new.jar").status, 0);
    // An existing empty archive opens with no entries and stays as it is.
    zip.Open();
    EXPECT_EQ(zip.OpenMode(), OpenModeReadWrite);
    EXPECT_EQ(zip.DirManager()->Directory.Count(), 0);
    zip.Close();
    EXPECT_EQ(ReadBytes(dir / "new.jar").size(), 22u);
}

TEST_F(ZipArchiverOpenTest, BlankNamesAndMissingFilesAreRefused) {
    std::string message;
    zip.FileName = dir / "folder\\";
    EXPECT_EQ(NativeErrorOf([&] { zip.Open(); }, &message), 9);
    EXPECT_EQ(message,
              "Zip: File name is blank. Specify appropriate file name - Native error: 00009");
    EXPECT_EQ(NativeErrorOf([&] { zip.OpenArchive(OpenModeReadWrite); }), 10);
    zip.FileName = dir / "missing.jar";
    EXPECT_EQ(NativeErrorOf([&] { zip.OpenArchive(OpenModeReadWrite); }, &message), 12);
    EXPECT_EQ(message, "Zip: File \"" + dir / "missing.jar" + "\" not found - Native error: 00012");
    EXPECT_FALSE(platform::FileExists(dir / "missing.jar"));
    zip.FileName = dir / "a.jar";
    zip.InMemory = true;
    EXPECT_EQ(NativeErrorOf([&] { zip.OpenArchive(OpenModeReadOnly); }), 28);
    EXPECT_FALSE(zip.IsOpen());
}

TEST_F(ZipArchiverOpenTest, FailedOpenHoldsTheFileUntilClose) {
    WriteBytes(dir / "bad.jar", "this is no archive");
    zip.FileName = dir / "bad.jar";
    EXPECT_EQ(NativeErrorOf([&] { zip.Open(); }), 35);
    EXPECT_FALSE(zip.IsOpen());
    EXPECT_THROW(platform::TFileStream(dir / "bad.jar",
                                       platform::fmOpenReadWrite | platform::fmShareDenyWrite),
                 platform::EFOpenError);
    zip.Close();
    EXPECT_NO_THROW(platform::TFileStream(dir / "bad.jar",
                                          platform::fmOpenReadWrite | platform::fmShareDenyWrite));
    EXPECT_EQ(ReadBytes(dir / "bad.jar"), "this is no archive");
}

TEST_F(ZipArchiverOpenTest, DestroyingTheComponentReleasesTheFile) {
    {
        TZipArchiver other("Other");
        other.FileName = dir / "a.jar";
        other.Open();
    }
    EXPECT_NO_THROW(platform::TFileStream(dir / "a.jar",
                                          platform::fmOpenReadWrite | platform::fmShareDenyWrite));
}

TEST_F(ZipArchiverOpenTest, TransactionsNestAndTheOutermostEndCommits) {
    const std::string before = ReadBytes(dir / "a.jar");
    zip.BeginTransaction();  // opens the archive first
    ASSERT_TRUE(zip.IsOpen());
    TZipDirManager& manager = *zip.DirManager();
    EXPECT_EQ(manager.SavedDirectory.Count(), 4);
    EXPECT_EQ(manager.SavedDirectory.ItemAt(1).Name, "META-INF/MANIFEST.MF");
    zip.BeginTransaction();
    EXPECT_EQ(zip.TransactionDepth(), 2);
    zip.EndTransaction();
    EXPECT_EQ(zip.TransactionDepth(), 1);
    zip.EndTransaction();
    EXPECT_EQ(zip.TransactionDepth(), 0);
    zip.EndTransaction();
    EXPECT_EQ(zip.TransactionDepth(), 0);
    zip.Close();
    EXPECT_EQ(ReadBytes(dir / "a.jar"), before);
}

TEST_F(ZipArchiverOpenTest, AbandonedTransactionLeavesFileAndListAsTheyWere) {
    const std::string before = ReadBytes(dir / "a.jar");
    zip.Open();
    zip.BeginTransaction();
    TZipDirArray& directory = zip.DirManager()->Directory;
    directory.ItemAt(2).Modified = true;
    directory.SetItemName(2, "renamed.png");
    zip.AbandonTransaction();
    EXPECT_EQ(zip.TransactionDepth(), 0);
    EXPECT_EQ(directory.ItemAt(2).Name, "img/icon.png");
    EXPECT_FALSE(directory.ItemAt(2).Modified);
    EXPECT_EQ(directory.IndexOf("IMG/ICON.PNG"), 2);
    zip.BeginTransaction();
    zip.Close();  // commits what is open, and closes in any case
    EXPECT_FALSE(zip.IsOpen());
    EXPECT_EQ(zip.TransactionDepth(), 0);
    EXPECT_EQ(ReadBytes(dir / "a.jar"), before);
}

}  // namespace
}  // namespace archive
