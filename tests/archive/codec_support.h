// Helpers of the codec and mask tests: a temporary folder, files as bytes,
// test data, running the real tools, and where an entry's data lies in an
// archive another tool wrote.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestFolder.h"

namespace codec_test {

using Bytes = std::vector<std::uint8_t>;

using TempFolder = TestFolder;

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

// Runs a shell command; its standard output, and its exit status in `status`.
inline std::string RunTool(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("popen failed");
    }
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    const int result = pclose(pipe);
    if (status != nullptr) {
        *status = WEXITSTATUS(result);
    }
    return output;
}

// One shell word holding `text` exactly.
inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
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
    int status = 0;
    const std::string out =
        RunTool("python3 -c " + Quote(script) + " " + Quote(archive) + " " + Quote(name) + " 2>&1",
                &status);
    if (status != 0) {
        throw std::runtime_error("cannot locate " + name + ": " + out);
    }
    EntryInfo info;
    std::istringstream in(out);
    in >> info.DataOffset >> info.CompressedSize >> info.UncompressedSize >> info.Crc32 >>
        info.Method;
    return info;
}

inline std::string CorpusPath(const std::string& relative) {
    return std::filesystem::weakly_canonical(std::filesystem::path(QUELLOR_CORPUS_DIR) / relative)
        .string();
}

}  // namespace codec_test
