// Hostile archives: names that climb out of the destination folder, links
// planted in it, and entries whose data inflates far beyond what they
// declare or that share their data. Nothing is written outside the folder,
// and what is written stays bounded.
#include <gtest/gtest.h>

#include <functional>

#include "EntrySupport.h"
#include "TestCorpus.h"
#include "archive/ZipConst.h"
#include "platform/Dialogs.h"

namespace archive_test {
namespace {

namespace fs = std::filesystem;

// Extracts everything, answering every failure with Ignore; the native
// errors met, in order. `meanwhile` sees each entry's name before it is
// extracted.
std::vector<int> ExtractIgnoring(
    const std::string& archive, const std::string& destination,
    const std::function<void(const std::string&)>& meanwhile = [](const std::string&) {}) {
    auto zip = OpenArchive(archive, destination);
    zip->OnExtractFile = [&](archive::TZipBaseArchiver&, std::string& name, std::uint32_t&,
                             const std::string&) { meanwhile(name); };
    std::vector<int> natives;
    zip->OnProcessFileFailure = [&](archive::TZipBaseArchiver&, const std::string&,
                                    archive::TZipProcessOperation, int native, int,
                                    const std::string&, archive::TZipAction& action) {
        natives.push_back(native);
        action = archive::fxaIgnore;
    };
    zip->ExtractByMask("*", 10431, "");
    return natives;
}

// Writes, with python's zipfile, an archive whose entries each hold their
// own name.
void WriteNamedEntries(const std::string& archive, const std::string& pythonNameList) {
    ASSERT_EQ(Shell("python3 -c \"import zipfile\nz=zipfile.ZipFile('" + archive +
                    "','w')\nfor n in " + pythonNameList + ": z.writestr(n, n)\nz.close()\"")
                  .status,
              0);
}

std::uint64_t TotalSize(const FileMap& files) {
    std::uint64_t total = 0;
    for (const auto& [name, bytes] : files) {
        total += bytes.size();
    }
    return total;
}

TEST(ExtractSafety, NamesThatLeadOutOfTheFolderAreRefusedAndNothingLandsOutside) {
    ScratchFolder scratch;
    PythonMake("slip", scratch / "slip.zip");
    const std::string cwd = fs::current_path();
    fs::current_path(scratch.Path());
    for (bool createDirs : {true, false}) {
        SCOPED_TRACE(createDirs);
        const std::string out = scratch / "a/b/out";
        fs::create_directories(out);  // made only when folders are re-created
        auto zip = OpenArchive(scratch / "slip.zip", out);
        zip->Options.CreateDirs = createDirs;
        std::vector<int> natives;
        zip->OnProcessFileFailure = [&](archive::TZipBaseArchiver&, const std::string&,
                                        archive::TZipProcessOperation, int native, int,
                                        const std::string&, archive::TZipAction& action) {
            natives.push_back(native);
            action = archive::fxaIgnore;
        };
        zip->ExtractByMask("*", 10431, "");
        EXPECT_EQ(natives, std::vector<int>(7, archive::native::CannotCreateFile));
        const FileMap expected = createDirs
                                     ? FileMap{{"a/b/out/good.txt", "payload good.txt"},
                                               {"a/b/out/sub/fine.txt", "payload sub/fine.txt"}}
                                     : FileMap{{"a/b/out/good.txt", "payload good.txt"},
                                               {"a/b/out/fine.txt", "payload sub/fine.txt"}};
        FileMap written = FilesUnder(scratch.Path());
        written.erase("slip.zip");
        EXPECT_EQ(written, expected);
        fs::remove_all(scratch / "a");
    }
    fs::current_path(cwd);
    EXPECT_FALSE(fs::exists("/abs.txt"));
}

// The destination itself may be reached through a link (the user chose
// it); links below it are refused either way.
TEST(ExtractSafety, LinksInTheDestinationAreNotFollowed) {
    for (const bool throughLink : {false, true}) {
        SCOPED_TRACE(throughLink ? "destination through a link" : "plain destination");
        ScratchFolder scratch;
        const std::string real = scratch / "out";
        const std::string out = throughLink ? scratch / "via/out" : real;
        const std::string outside = scratch / "outside";
        fs::create_directories(real);
        fs::create_directories(outside);
        if (throughLink) {
            fs::create_directory_symlink(scratch.Path(), scratch / "via");
        }
        WriteBytes(outside + "/target.txt", "precious");
        fs::create_directory_symlink(outside, real + "/linked");
        fs::create_symlink(outside + "/target.txt", real + "/file.txt");
        fs::create_symlink(outside + "/new.txt", real + "/dangling.txt");
        WriteNamedEntries(scratch / "l.zip",
                          "['linked/x.txt','LINKED/deeper/y.txt','file.txt','dangling.txt',"
                          "'plain.txt','swap/first.txt','swap/second.txt']");

        // A folder the call has already written into is made a link behind
        // its back: what was looked up for the first entry is not trusted
        // for the second.
        const auto swapFolder = [&](const std::string& name) {
            if (name.find("second") != std::string::npos) {
                fs::rename(real + "/swap", scratch / "swapped");
                fs::create_directory_symlink(outside, real + "/Swap");
            }
        };
        EXPECT_EQ(ExtractIgnoring(scratch / "l.zip", out, swapFolder),
                  std::vector<int>(5, archive::native::CannotCreateFile));
        EXPECT_EQ(FilesUnder(outside), (FileMap{{"target.txt", "precious"}}));
        EXPECT_EQ(ReadBytes(real + "/plain.txt"), "plain.txt");
        EXPECT_EQ(ReadBytes(scratch / "swapped/first.txt"), "swap/first.txt");
        EXPECT_TRUE(fs::is_symlink(real + "/file.txt"));
    }
}

// The destination is renamed to a case variant of its name while a call
// writes into it, once before an entry in a folder and once before one at
// its top: every entry still lands in it, under its new spelling.
TEST(ExtractSafety, ADestinationRenamedMidCallIsFollowed) {
    ScratchFolder scratch;
    fs::create_directories(scratch / "out");
    WriteNamedEntries(scratch / "r.zip", "['a.txt','sub/b.txt','c.txt']");
    const auto rename = [&](const std::string& name) {
        if (name.find("b.txt") != std::string::npos) {
            fs::rename(scratch / "out", scratch / "OUT");
        } else if (name == "c.txt") {
            fs::rename(scratch / "OUT", scratch / "Out");
        }
    };
    EXPECT_EQ(ExtractIgnoring(scratch / "r.zip", scratch / "out/", rename), std::vector<int>{});
    EXPECT_EQ(FilesUnder(scratch.Path()), (FileMap{{"r.zip", ReadBytes(scratch / "r.zip")},
                                                   {"Out/a.txt", "a.txt"},
                                                   {"Out/sub/b.txt", "sub/b.txt"},
                                                   {"Out/c.txt", "c.txt"}}));
}

// Names on the way down, resolved from each folder's descriptor: an
// existing case variant of a folder or a file is used, trailing dots and
// spaces of a new name are dropped, and a name a memory card cannot hold is
// refused, saying why.
TEST(ExtractSafety, CaseVariantsAreUsedAndUnfitNamesRefusedWithTheirReason) {
    ScratchFolder scratch;
    const std::string out = scratch / "out";
    fs::create_directories(out + "/Img");
    WriteBytes(out + "/IMG2/B.PNG", "old");
    WriteNamedEntries(scratch / "n.zip",
                      "['img/a.png','img2/b.png','trail. /x.txt','bad?name.txt','dir|x/c.txt']");
    platform::ScriptedDialogs dialogs;
    platform::DialogsGuard guard(dialogs);
    dialogs.fallback = platform::mrIgnore;
    auto zip = OpenArchive(scratch / "n.zip", out);
    zip->ExtractByMask("*", 10431, "");
    EXPECT_EQ(zip->FailedCount(), 2);
    EXPECT_EQ(FilesUnder(out), (FileMap{{"Img/a.png", "img/a.png"},
                                        {"IMG2/b.png", "img2/b.png"},
                                        {"trail/x.txt", "trail. /x.txt"}}));
    const std::string unfit = ". File processing error: invalid name, a memory card cannot hold it";
    ASSERT_EQ(dialogs.questions.size(), 2u);
    EXPECT_EQ(dialogs.questions[0].text,
              "Zip: Cannot create file \"" + out + "/bad?name.txt\" - Native error: 00019" + unfit);
    EXPECT_EQ(dialogs.questions[1].text,
              "Zip: Cannot create directory \"" + out + "/dir|x/\" - Native error: 00020" + unfit);
}

struct Bomb {
    const char* name;
    const char* file;
    std::uint64_t bound;  // the most bytes extraction may leave on disk
};

class ExtractBomb : public ::testing::TestWithParam<Bomb> {};

TEST_P(ExtractBomb, StaysWithinWhatTheEntriesDeclare) {
    QUELLOR_SKIP_WITHOUT_CORPUS();
    ScratchFolder scratch;
    const std::string corpus = std::string(QUELLOR_CORPUS_DIR "/zip/") + GetParam().file;
    ExtractIgnoring(corpus, scratch / "out");
    const FileMap files = FilesUnder(scratch / "out");
    EXPECT_LE(TotalSize(files), GetParam().bound);
    // Every file written holds exactly what its entry declares.
    auto zip = OpenArchive(corpus);
    const archive::TZipDirArray& directory = zip->DirManager()->Directory;
    for (const auto& [name, bytes] : files) {
        const int index = const_cast<archive::TZipDirArray&>(directory).IndexOf(name);
        ASSERT_GE(index, 0) << name;
        EXPECT_EQ(bytes.size(), directory.ItemAt(index).UncompressedSize()) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, ExtractBomb,
    ::testing::Values(
        // 'first' declares 10 bytes and inflates to 256 KiB: refused.
        Bomb{"size_lie", "libarchive/test_read_format_zip_size_exceeds_declared_deflate.zip", 11},
        Bomb{"stored_size_lie", "libarchive/test_read_format_zip_size_exceeds_declared_stored.zip",
             64},
        // 2^63 bytes declared: refused before any byte is written.
        Bomb{"huge_declared", "commons-compress/createBoundedInputStream.bin", 0},
        // Entries that share or quote each other's data.
        Bomb{"overlap_quoted", "cpython-zipfile/overlap-quoted.zip", 2200},
        Bomb{"overlap_names", "cpython-zipfile/overlap-full-different-names.zip", 2100},
        Bomb{"ratio", "commons-compress/zipbomb.xlsx", 9u << 20},
        // A zip inside a zip is written as the inner archive, never opened.
        Bomb{"nested", "libzip/bigzero-zip.zip", 4200000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExtractSafety, AnEntryBeyondTheCallsBoundIsRefusedBeforeAnythingIsTouched) {
    static_assert(archive::TZipBaseArchiver::MaxExtractBytesPerCall == 1u << 30);
    ScratchFolder scratch;
    // 'two' claims one byte more than a call may write.
    ASSERT_EQ(Shell("python3 - <<'PY'\nimport zipfile, struct\n"
                    "path = '" +
                    scratch / "big.zip" +
                    "'\n"
                    "z = zipfile.ZipFile(path, 'w')\n"
                    "for n in ['one', 'two', 'three']:\n"
                    "    z.writestr(zipfile.ZipInfo(n), b'x')\n"
                    "z.close()\n"
                    "data = bytearray(open(path, 'rb').read())\n"
                    "pos = data.find(b'PK\\x01\\x02two'[:4] , data.rfind(b'two') - 46)\n"
                    "struct.pack_into('<I', data, pos + 24, (1 << 30) + 1)\n"
                    "open(path, 'wb').write(data)\nPY")
                  .status,
              0);
    // An existing file of that name is not even deleted: the entry is
    // refused before the target is touched.
    fs::create_directories(scratch / "out");
    WriteBytes(scratch / "out/two", "old");
    for (int call = 0; call < 2; ++call) {
        EXPECT_EQ(ExtractIgnoring(scratch / "big.zip", scratch / "out"),
                  std::vector<int>{archive::native::CorruptedEntry});
        EXPECT_EQ(FilesUnder(scratch / "out"),
                  (FileMap{{"one", "x"}, {"two", "old"}, {"three", "x"}}));
    }
}

}  // namespace
}  // namespace archive_test
