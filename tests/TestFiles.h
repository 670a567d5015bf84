// Whole files as bytes, for the tests of every layer.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// The file's bytes; empty when it is missing.
inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes the file anew with exactly these bytes, making its folders first.
inline void WriteBytes(const std::string& path, const std::string& bytes) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) {
        std::filesystem::create_directories(parent);
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
