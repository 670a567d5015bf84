// Shapes that once lost data, each in its smallest form: data prepended to
// an archive whose first entry has no sizes in its local header, a
// directory in another order than the records, files that are no archive,
// entries rebuilt from local headers, names flagged as UTF-8, bytes after a
// deflate stream, and refreshed entries that keep their names and tell
// their new time.
#include <gtest/gtest.h>

#include "EntrySupport.h"
#include "ShapeJudge.h"
#include "TestCorpus.h"
#include "archive/ZipConst.h"
#include "archive/records/ZipTimeBlocks.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace archive_test {
namespace {

using zip_shapes::Descriptor;
using zip_shapes::Entry;
using zip_shapes::Shape;

Entry File(const std::string& name, const std::string& data, bool deflate = true) {
    Entry e;
    e.name = name;
    e.data = data;
    e.deflate = deflate;
    return e;
}

Shape Of(std::vector<Entry> entries) {
    Shape shape;
    shape.entries = std::move(entries);
    for (int i = 0; i < static_cast<int>(shape.entries.size()); ++i) {
        shape.order.push_back(i);
    }
    return shape;
}

const std::string kText = "class data, class data, class data\n";

struct Row {
    std::string what;
    Shape shape;
    std::string target;  // the entry updated
};

std::vector<Row> Rows() {
    std::vector<Row> rows;
    const std::string stub = "#!/bin/sh\nexec java -jar \"$0\"\n";
    for (const Descriptor d : {Descriptor::Signed, Descriptor::Unsigned}) {
        for (const bool counted : {false, true}) {
            Shape shape = Of({File("A.class", kText), File("B.class", kText + kText),
                              File("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n")});
            shape.entries[0].descriptor = d;
            shape.prefix = stub;
            shape.offsetsCountPrefix = counted;
            rows.push_back(
                {"prefix, first entry with a descriptor", shape, "META-INF/MANIFEST.MF"});
            shape.entries[0].descriptor = Descriptor::None;
            shape.entries[0].zip64Local = true;
            rows.push_back({"prefix, first entry with Zip64 local sizes", shape, "B.class"});
        }
    }
    Shape empties = Of({File("a.txt", ""), File("b.txt", "", false), File("c.txt", "")});
    empties.prefix = stub;
    empties.order = {2, 1, 0};
    rows.push_back({"prefix, every entry empty", empties, "b.txt"});
    Shape reordered = Of({File("A.class", kText), File("B.class", kText), File("empty.txt", "")});
    reordered.order = {2, 0, 1};
    rows.push_back({"an empty entry listed first, its record last", reordered, "A.class"});

    const std::string inner = zip_shapes::Write(Of({File("in/x.txt", kText, false)}));
    Shape rebuilt = Of({File("lib/inner.jar", inner, false), File("empty.txt", ""),
                        File("bare.txt", kText), File("last.txt", kText)});
    rebuilt.entries[2].descriptor = Descriptor::Unsigned;
    rebuilt.trailing = "bytes after the end record";
    rows.push_back({"rebuilt: stored archive, empty file, bare descriptor", rebuilt, "last.txt"});

    Shape padded = Of({File("padded.txt", kText), File("next.txt", kText)});
    padded.entries[0].padding = "\x01\x02\x03\x04\x05";
    rows.push_back({"bytes after a deflate stream", padded, "next.txt"});

    for (const char* name : {"x.", "./c.txt", "a//b.txt", "arc\\test"}) {
        rows.push_back({"a name that is no plain path",
                        Of({File(name, kText), File("other.txt", kText)}), name});
    }
    return rows;
}

TEST(KnownFaults, EachShapeIsReadAndUpdatedWithoutLoss) {
    ScratchFolder scratch;
    int n = 0;
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.what + "\n" + row.shape.Describe());
        const std::string path = scratch / ("row" + std::to_string(++n) + ".zip");
        WriteBytes(path, zip_shapes::Write(row.shape));
        Listing expected = zip_shapes::Expected(row.shape);
        ASSERT_EQ(Lines(zip_shapes::ReadWithEngine(path)), Lines(expected));
        zip_shapes::UpdateOne(path, scratch / ("base" + std::to_string(n)), row.target, "new");
        for (auto& [name, data] : expected) {
            data = name == row.target ? "new" : data;
        }
        EXPECT_EQ(PythonContents(path), Lines(expected));
        EXPECT_EQ(Lines(zip_shapes::ReadWithEngine(path)), Lines(expected));
    }
}

// Signatures in a file that holds no entry do not make it an archive, and
// an update cannot cut it down.
TEST(KnownFaults, AFileThatIsNoArchiveIsRefusedAndKept) {
    ScratchFolder scratch;
    std::vector<std::string> files = {
        "text PK\x03\x04 more text",
        "PK\x03\x04" + std::string(40, '\xFF'),
    };
    if (CorpusPresent()) {
        files.push_back(ReadBytes(QUELLOR_CORPUS_DIR "/zip/commons-compress/COMPRESS-351.zip"));
    }
    for (const std::string& bytes : files) {
        const std::string path = scratch / "not.zip";
        WriteBytes(path, bytes);
        archive::TZipArchiver zip("Zip");
        archive::ApplyFormValues(zip);
        zip.FileName = path;
        zip.BaseDir = scratch.Path();
        try {
            zip.Open();
            zip.UpdateByMask("*.*", 10431, "");
            ADD_FAILURE() << "opened";
        } catch (const archive::EZipException& e) {
            EXPECT_EQ(e.NativeError, archive::native::InvalidArchive);
        }
        zip.Close();
        EXPECT_TRUE(ReadBytes(path) == bytes);
    }
}

TEST(KnownFaults, AnUpdateThatChangesNothingWritesNothing) {
    ScratchFolder scratch;
    Shape shape = Of({File("a.txt", kText), File("b.txt", kText)});
    for (const std::string trailing : {"", "trailing bytes"}) {
        shape.trailing = trailing;
        const std::string bytes = zip_shapes::Write(shape);
        WriteBytes(scratch / "same.zip", bytes);
        zip_shapes::UpdateOne(scratch / "same.zip", scratch / "base", "unrelated.txt", "x");
        EXPECT_TRUE(ReadBytes(scratch / "same.zip") == bytes) << trailing;
    }
}

// Bit 11 says UTF-8 whatever the locale's code pages; the name is written
// back as it was.
TEST(KnownFaults, NamesFlaggedAsUtf8AreUtf8InEveryLocale) {
    ScratchFolder scratch;
    Shape shape = Of({File("\xD0\xB4\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5.txt", kText),
                      File("caf\xC3\xA9.txt", kText), File("plain.txt", kText)});
    shape.entries[0].utf8 = shape.entries[1].utf8 = true;
    for (const auto& [ansi, oem] : {std::pair{1251u, 866u}, {1252u, 437u}, {0u, 0u}}) {
        SCOPED_TRACE(ansi);
        platform::SetCodePages(ansi, oem);
        const std::string path = scratch / ("utf8-" + std::to_string(ansi) + ".zip");
        WriteBytes(path, zip_shapes::Write(shape));
        Listing expected = zip_shapes::Expected(shape);
        EXPECT_EQ(Lines(zip_shapes::ReadWithEngine(path)), Lines(expected));
        zip_shapes::UpdateOne(path, scratch / ("base" + std::to_string(ansi)), "plain.txt", "new");
        expected[2].second = "new";
        EXPECT_EQ(PythonContents(path), Lines(expected));
    }
    platform::SetCodePages(0, 0);
}

std::uint64_t LittleEndian(const std::vector<std::uint8_t>& data, std::size_t at, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = value << 8 | data[at + static_cast<std::size_t>(i)];
    }
    return value;
}

TEST(KnownFaults, ARefreshedEntryTellsItsNewTimeInItsTimeBlocks) {
    ScratchFolder scratch;
    std::string extra;
    zip_shapes::Put16(extra, archive::ExtendedTimestampId);
    zip_shapes::Put16(extra, 5);
    extra += '\x01';
    zip_shapes::Put32(extra, 1000000000);
    zip_shapes::Put16(extra, archive::NtfsTimesId);
    zip_shapes::Put16(extra, 32);
    zip_shapes::Put32(extra, 0);
    zip_shapes::Put16(extra, 1);
    zip_shapes::Put16(extra, 24);
    for (int i = 0; i < 3; ++i) {
        zip_shapes::Put64(extra, 130000000000000000);
    }
    zip_shapes::Put16(extra, 0xCAFE);
    zip_shapes::Put16(extra, 2);
    extra += "ok";
    Shape shape = Of({File("a.txt", kText)});
    shape.entries[0].extra = extra;
    const std::string path = scratch / "times.zip";
    WriteBytes(path, zip_shapes::Write(shape));

    const std::int64_t when = 1700000000;
    WriteBytes(scratch / "base/a.txt", "new");
    ASSERT_TRUE(platform::SetFileLastWriteTime(scratch / "base/a.txt", {when, 0}));
    auto zip = OpenArchive(path, scratch / "base");
    zip->UpdateByMask("*.*", 10431, "");
    zip->Close();

    zip = OpenArchive(path);
    const archive::TDirItem& item = zip->DirManager()->Directory.ItemAt(0);
    ASSERT_EQ(item.ExtraFields().size(), 3u);
    EXPECT_EQ(LittleEndian(item.ExtraFields()[0].Data, 1, 4), static_cast<std::uint64_t>(when));
    EXPECT_EQ(LittleEndian(item.ExtraFields()[1].Data, 8, 8),
              static_cast<std::uint64_t>((when + 11644473600) * 10000000));
    EXPECT_EQ(LittleEndian(item.ExtraFields()[1].Data, 16, 8), 130000000000000000u);
    EXPECT_EQ(item.ExtraFields()[2].Id, 0xCAFE);
    zip->Close();
}

// A time block too short to hold the time is dropped rather than kept wrong.
TEST(KnownFaults, TimeBlocksThatCannotHoldTheTimeAreDropped) {
    std::vector<archive::ExtraField> fields = {
        {archive::ExtendedTimestampId, {0x01, 0x00}},
        {archive::NtfsTimesId, {0, 0, 0, 0, 1, 0, 8, 0, 1, 2, 3, 4, 5, 6, 7, 8}},
        {archive::ExtendedTimestampId, {0x02, 1, 2, 3, 4}},
        {0x7875, {1, 4, 0, 0, 0, 0}}};
    const platform::FileTime when{1700000000, 0};
    archive::RestampTimeBlocks(fields, &when);
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].Data, (std::vector<std::uint8_t>{0x02, 1, 2, 3, 4}));
    EXPECT_EQ(fields[1].Id, 0x7875);
    archive::RestampTimeBlocks(fields, nullptr);
    EXPECT_EQ(fields.size(), 1u);
}

}  // namespace
}  // namespace archive_test
