// CRC-32 of entry data through zlib's crc32, which folds several words at
// a time: about two and a half times the speed of folding eight bytes per
// step through tables (64 MiB: 14-21 ms against 35-45 ms), and every byte
// of every extracted or committed entry passes through it. zlib keeps the
// value inverted between calls; the engine's running value is not.
#include "archive/ZipCrc32.h"

#include <zlib.h>

namespace archive {

std::uint32_t UpdateCrc32(std::uint32_t value, const void* bytes, std::size_t count) {
    if (bytes == nullptr || count == 0) {
        return value;
    }
    return ~static_cast<std::uint32_t>(
        crc32_z(~static_cast<uLong>(value) & 0xFFFFFFFFu, static_cast<const Bytef*>(bytes), count));
}

}  // namespace archive
