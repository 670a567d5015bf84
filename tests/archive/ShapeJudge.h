// The two judges of a shape's archive side by side: python's zipfile and
// the engine, each giving one short line per entry.
#pragma once

#include <sstream>
#include <string>

#include "ZipShapes.h"
#include "ZipSupport.h"

namespace archive_test {

using zip_shapes::Listing;

inline int Unhex(char c) {
    return c <= '9' ? c - '0' : c - 'a' + 10;
}

inline std::string Unhex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(Unhex(hex[i]) << 4 | Unhex(hex[i + 1]));
    }
    return bytes;
}

// One line per entry: its name, size and CRC-32, short enough to be read
// in a failure.
inline std::string Lines(const Listing& listing) {
    std::string text;
    for (const auto& [name, data] : listing) {
        text +=
            name + '\t' + std::to_string(data.size()) + '\t' + Hex8(zip_shapes::Crc(data)) + '\n';
    }
    return text;
}

// python's zipfile reading, as Lines gives it; "!" for bytes it cannot read.
inline std::string PythonContents(const std::string& archive) {
    const CommandResult result =
        Shell("python3 " + Quote(ZipInfoScript()) + " contents " + Quote(archive) + " 2>&1");
    if (result.status != 0) {
        return "unreadable: " + result.out;
    }
    std::string text;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t tab = line.find('\t');
        text += Unhex(line.substr(0, tab)) + line.substr(tab) + '\n';
    }
    return text;
}

}  // namespace archive_test
