#include "platform/LargeBlocks.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace platform {

#if defined(__linux__)

// The block is mapped on its own, and its pages are asked for at once where
// the kernel knows how (from 5.14); elsewhere they come a fault at a time.
void* AllocateLargeBlock(std::size_t bytes, bool touchAtOnce) {
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        throw std::bad_alloc();
    }
    (void)touchAtOnce;
#if defined(MADV_POPULATE_WRITE)
    // Only advice: a block the kernel does not fill fills as it is touched.
    if (touchAtOnce) {
        madvise(block, bytes, MADV_POPULATE_WRITE);
    }
#endif
    return block;
}

void TouchLargeBlock(void* block, std::size_t bytes) noexcept {
#if defined(MADV_POPULATE_WRITE)
    madvise(block, bytes, MADV_POPULATE_WRITE);
#else
    (void)block;
    (void)bytes;
#endif
}

void FreeLargeBlock(void* block, std::size_t bytes) noexcept {
    munmap(block, bytes);
}

#else

void* AllocateLargeBlock(std::size_t bytes, bool) {
    return ::operator new(bytes);
}

void TouchLargeBlock(void*, std::size_t) noexcept {}

void FreeLargeBlock(void* block, std::size_t bytes) noexcept {
    (void)bytes;
    ::operator delete(block);
}

#endif

}  // namespace platform
