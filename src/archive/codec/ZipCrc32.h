// The CRC-32 of the ZIP format: reflected polynomial 0xEDB88320. A running
// value starts at 0xFFFFFFFF and is folded byte by byte; the CRC-32 of an
// entry is the final value xor 0xFFFFFFFF.
#pragma once

#include <cstddef>
#include <cstdint>

namespace archive {

inline constexpr std::uint32_t Crc32Start = 0xFFFFFFFF;
inline constexpr std::uint32_t Crc32Final = 0xFFFFFFFF;  // xor'ed into the running value at the end

// Folds `count` bytes into the running value, each as
// value = (value >> 8) xor table[(value xor byte) and 0xFF]; no inversion.
// A count of 0 or an absent buffer returns the value unchanged.
std::uint32_t UpdateCrc32(std::uint32_t value, const void* bytes, std::size_t count);

}  // namespace archive
