// Inside the platform layer: numbers no other process can guess, for the
// names of new files in folders others may write to.
#pragma once

#include <cstdint>

namespace platform {

// A number from the kernel's random source; false (last error set) when the
// source cannot be read.
bool UnguessableNumber(std::uint64_t& number);

}  // namespace platform
