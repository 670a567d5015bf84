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
#include <utility>

namespace platform {

// Blocks from this size on are large: the array of 20,000 entries is.
inline constexpr std::size_t LargeBlockSize = std::size_t{1} << 20;

// A block of `bytes` (at least LargeBlockSize); raises std::bad_alloc.
// `touchAtOnce`: its pages are filled now, for an array that is used
// whole; else they come as they are touched, for one used here and there.
void* AllocateLargeBlock(std::size_t bytes, bool touchAtOnce = true);
// Fills the pages of a block from AllocateLargeBlock that were left to come
// as they are touched, in one call where the system can.
void TouchLargeBlock(void* block, std::size_t bytes) noexcept;
// Frees a block from AllocateLargeBlock of the same size.
void FreeLargeBlock(void* block, std::size_t bytes) noexcept;

// An allocator for std::vector that takes large blocks for large arrays.
template <class T>
struct LargeBlockAllocator {
    using value_type = T;

    LargeBlockAllocator() = default;
    template <class U>
    LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept {}  // NOLINT: rebinding

    T* allocate(std::size_t n, bool touchAtOnce = true) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        const std::size_t bytes = n * sizeof(T);
        if (bytes >= LargeBlockSize) {
            return static_cast<T*>(AllocateLargeBlock(bytes, touchAtOnce));
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

// Bytes that are written before they are read (a buffer filled by a read):
// not set to zero first, and in a large block when large.
class ByteBlock {
  public:
    ByteBlock() = default;
    explicit ByteBlock(std::size_t size) : data_(Allocator().allocate(size)), size_(size) {}
    ByteBlock(const ByteBlock&) = delete;
    ByteBlock& operator=(const ByteBlock&) = delete;
    ByteBlock(ByteBlock&& other) noexcept : data_(other.data_), size_(other.size_) {
        other.data_ = nullptr;
        other.size_ = 0;
    }
    ByteBlock& operator=(ByteBlock&& other) noexcept {
        if (&other != this) {
            Free();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }
    ~ByteBlock() { Free(); }

    unsigned char* data() { return data_; }
    const unsigned char* data() const { return data_; }
    std::size_t size() const { return size_; }

  private:
    using Allocator = LargeBlockAllocator<unsigned char>;
    void Free() {
        if (data_ != nullptr) {
            Allocator().deallocate(data_, size_);
        }
    }

    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace platform
