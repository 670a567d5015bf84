#include "archive/records/ZipTimeBlocks.h"

#include <algorithm>

#include "archive/records/ZipByteCursor.h"

namespace archive {

namespace {

// Seconds from 1601-01-01 to 1970-01-01, and 100 ns ticks per second.
constexpr std::int64_t NtfsEpochOffset = 11644473600;
constexpr std::int64_t NtfsTicksPerSecond = 10000000;

// Flag bit of the extended timestamp: the modification time follows.
constexpr std::uint8_t HasModificationTime = 0x01;
// The NTFS attribute tag of the three file times, and its size.
constexpr std::uint16_t NtfsTimesTag = 0x0001;
constexpr std::uint16_t NtfsTimesSize = 24;

// The NTFS block starts with four reserved bytes.
constexpr std::size_t NtfsReservedSize = 4;

// Overwrites `bytes` bytes of `data` at `at`, least significant first; the
// caller has read past them with a cursor, so they are there.
void PutLittleEndian(std::vector<std::uint8_t>& data, std::size_t at, std::uint64_t value,
                     std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
        data[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// True when the block was restamped; false when it cannot hold the time.
bool RestampExtended(std::vector<std::uint8_t>& data, const platform::FileTime& time) {
    ByteCursor cursor(data);
    const std::uint8_t flags = cursor.U8();
    if (!cursor.Ok()) {
        return false;
    }
    if ((flags & HasModificationTime) == 0) {
        return true;  // holds no modification time to be wrong
    }
    const std::size_t secondsAt = cursor.Position();
    cursor.Skip(4);
    if (!cursor.Ok() || time.seconds < 0 || time.seconds > 0xFFFFFFFF) {
        return false;
    }
    PutLittleEndian(data, secondsAt, static_cast<std::uint64_t>(time.seconds), 4);
    return true;
}

bool RestampNtfs(std::vector<std::uint8_t>& data, const platform::FileTime& time) {
    const std::int64_t ticks =
        (time.seconds + NtfsEpochOffset) * NtfsTicksPerSecond + time.nanoseconds / 100;
    bool restamped = false;
    // The reserved bytes, then attributes of tag, size and value.
    ByteCursor cursor(data);
    cursor.Skip(NtfsReservedSize);
    while (cursor.Ok() && cursor.Remaining() >= 4) {
        const std::uint16_t tag = cursor.U16();
        const std::uint16_t size = cursor.U16();
        const std::size_t valueAt = cursor.Position();
        cursor.Skip(size);
        if (!cursor.Ok()) {
            return false;
        }
        if (tag == NtfsTimesTag) {
            if (size < NtfsTimesSize || ticks < 0) {
                return false;
            }
            PutLittleEndian(data, valueAt, static_cast<std::uint64_t>(ticks), 8);
            restamped = true;
        }
    }
    return restamped;
}

}  // namespace

void RestampTimeBlocks(std::vector<ExtraField>& fields, const platform::FileTime* modified) {
    std::erase_if(fields, [modified](ExtraField& field) {
        if (field.Id == ExtendedTimestampId) {
            return modified == nullptr || !RestampExtended(field.Data, *modified);
        }
        if (field.Id == NtfsTimesId) {
            return modified == nullptr || !RestampNtfs(field.Data, *modified);
        }
        return false;
    });
}

}  // namespace archive
