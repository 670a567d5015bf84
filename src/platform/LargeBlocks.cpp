#include "platform/LargeBlocks.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace platform {

namespace {

std::size_t RoundUp(std::size_t bytes) {
    return (bytes + LargePageSize - 1) / LargePageSize * LargePageSize;
}

}  // namespace

#if defined(__linux__) && defined(MADV_HUGEPAGE)

// The block is mapped one large page longer than it needs and cut to a
// large-page boundary, so that the system can back it by large pages.
void* AllocateLargeBlock(std::size_t bytes) {
    const std::size_t length = RoundUp(bytes);
    const std::size_t mapped = length + LargePageSize;
    void* area = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto start = reinterpret_cast<std::uintptr_t>(area);
    const std::uintptr_t aligned = (start + LargePageSize - 1) / LargePageSize * LargePageSize;
    const std::size_t before = aligned - start;
    if (before > 0) {
        munmap(area, before);
    }
    const std::size_t after = mapped - before - length;
    if (after > 0) {
        munmap(reinterpret_cast<void*>(aligned + length), after);
    }
    void* block = reinterpret_cast<void*>(aligned);
    // Only advice: the block works with small pages as well.
    madvise(block, length, MADV_HUGEPAGE);
    return block;
}

void FreeLargeBlock(void* block, std::size_t bytes) noexcept {
    munmap(block, RoundUp(bytes));
}

#else

void* AllocateLargeBlock(std::size_t bytes) {
    return ::operator new(bytes);
}

void FreeLargeBlock(void* block, std::size_t bytes) noexcept {
    ::operator delete(block, bytes);
}

#endif

}  // namespace platform
