// Reading and writing the central directory of archives that real tools
// wrote, compared entry by entry with python's zipfile, and the repairs of
// archives that cannot be read through their directory.
#include <gtest/gtest.h>

#include <random>

#include "ZipSupport.h"
#include "archive/ZipArchiver.h"
#include "archive/directory/ZipDirManager.h"
#include "platform/CodePage.h"
#include "platform/Faults.h"
#include "platform/Stream.h"

namespace archive {
namespace {

using archive_test::OurListing;
using archive_test::PythonListing;
using archive_test::PythonMake;
using archive_test::ScratchFolder;

// A small MIDlet tree: a folder entry, a manifest, binary data, an empty file.
void MakeTree(const std::string& root) {
    std::filesystem::create_directories(root + "META-INF");
    std::filesystem::create_directories(root + "img");
    WriteBytes(root + "META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nMIDlet-Name: Race\r\n");
    std::string png;
    for (int i = 0; i < 5000; ++i) {
        png += static_cast<char>((i * 7919) % 251);
    }
    WriteBytes(root + "img/icon.png", png);
    WriteBytes(root + "Game.class", std::string(3000, 'x') + "tail");
    WriteBytes(root + "empty.txt", "");
}

// A manager over an archive file, opened the way the component opens it.
struct OpenManager {
    explicit OpenManager(const std::string& path, std::uint32_t mode = platform::fmOpenReadWrite)
        : stream(path, mode), manager(&stream, nullptr, false) {}
    platform::TFileStream stream;
    TZipDirManager manager;
};

int OpenError(const std::string& path) {
    try {
        OurListing(path);
    } catch (const EZipException& e) {
        return e.NativeError;
    }
    return -1;
}

// The archives are made once per suite; every test works on its own copies.
class RealArchivesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        made = new ScratchFolder;
        const std::string tree = *made / "tree/";
        MakeTree(tree);
        const std::string cd = "cd " + Quote(tree) + " && ";
        ASSERT_EQ(Shell(cd + "zip -qrX " + Quote(*made / "zip.zip") + " .").status, 0);
        ASSERT_EQ(Shell(cd + "jar cf " + Quote(*made / "jar.jar") + " .").status, 0);
        ASSERT_EQ(Shell(cd + "7z a -tzip -bd " + Quote(*made / "7z.zip") + " . >/dev/null").status,
                  0);
        for (const char* kind : {"plain", "comment", "descriptors", "force64", "zip64eocd"}) {
            PythonMake(kind, *made / (std::string(kind) + ".zip"));
        }
    }
    static void TearDownTestSuite() {
        delete made;
        made = nullptr;
    }
    void SetUp() override {
        for (const std::string& name : Archives()) {
            WriteBytes(dir / name, ReadBytes(*made / name));
        }
    }
    static std::vector<std::string> Archives() {
        return {"zip.zip",     "jar.jar",     "7z.zip",        "plain.zip",
                "comment.zip", "force64.zip", "zip64eocd.zip", "descriptors.zip"};
    }
    static inline ScratchFolder* made = nullptr;
    ScratchFolder dir;
};

TEST_F(RealArchivesTest, EveryEntryReadsAsPythonReadsIt) {
    for (const std::string& name : Archives()) {
        const auto python = PythonListing(dir / name);
        ASSERT_EQ(python.status, 0) << name;
        EXPECT_EQ(OurListing(dir / name), python.out) << name;
    }
}

TEST_F(RealArchivesTest, UnchangedDirectoryIsWrittenBackByteForByte) {
    for (const std::string& name : Archives()) {
        if (name == "zip64eocd.zip") {
            continue;  // its Zip64 records are not needed and are not written again
        }
        const std::string before = ReadBytes(dir / name);
        {
            OpenManager open(dir / name);
            open.manager.ReadDirectory();
            open.manager.WriteDirectory(false);
        }
        EXPECT_EQ(ReadBytes(dir / name), before) << name;
    }
}

TEST_F(RealArchivesTest, UnneededZip64RecordsGiveWayToAPlainEndRecord) {
    const std::string path = dir / "zip64eocd.zip";
    const auto python = PythonListing(path);
    {
        OpenManager open(path);
        open.manager.ReadDirectory();
        EXPECT_TRUE(open.manager.End.IsZip64);
        open.manager.WriteDirectory(false);
        EXPECT_FALSE(open.manager.End.IsZip64);
    }
    EXPECT_EQ(ReadBytes(path).size(), ReadBytes(dir / "plain.zip").size());
    EXPECT_EQ(PythonListing(path).out, python.out);
}

TEST_F(RealArchivesTest, ExtraBlockLongerThanItsFieldIsCutToTheField) {
    // 7z writes one extra block (NTFS times) in every central header; the
    // block of the first header claims 65535 bytes.
    std::string bytes = ReadBytes(dir / "7z.zip");
    const std::size_t header = bytes.find("PK\x01\x02");
    const std::size_t nameLength = static_cast<unsigned char>(bytes[header + 28]);
    const std::size_t extraLength = static_cast<unsigned char>(bytes[header + 30]);
    ASSERT_GT(extraLength, 4u);
    bytes.replace(header + 46 + nameLength + 2, 2, "\xFF\xFF");
    WriteBytes(dir / "7z.zip", bytes);
    OpenManager open(dir / "7z.zip");
    open.manager.ReadDirectory();
    ASSERT_LT(open.manager.End.DirectoryOffset, open.stream.Size());  // read, not rebuilt
    const TDirItem& item = open.manager.Directory.ItemAt(0);
    ASSERT_EQ(item.ExtraFields().size(), 1u);
    EXPECT_EQ(item.ExtraFields()[0].Data.size(), extraLength - 4);
    EXPECT_EQ(open.manager.Directory.Count(), 6);
}

TEST_F(RealArchivesTest, ArchiveCommentIsLoadedAndKept) {
    const std::string path = dir / "comment.zip";
    OpenManager open(path);
    open.manager.ReadDirectory();
    EXPECT_EQ(open.manager.End.ArchiveComment, "built for the tests \x01\x02");
    open.manager.WriteDirectory(true);  // appended after the old end record
    EXPECT_EQ(PythonListing(path).status, 0);
    EndOfCentralDirectory record;
    std::int64_t position = -1;
    ASSERT_TRUE(open.manager.FindEndRecord(record, position));
    EXPECT_EQ(open.manager.End.ArchiveComment, "built for the tests \x01\x02");
}

TEST_F(RealArchivesTest, DataPrependedToTheArchiveIsSkipped) {
    const std::string prefix(1234, 'S');
    // Offsets counted from the archive's own start are raised by the prefix.
    WriteBytes(dir / "sfx.zip", prefix + ReadBytes(dir / "zip.zip"));
    const auto python = PythonListing(dir / "sfx.zip");
    ASSERT_EQ(python.status, 0);
    EXPECT_EQ(OurListing(dir / "sfx.zip"), python.out);
    {
        OpenManager open(dir / "sfx.zip");
        open.manager.ReadDirectory();
        EXPECT_EQ(open.manager.PrefixSize, 1234u);
        EXPECT_EQ(open.manager.Directory.ItemAt(0).LocalHeaderOffset(), 1234u);
    }
    // Offsets that already count from the start of the file stay as they are.
    ASSERT_EQ(Shell("zip -qA " + Quote(dir / "sfx.zip")).status, 0);
    EXPECT_EQ(OurListing(dir / "sfx.zip"), PythonListing(dir / "sfx.zip").out);
    EXPECT_EQ(OurListing(dir / "sfx.zip"), python.out);
}

TEST_F(RealArchivesTest, BytesAfterTheEndRecordMakeTheEntriesComeFromLocalHeaders) {
    // python writes attributes 0x10/0x20 and no empty files, so a rebuilt
    // list equals its reading; descriptors supply CRC-32 and sizes. A
    // folder is known by its name, with flag bit 3 or without.
    for (const char* name : {"plain.zip", "descriptors.zip", "comment.zip"}) {
        const std::string path = dir / name;
        const std::string expected = PythonListing(path).out;
        WriteBytes(path, ReadBytes(path) + "junk");
        EXPECT_EQ(OurListing(path), expected) << name;
        OpenManager open(path);
        open.manager.ReadDirectory();
        EXPECT_EQ(open.manager.End.DirectoryOffset, open.stream.Size());
        EXPECT_TRUE(open.manager.Directory.ItemAt(3).Comment().empty());
    }
}

TEST_F(RealArchivesTest, TruncatedArchivesAreRebuiltFromWhatIsLeft) {
    const std::string whole = ReadBytes(dir / "plain.zip");
    const auto python = PythonListing(dir / "plain.zip");
    // Cut inside the central directory: all four entries are still there.
    WriteBytes(dir / "cut.zip", whole.substr(0, whole.size() - 40));
    EXPECT_EQ(OurListing(dir / "cut.zip"), python.out);
    // Cut inside the last entry's data: its header is still found.
    const std::size_t last = whole.rfind("PK\x03\x04");
    WriteBytes(dir / "cut.zip", whole.substr(0, last + 45));
    OpenManager open(dir / "cut.zip");
    open.manager.ReadDirectory();
    EXPECT_EQ(open.manager.Directory.Count(), 4);
    EXPECT_EQ(open.manager.Directory.ItemAt(3).Name, "Game.class");
    // Cut inside the last local header's name: the entry has no name.
    WriteBytes(dir / "cut.zip", whole.substr(0, last + 32));
    EXPECT_EQ(OurListing(dir / "cut.zip").substr(0, 2), "ME");
}

TEST(DirectoryReadTest, EmptyArchiveOfOnlyAnEndRecord) {
    ScratchFolder dir;
    const std::string empty = std::string("PK\x05\x06", 4) + std::string(18, '\0');
    WriteBytes(dir / "empty.zip", empty);
    {
        OpenManager open(dir / "empty.zip");
        open.manager.ReadDirectory();
        EXPECT_EQ(open.manager.Directory.Count(), 0);
        open.manager.WriteDirectory(false);
    }
    EXPECT_EQ(ReadBytes(dir / "empty.zip"), empty);
}

TEST(DirectoryReadTest, NoLocalHeaderAnywhereIsNotAnArchive) {
    ScratchFolder dir;
    std::string garbage;
    for (int i = 0; i < 200000; ++i) {
        garbage += static_cast<char>("PK\x05\x01\x03"[i % 5]);
    }
    for (const std::string& bytes : {std::string(), std::string("PK\x03"), garbage,
                                     std::string("PK\x03\x04") + std::string(25, 'x')}) {
        WriteBytes(dir / "bad.zip", bytes);
        EXPECT_EQ(OpenError(dir / "bad.zip"), 35) << bytes.size();
    }
}

// The plain python archive with its end record patched.
std::string PatchedEndRecord(const std::string& archive, std::size_t field, std::string bytes) {
    std::string out = archive;
    out.replace(out.rfind("PK\x05\x06") + field, bytes.size(), bytes);
    return out;
}

TEST(DirectoryReadTest, ForgedCountsAndSizesEndInTheRebuild) {
    ScratchFolder dir;
    PythonMake("plain", dir / "plain.zip");
    const std::string plain = ReadBytes(dir / "plain.zip");
    const std::string expected = OurListing(dir / "plain.zip");
    const std::pair<std::size_t, std::string> patches[] = {
        {8, std::string("\xE8\xFD\xE8\xFD", 4)},   // 65000 entries
        {8, std::string("\x05\x00\x05\x00", 4)},   // one entry too many
        {12, std::string("\xFF\xFF\xFF\x7F", 4)},  // directory larger than the file
        {12, std::string("\x10\x00\x00\x00", 4)},  // directory too small for its entries
        {8, std::string("\xFF\xFF\xFF\xFF", 4)},   // 0xFFFF entries without Zip64
    };
    for (const auto& [field, bytes] : patches) {
        WriteBytes(dir / "forged.zip", PatchedEndRecord(plain, field, bytes));
        EXPECT_EQ(OurListing(dir / "forged.zip"), expected) << field;
    }
    // A name length that runs past the end of the directory.
    std::string runaway = plain;
    runaway.replace(runaway.rfind("PK\x01\x02") + 28, 2, "\xFF\xFF");
    WriteBytes(dir / "forged.zip", runaway);
    EXPECT_EQ(OurListing(dir / "forged.zip"), expected);
}

TEST(DirectoryReadTest, Zip64RecordClaimingBillionsOfEntriesIsNotBelieved) {
    ScratchFolder dir;
    PythonMake("zip64eocd", dir / "z.zip");
    const std::string expected = PythonListing(dir / "z.zip").out;
    std::string forged = ReadBytes(dir / "z.zip");
    const std::size_t record = forged.rfind("PK\x06\x06");
    forged.replace(record + 24, 16, std::string("\0\0\0\0\0\0\x01\0\0\0\0\0\0\0\x01\0", 16));
    WriteBytes(dir / "z.zip", forged);
    EXPECT_EQ(OurListing(dir / "z.zip"), expected);
}

TEST(DirectoryReadTest, Zip64LocatorWithoutItsRecordFailsTheOpen) {
    ScratchFolder dir;
    PythonMake("plain", dir / "plain.zip");
    std::string bytes = ReadBytes(dir / "plain.zip");
    const std::size_t end = bytes.rfind("PK\x05\x06");
    std::string locator("PK\x06\x07", 4);
    locator += std::string("\0\0\0\0", 4) + std::string("\x10\0\0\0\0\0\0\0", 8) +
               std::string("\x01\0\0\0", 4);
    bytes.insert(end, locator);
    WriteBytes(dir / "z.zip", bytes);
    EXPECT_EQ(OpenError(dir / "z.zip"), 40);
    try {
        OurListing(dir / "z.zip");
    } catch (const EZipException& e) {
        EXPECT_STREQ(e.what(), "Cannot find Zip64 directory end record - Native error: 00040");
    }
}

TEST(DirectoryReadTest, EndRecordSignatureInsideTheCommentIsNotTaken) {
    ScratchFolder dir;
    PythonMake("plain", dir / "plain.zip");
    const std::string comment = std::string("xx PK\x05\x06", 8) + std::string(14, 'c');
    WriteBytes(
        dir / "c.zip",
        PatchedEndRecord(ReadBytes(dir / "plain.zip"), 20, std::string("\x16\x00", 2)) + comment);
    OpenManager open(dir / "c.zip");
    open.manager.ReadDirectory();
    EXPECT_EQ(open.manager.End.ArchiveComment, comment);
    EXPECT_EQ(open.manager.Directory.Count(), 4);
    EXPECT_LT(open.manager.End.DirectoryOffset, open.stream.Size() - 22);
}

TEST(DirectoryReadTest, RebuildSkipsHeadersWithLongExtraFields) {
    ScratchFolder dir;
    PythonMake("bigextra", dir / "b.zip");
    WriteBytes(dir / "b.zip", ReadBytes(dir / "b.zip") + "!");
    OpenManager open(dir / "b.zip");
    open.manager.ReadDirectory();
    ASSERT_EQ(open.manager.Directory.Count(), 1);
    EXPECT_EQ(open.manager.Directory.ItemAt(0).Name, "after.txt");
}

TEST(DirectoryReadTest, NameIndexGrowsPast5000Names) {
    ScratchFolder dir;
    PythonMake("many6000", dir / "many.zip");
    archive::TZipArchiver zip("Zip");
    zip.FileName = dir / "many.zip";
    zip.Open();
    TZipDirArray& directory = zip.DirManager()->Directory;
    ASSERT_EQ(directory.Count(), 6000);
    for (int i = 0; i < 6000; i += 97) {
        char name[32];
        std::snprintf(name, sizeof name, "D%d/F%06d.TXT", i % 7, i);
        EXPECT_EQ(directory.IndexOf(name), i);
    }
    ASSERT_NE(directory.NameIndex().ValueHash(), nullptr);
    EXPECT_EQ(directory.NameIndex().ValueHash()->BucketCount(), 6000u);
}

TEST(DirectoryReadTest, Zip64EndRecordsOfMoreThan65535Entries) {
    ScratchFolder dir;
    PythonMake("many66000", dir / "many.zip");
    const std::string before = ReadBytes(dir / "many.zip");
    {
        OpenManager open(dir / "many.zip");
        open.manager.ReadDirectory();
        EXPECT_TRUE(open.manager.End.IsZip64);
        EXPECT_EQ(open.manager.Directory.Count(), 66000);
        EXPECT_EQ(open.manager.Directory.ItemAt(65999).Name, "d3/f065999.txt");
        open.manager.WriteDirectory(false);
    }
    EXPECT_EQ(ReadBytes(dir / "many.zip"), before);
}

class CyrillicNamesTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetCodePages(1251, 866); }
    void TearDown() override { platform::SetCodePages(0, 0); }
};

TEST_F(CyrillicNamesTest, OemNamesReadAsUnicodeAndWriteBackUnchanged) {
    ScratchFolder dir;
    PythonMake("cyrillic", dir / "c.zip");
    const std::string before = ReadBytes(dir / "c.zip");
    {
        OpenManager open(dir / "c.zip");
        open.manager.ReadDirectory();
        TZipDirArray& directory = open.manager.Directory;
        ASSERT_EQ(directory.Count(), 2);
        EXPECT_EQ(directory.ItemAt(0).Name, "Привет/");
        EXPECT_EQ(directory.ItemAt(1).Name, "Привет/мир.txt");
        EXPECT_EQ(directory.IndexOf("ПРИВЕТ/МИР.TXT"), 1);
        open.manager.WriteDirectory(false);
    }
    EXPECT_EQ(ReadBytes(dir / "c.zip"), before);
}

TEST_F(CyrillicNamesTest, NewNamesAreStoredInTheOemCodePage) {
    ScratchFolder dir;
    PythonMake("cyrillic", dir / "c.zip");
    {
        OpenManager open(dir / "c.zip");
        open.manager.ReadDirectory();
        open.manager.Directory.SetItemName(1, platform::Utf8ToAnsi("Привет/Ёжик.txt"));
        open.manager.WriteDirectory(false);
    }
    EXPECT_NE(ReadBytes(dir / "c.zip").find("\x8f\xe0\xa8\xa2\xa5\xe2/\xf0\xa6\xa8\xaa.txt"),
              std::string::npos);
    OpenManager open(dir / "c.zip");
    open.manager.ReadDirectory();
    EXPECT_EQ(open.manager.Directory.ItemAt(1).Name, "Привет/Ёжик.txt");
    EXPECT_EQ(open.manager.Directory.ItemAt(1).Header.NameLength, 15);
}

TEST_F(CyrillicNamesTest, AnsiNamesWhenOemNamesAreOff) {
    ScratchFolder dir;
    PythonMake("cyrillic", dir / "c.zip");
    archive::TZipArchiver zip;
    zip.Options.OEMFileNames = false;
    platform::TFileStream stream(dir / "c.zip", platform::fmOpenRead);
    TZipDirManager manager(&stream, &zip, false);
    manager.ReadDirectory();
    // The 866 bytes read as 1251 text.
    EXPECT_EQ(manager.Directory.ItemAt(0).Name, platform::AnsiToUtf8("\x8f\xe0\xa8\xa2\xa5\xe2/"));
}

}  // namespace
}  // namespace archive

namespace archive {
namespace {

TEST(DirectoryWriteTest, AShortWriteOfTheDirectoryIsWriteStreamError) {
    ScratchFolder dir;
    PythonMake("plain", dir / "a.zip");
    archive::TZipArchiver zip("Zip");
    platform::TFileStream stream(dir / "a.zip", platform::fmOpenReadWrite);
    TZipDirManager manager(&stream, &zip, false);
    manager.ReadDirectory();
    platform::ArmFault(platform::FaultPoint::StreamWrite, 1);
    try {
        manager.WriteDirectory(true);
        ADD_FAILURE() << "no error";
    } catch (const EZipException& e) {
        EXPECT_STREQ(e.what(), "Zip: Write to stream error - Native error: 00046");
    }
    platform::DisarmAllFaults();
}

TEST(DirectoryWriteTest, AppendedDirectoryFollowsTheData) {
    ScratchFolder dir;
    PythonMake("plain", dir / "a.zip");
    const std::string expected = PythonListing(dir / "a.zip").out;
    {
        OpenManager open(dir / "a.zip");
        open.manager.ReadDirectory();
        // Cut the old directory away, as a commit does, and write it anew.
        open.stream.SetSize(open.manager.End.DirectoryOffset);
        open.manager.WriteDirectory(true);
        EXPECT_EQ(open.manager.End.EndRecord.TotalEntries, 4);
        EXPECT_EQ(open.manager.End.EndRecord.DirectoryOffset, open.manager.End.DirectoryOffset);
    }
    EXPECT_EQ(PythonListing(dir / "a.zip").out, expected);
}

TEST(DirectoryReadTest, Zip64ArchiveWithDataPrepended) {
    ScratchFolder dir;
    PythonMake("zip64eocd", dir / "z.zip");
    WriteBytes(dir / "z.zip", std::string(500, 'p') + ReadBytes(dir / "z.zip"));
    const auto python = PythonListing(dir / "z.zip");
    ASSERT_EQ(python.status, 0);
    EXPECT_EQ(OurListing(dir / "z.zip"), python.out);
}

}  // namespace
}  // namespace archive

namespace archive {
namespace {

// Damaged copies of real archives: bytes overwritten with values that mean
// something in a header (all-ones, zeros, signatures) and files cut short.
// Each one opens or fails with the engine's own error, never worse.
TEST(DirectoryReadTest, DamagedArchivesOpenOrFailCleanly) {
    ScratchFolder dir;
    PythonMake("descriptors", dir / "d.zip");
    PythonMake("zip64eocd", dir / "z.zip");
    MakeTree(dir / "tree/");  // zip writes extra blocks
    ASSERT_EQ(Shell("cd " + Quote(dir / "tree/") + " && zip -qr ../x.zip .").status, 0);
    const std::string sources[] = {ReadBytes(dir / "d.zip"), ReadBytes(dir / "z.zip"),
                                   ReadBytes(dir / "x.zip")};
    const std::string pokes[] = {std::string("\xFF\xFF\xFF\xFF", 4), std::string(4, '\0'),
                                 std::string("PK\x03\x04", 4),       std::string("PK\x01\x02", 4),
                                 std::string("PK\x06\x06", 4),       std::string("\xFF\xFF", 2)};
    std::mt19937 random(20240607);
    for (int round = 0; round < 900; ++round) {
        std::string bytes = sources[round % 3];
        const int changes = 1 + static_cast<int>(random() % 6);
        for (int c = 0; c < changes && bytes.size() > 8; ++c) {
            const std::size_t at = random() % bytes.size();
            switch (random() % 4) {
                case 0:
                    bytes[at] = static_cast<char>(random());
                    break;
                case 1:
                case 2:
                    bytes.replace(at, 4, pokes[random() % std::size(pokes)]);
                    break;
                default:
                    bytes.resize(at);
                    break;
            }
        }
        WriteBytes(dir / "m.zip", bytes);
        try {
            OurListing(dir / "m.zip");
        } catch (const EZipException& e) {
            EXPECT_TRUE(e.NativeError == 35 || e.NativeError == 40) << round << ": " << e.what();
        }
    }
}

}  // namespace
}  // namespace archive
