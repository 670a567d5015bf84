// Inside the platform layer: what a single-byte code page means byte by byte.
#pragma once

#include <array>

namespace platform {

// The code point of every byte of a single-byte code page; 0xFFFFFFFF for a
// byte the code page leaves undefined. False when iconv does not know it.
using ByteTable = std::array<char32_t, 256>;
bool SingleByteTable(unsigned codePage, ByteTable& table);

// The iconv name of a code page ("UTF-8", "CP1251", ...).
const char* IconvName(unsigned codePage, char (&buffer)[16]);

inline constexpr char32_t kUndefinedByte = 0xFFFFFFFF;

}  // namespace platform
