#include "archive/ZipTimeBlocks.h"

#include <algorithm>

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

void PutLittleEndian(std::vector<std::uint8_t>& data, std::size_t at, std::uint64_t value,
                     std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i) {
        data[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint16_t GetU16(const std::vector<std::uint8_t>& data, std::size_t at) {
    return static_cast<std::uint16_t>(data[at] | data[at + 1] << 8);
}

// True when the block was restamped; false when it cannot hold the time.
bool RestampExtended(std::vector<std::uint8_t>& data, const platform::FileTime& time) {
    if (data.empty()) {
        return false;
    }
    if ((data[0] & HasModificationTime) == 0) {
        return true;  // holds no modification time to be wrong
    }
    if (data.size() < 5 || time.seconds < 0 || time.seconds > 0xFFFFFFFF) {
        return false;
    }
    PutLittleEndian(data, 1, static_cast<std::uint64_t>(time.seconds), 4);
    return true;
}

bool RestampNtfs(std::vector<std::uint8_t>& data, const platform::FileTime& time) {
    const std::int64_t ticks =
        (time.seconds + NtfsEpochOffset) * NtfsTicksPerSecond + time.nanoseconds / 100;
    bool restamped = false;
    // Four reserved bytes, then attributes of tag, size and value.
    for (std::size_t at = 4; at + 4 <= data.size();) {
        const std::uint16_t tag = GetU16(data, at);
        const std::uint16_t size = GetU16(data, at + 2);
        if (at + 4 + size > data.size()) {
            return false;
        }
        if (tag == NtfsTimesTag) {
            if (size < NtfsTimesSize || ticks < 0) {
                return false;
            }
            PutLittleEndian(data, at + 4, static_cast<std::uint64_t>(ticks), 8);
            restamped = true;
        }
        at += 4 + size;
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
