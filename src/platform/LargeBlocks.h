// Memory for one large array, such as the entry list of an archive with a
// hundred thousand entries. Touching such an array for the first time costs
// one page fault per 4 KiB page, about a quarter of opening a large archive;
// a block of 1 MiB or more is therefore mapped on its own and filled with
// pages in one call where the system can, instead of a fault per page.
// Smaller blocks come from the ordinary heap. (Large pages were tried: the
// same gain, but the system may stop to compact memory for them first.)
#pragma once

#include <cstddef>
#include <new>

namespace platform {

// Blocks from this size on are large: the array of 20,000 entries is.
inline constexpr std::size_t LargeBlockSize = std::size_t{1} << 20;

// A block of `bytes` (at least LargeBlockSize); raises std::bad_alloc.
void* AllocateLargeBlock(std::size_t bytes);
// Frees a block from AllocateLargeBlock of the same size.
void FreeLargeBlock(void* block, std::size_t bytes) noexcept;

// An allocator for std::vector that takes large blocks for large arrays.
template <class T>
struct LargeBlockAllocator {
    using value_type = T;

    LargeBlockAllocator() = default;
    template <class U>
    LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}  // NOLINT: rebinding

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        const std::size_t bytes = n * sizeof(T);
        if (bytes >= LargeBlockSize) {
            return static_cast<T*>(AllocateLargeBlock(bytes));
        }
        return static_cast<T*>(::operator new (bytes, std::align_val_t{alignof(T)}));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        const std::size_t bytes = n * sizeof(T);
        if (bytes >= LargeBlockSize) {
            FreeLargeBlock(p, bytes);
        } else {
            ::operator delete (p, std::align_val_t{alignof(T)});
        }
    }

    template <class U>
    bool operator==(const LargeBlockAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace platform
