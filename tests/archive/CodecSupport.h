// Helpers of the codec and mask tests: the temporary folder, files as byte
// vectors, test data, and where an entry's data lies in an archive another
// tool wrote.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestCommands.h"
#include "TestFiles.h"
#include "TestFolder.h"

namespace codec_test {

using Bytes = std::vector<std::uint8_t>;

using TempFolder = TestFolder;

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    WriteBytes(path, std::string(bytes.begin(), bytes.end()));
}

inline Bytes ReadFile(const std::string& path) {
    const std::string bytes = ReadBytes(path);
    return Bytes(bytes.begin(), bytes.end());
}

// Text-like data that deflates well but not to nothing.
inline Bytes SampleText(std::size_t size, unsigned seed = 1) {
    static const char* const words[] = {"MIDlet-1", "Manifest", "card0",   "Games", "jar",
                                        "class",    "icon.png", "version", " ",     "\r\n"};
    std::mt19937 random(seed);
    Bytes out;
    out.reserve(size + 16);
    while (out.size() < size) {
        const std::string word = words[random() % std::size(words)];
        out.insert(out.end(), word.begin(), word.end());
        out.push_back(static_cast<std::uint8_t>('a' + random() % 26));
    }
    out.resize(size);
    return out;
}

// Data that does not deflate at all.
inline Bytes RandomBytes(std::size_t size, unsigned seed = 7) {
    std::mt19937 random(seed);
    Bytes out(size);
    for (auto& b : out) {
        b = static_cast<std::uint8_t>(random());
    }
    return out;
}

// What python's zipfile reports of one entry, with the position of its data
// (read from the entry's local header).
struct EntryInfo {
    std::uint64_t DataOffset = 0;
    std::uint64_t CompressedSize = 0;
    std::uint64_t UncompressedSize = 0;
    std::uint32_t Crc32 = 0;
    int Method = 0;
};

inline EntryInfo LocateEntry(const std::string& archive, const std::string& name) {
    const std::string script =
        "import sys, struct, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1]); i = z.getinfo(sys.argv[2])\n"
        "f = open(sys.argv[1], 'rb'); f.seek(i.header_offset); h = f.read(30)\n"
        "n, e = struct.unpack('<HH', h[26:30])\n"
        "print(i.header_offset + 30 + n + e, i.compress_size, i.file_size, i.CRC, "
        "i.compress_type)\n";
    const CommandResult run =
        Shell("python3 -c " + Quote(script) + " " + Quote(archive) + " " + Quote(name) + " 2>&1");
    if (run.status != 0) {
        throw std::runtime_error("cannot locate " + name + ": " + run.out);
    }
    EntryInfo info;
    std::istringstream in(run.out);
    in >> info.DataOffset >> info.CompressedSize >> info.UncompressedSize >> info.Crc32 >>
        info.Method;
    return info;
}

inline std::string CorpusPath(const std::string& relative) {
    return std::filesystem::weakly_canonical(std::filesystem::path(QUELLOR_CORPUS_DIR) / relative)
        .string();
}

}  // namespace codec_test
