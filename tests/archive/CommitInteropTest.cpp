// Refreshing the manifest of archives that other tools wrote: the result
// passes their checks, keeps every other entry as it was (order, names,
// data descriptors, the bytes before the manifest, the archive comment),
// and holds the new manifest.
#include <gtest/gtest.h>

#include <sstream>

#include "EntrySupport.h"
#include "platform/Files.h"

namespace archive_test {
namespace {

namespace fs = std::filesystem;

const std::string kManifestEntry = "META-INF/MANIFEST.MF";
const std::string kNewManifest = "Manifest-Version: 1.0\r\nMIDlet-Name: Rewritten\r\n\r\n";

// Lines of zipinfo.py verify, by entry name (the comment as "comment").
std::vector<std::pair<std::string, std::string>> Verified(const std::string& archive) {
    const CommandResult result =
        Shell("python3 " + Quote(ZipInfoScript()) + " verify " + Quote(archive));
    EXPECT_EQ(result.status, 0) << "python's testzip on " << archive;
    std::vector<std::pair<std::string, std::string>> lines;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);) {
        const auto tab = line.find('\t');
        lines.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return lines;
}

void ExpectOtherToolsAccept(const std::string& archive) {
    EXPECT_EQ(Shell("unzip -tqq " + Quote(archive)).status, 0) << "unzip -t";
    EXPECT_EQ(Shell("jar tf " + Quote(archive) + " >/dev/null").status, 0) << "jar tf";
    EXPECT_EQ(Shell("7z t -bd -bso0 " + Quote(archive)).status, 0) << "7z t";
}

std::uint64_t ManifestOffset(const std::string& archive) {
    auto zip = OpenArchive(archive);
    archive::TZipDirArray& directory = zip->DirManager()->Directory;
    return directory.ItemAt(directory.IndexOf(kManifestEntry)).LocalHeaderOffset();
}

// The program's road: the manifest comes out into a temp folder, is
// rewritten there and goes back in.
void RefreshManifest(const std::string& jar, const std::string& temp) {
    ExtractAll(jar, "Manifest.mf", temp);
    ASSERT_TRUE(fs::exists(temp + "/META-INF/MANIFEST.MF"));
    WriteBytes(temp + "/META-INF/MANIFEST.MF", kNewManifest);
    UpdateAll(jar, "Meta-inf\\Manifest.mf", temp);
}

class CommitInterop : public ::testing::TestWithParam<Writer> {};

TEST_P(CommitInterop, OnlyTheManifestChanges) {
    ScratchFolder scratch;
    const std::string jar = scratch / "made.jar";
    WriteTree(scratch / "tree", SampleTree());
    MakeArchive(GetParam(), scratch / "tree", jar);
    const std::string before = ReadBytes(jar);
    const auto verifiedBefore = Verified(jar);
    const std::uint64_t manifestAt = ManifestOffset(jar);

    RefreshManifest(jar, scratch / "temp");

    const std::string after = ReadBytes(jar);
    ExpectOtherToolsAccept(jar);
    EXPECT_EQ(Shell("unzip -p " + Quote(jar) + " " + kManifestEntry).out, kNewManifest);
    EXPECT_EQ(after.substr(0, manifestAt), before.substr(0, manifestAt));
    // Same entries in the same order with the same flags (data descriptors
    // included), the refreshed one aside; the same archive comment.
    auto verifiedAfter = Verified(jar);
    ASSERT_EQ(verifiedAfter.size(), verifiedBefore.size());
    for (std::size_t i = 0; i < verifiedAfter.size(); ++i) {
        EXPECT_EQ(verifiedAfter[i].first, verifiedBefore[i].first);
        if (verifiedAfter[i].first == kManifestEntry) {
            // Flags 0; the name's bytes are kept, and so is the flag that
            // tells they are UTF-8.
            const unsigned old = std::stoul(verifiedBefore[i].second, nullptr, 16);
            EXPECT_EQ(std::stoul(verifiedAfter[i].second, nullptr, 16), old & 0x0800u);
        } else {
            EXPECT_EQ(verifiedAfter[i].second, verifiedBefore[i].second) << verifiedAfter[i].first;
        }
    }
    // Everything else still comes out as it went in.
    FileMap expected = SampleTree();
    expected[kManifestEntry] = kNewManifest;
    ExtractAll(jar, "*", scratch / "again");
    EXPECT_EQ(FilesUnder(scratch / "again"), expected);
}

INSTANTIATE_TEST_SUITE_P(Writers, CommitInterop, ::testing::ValuesIn(kWriters),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CommitInterop, TheRefreshedEntryTakesTheFilesDataTimeAndAttributesAndDropsItsComment) {
    ScratchFolder scratch;
    const std::string jar = scratch / "m.jar";
    PythonMake("midlet", jar);
    ASSERT_EQ(Shell("cd " + Quote(scratch.Path()) +
                    " && zip -qc m.jar META-INF/MANIFEST.MF "
                    "<<'EOF'\nan entry comment\nEOF")
                  .status,
              0);
    // The file on disk is named in another letter case.
    fs::create_directories(scratch / "temp/meta-inf");
    const std::string file = scratch / "temp/meta-inf/manifest.mf";
    WriteBytes(file, kNewManifest);
    ASSERT_TRUE(platform::SetFileAttributes(file, platform::faReadOnly));

    UpdateAll(jar, "Meta-inf\\Manifest.mf", scratch / "temp");

    auto zip = OpenArchive(jar);
    archive::TZipDirArray& directory = zip->DirManager()->Directory;
    const archive::TDirItem& entry = directory.ItemAt(2);
    EXPECT_EQ(entry.Name, kManifestEntry);
    EXPECT_EQ(entry.Header.Method, 8);
    EXPECT_EQ(entry.Header.Flags, 0);
    EXPECT_EQ(entry.Header.VersionNeeded, 20);
    EXPECT_EQ(entry.Header.VersionMadeBy, 20);
    EXPECT_EQ(entry.Header.ExternalAttributes, platform::faReadOnly | platform::faArchive);
    EXPECT_EQ(entry.Header.DosDateTime(), static_cast<std::uint32_t>(platform::FileAge(file)));
    EXPECT_EQ(entry.Header.CommentLength, 0);
    EXPECT_EQ(entry.UncompressedSize(), kNewManifest.size());
    EXPECT_EQ(Shell("unzip -p " + Quote(jar) + " " + kManifestEntry).out, kNewManifest);
    ExpectOtherToolsAccept(jar);
}

TEST(CommitInterop, AnEmptyFileIsStored) {
    ScratchFolder scratch;
    const std::string jar = scratch / "m.jar";
    PythonMake("midlet", jar);
    fs::create_directories(scratch / "temp/META-INF");
    WriteBytes(scratch / "temp/META-INF/MANIFEST.MF", "");
    UpdateAll(jar, "Meta-inf\\Manifest.mf", scratch / "temp");
    auto zip = OpenArchive(jar);
    const archive::TDirItem& entry = zip->DirManager()->Directory.ItemAt(2);
    EXPECT_EQ(entry.Header.Method, 0);
    EXPECT_EQ(entry.Header.Crc32, 0u);
    EXPECT_EQ(entry.CompressedSize(), 0u);
    EXPECT_EQ(entry.UncompressedSize(), 0u);
    ExpectOtherToolsAccept(jar);
}

TEST(CommitInterop, NothingToRefreshLeavesEveryEntryAsItWas) {
    ScratchFolder scratch;
    const std::string jar = scratch / "m.jar";
    PythonMake("midlet", jar);
    const std::string before = ReadBytes(jar);
    const std::string listing = OurListing(jar);
    // No file for the entry; then a file, but no entry for it.
    UpdateAll(jar, "Meta-inf\\Manifest.mf", scratch / "temp");
    WriteTree(scratch / "temp", {{"META-INF/OTHER.MF", "x"}});
    UpdateAll(jar, "Meta-inf\\Other.mf", scratch / "temp");
    EXPECT_EQ(OurListing(jar), listing);
    // The directory was written again; the entries' bytes stay.
    const std::uint64_t directoryAt = before.find("PK\x01\x02");
    EXPECT_EQ(ReadBytes(jar).substr(0, directoryAt), before.substr(0, directoryAt));
    ExpectOtherToolsAccept(jar);
}

TEST(CommitInterop, EntriesOutOfDirectoryOrderAreAllKept) {
    // The central directory lists the entries in another order than their
    // records lie in the file: the cut must not lose a record that lies
    // after the manifest but is listed before it.
    ScratchFolder scratch;
    const std::string jar = scratch / "m.jar";
    ASSERT_EQ(Shell("python3 - <<'PY'\nimport zipfile\n"
                    "z = zipfile.ZipFile('" +
                    jar +
                    "', 'w', zipfile.ZIP_DEFLATED)\n"
                    "z.writestr('first.txt', 'first' * 30)\n"
                    "z.writestr('META-INF/MANIFEST.MF', 'Manifest-Version: 1.0\\r\\n')\n"
                    "z.writestr('last.txt', 'last' * 30)\n"
                    "z.filelist.reverse()\n"
                    "z.close()\nPY")
                  .status,
              0);
    fs::create_directories(scratch / "temp/META-INF");
    WriteBytes(scratch / "temp/META-INF/MANIFEST.MF", kNewManifest);
    UpdateAll(jar, "Meta-inf\\Manifest.mf", scratch / "temp");
    ExpectOtherToolsAccept(jar);
    std::string first, last;
    for (int i = 0; i < 30; ++i) {
        first += "first";
        last += "last";
    }
    ExtractAll(jar, "*", scratch / "out");
    EXPECT_EQ(FilesUnder(scratch / "out"),
              (FileMap{{"first.txt", first}, {"last.txt", last}, {kManifestEntry, kNewManifest}}));
}

}  // namespace
}  // namespace archive_test
