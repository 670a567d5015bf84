// Shared pieces of the extraction and commit tests: a sample tree of files
// as a MIDlet holds them, the files found under a folder, and the component
// opened on an archive the way the program configures it.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ZipSupport.h"
#include "archive/ZipArchiver.h"

namespace archive_test {

using FileMap = std::map<std::string, std::string>;  // relative path -> bytes

// Bytes that deflate poorly: a fixed pseudo-random sequence.
inline std::string NoiseBytes(std::size_t count, std::uint32_t seed) {
    std::string bytes(count, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return bytes;
}

// A MIDlet-like tree: a manifest, an icon, a class, an empty file and a
// folder and file with Cyrillic names.
inline FileMap SampleTree() {
    std::string cls = "\xca\xfe\xba\xbe";
    for (int i = 0; i < 2000; ++i) {
        cls += "method" + std::to_string(i % 37) + ";";
    }
    return {
        {"META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nMIDlet-Name: Race\r\n\r\n"},
        {"img/icon.png", NoiseBytes(3000, 7)},
        {"Game.class", cls},
        {"empty.txt", ""},
        {"\xd1\x80\xd0\xb5\xd1\x81\xd1\x83\xd1\x80\xd1\x81\xd1\x8b/"
         "\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb.txt",
         "\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"},
    };
}

inline void WriteTree(const std::string& root, const FileMap& files) {
    for (const auto& [name, bytes] : files) {
        const std::filesystem::path path = std::filesystem::path(root) / name;
        std::filesystem::create_directories(path.parent_path());
        WriteBytes(path.string(), bytes);
    }
}

// Every regular file below `root`, by its path relative to it.
inline FileMap FilesUnder(const std::string& root) {
    FileMap files;
    if (!std::filesystem::exists(root)) {
        return files;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[std::filesystem::relative(entry.path(), root).string()] =
                ReadBytes(entry.path().string());
        }
    }
    return files;
}

// The component as the program configures it, opened on `archive`.
// The hidden files in `folder`: new archives a commit left beside the old
// one instead of putting them in place.
inline std::vector<std::string> HiddenFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string()[0] == '.') {
            names.push_back(entry.path().filename().string());
        }
    }
    return names;
}

inline std::unique_ptr<archive::TZipArchiver> OpenArchive(const std::string& archive,
                                                          const std::string& baseDir = {}) {
    auto zip = std::make_unique<archive::TZipArchiver>("Zip");
    archive::ApplyFormValues(*zip);
    zip->FileName = archive;
    zip->BaseDir = baseDir;
    zip->Open();
    return zip;
}

// Archive writers of other tools over a tree of files.
struct Writer {
    const char* name;
    const char* command;  // run in the tree folder; $OUT is the archive
};

inline const Writer kWriters[] = {
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

inline void MakeArchive(const Writer& writer, const std::string& tree, const std::string& archive) {
    std::string command = writer.command;
    for (auto at = command.find("$OUT"); at != std::string::npos; at = command.find("$OUT")) {
        command.replace(at, 4, archive);
    }
    ASSERT_EQ(Shell("cd " + Quote(tree) + " && " + command).status, 0) << command;
}

// ExtractByMask as the program calls it, on a freshly opened archive.
inline void ExtractAll(const std::string& archive, const std::string& mask,
                       const std::string& destination) {
    auto zip = OpenArchive(archive, destination);
    zip->ExtractByMask(mask, 10431, "");
    zip->Close();
}

inline void UpdateAll(const std::string& archive, const std::string& mask,
                      const std::string& baseDir) {
    auto zip = OpenArchive(archive, baseDir);
    zip->UpdateByMask(mask, 10431, "");
    zip->Close();
}

}  // namespace archive_test
