// The files of a suite as the installability report reads them.
#pragma once

#include <cstdint>
#include <string>

namespace midlet {

// A JAD is a few kilobytes; anything past this is no JAD.
inline constexpr std::uint64_t kMaxJadBytes = 1u << 20;

// The whole file, when it exists, can be read and holds at most `limit`
// bytes.
bool ReadSmallFile(const std::string& path, std::string& text, std::uint64_t limit = kMaxJadBytes);

}  // namespace midlet
