// Shared pieces of the archive tests: the scratch folder, python's archives
// through zipinfo.py, and the two listings that are compared: ours, read
// in-process, and python's zipfile.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "TestCommands.h"
#include "TestFiles.h"
#include "TestFolder.h"
#include "archive/ZipArchiver.h"

namespace archive_test {

using ScratchFolder = TestFolder;

inline std::string ZipInfoScript() {
    return QUELLOR_SOURCE_DIR "/tests/archive/zipinfo.py";
}

// python's zipfile listing; status 1 when python cannot read the archive.
inline CommandResult PythonListing(const std::string& archive) {
    return Shell("python3 " + Quote(ZipInfoScript()) + " list " + Quote(archive) + " 2>/dev/null");
}

// Makes one of zipinfo.py's archives.
inline void PythonMake(const std::string& kind, const std::string& archive) {
    ASSERT_EQ(
        Shell("python3 " + Quote(ZipInfoScript()) + " make " + kind + " " + Quote(archive)).status,
        0);
}

inline std::string Hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

// One line per entry in the format of zipinfo.py and quellor-zip list.
inline std::string ListingOf(const archive::TZipDirArray& directory) {
    std::ostringstream out;
    for (int i = 0; i < directory.Count(); ++i) {
        const archive::TDirItem& item = directory.ItemAt(i);
        out << item.Name << '\t' << item.Header.Method << '\t' << item.CompressedSize() << '\t'
            << item.UncompressedSize() << '\t' << Hex8(item.Header.Crc32) << '\t'
            << Hex8(item.Header.ExternalAttributes) << '\t' << item.LocalHeaderOffset() << '\n';
    }
    return out.str();
}

// Opens the archive as the program does and lists it.
inline std::string OurListing(const std::string& archive) {
    archive::TZipArchiver zip("Zip");
    archive::ApplyFormValues(zip);
    zip.FileName = archive;
    zip.Open();
    const std::string listing = ListingOf(zip.DirManager()->Directory);
    zip.Close();
    return listing;
}

}  // namespace archive_test
