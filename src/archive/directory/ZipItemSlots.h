// The storage of the entry list: an array whose slots may hold no item
// yet. A list read from an archive starts with every slot empty and makes
// an item when it is first used, so the memory of the items never used is
// never touched. Every other change of the array (growing, erasing) is made
// with all slots holding items, as in an ordinary vector.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "platform/LargeBlocks.h"

namespace archive {

template <class T>
class ItemSlots {
  public:
    ItemSlots() = default;
    ItemSlots(const ItemSlots&) = delete;
    ItemSlots& operator=(const ItemSlots&) = delete;
    ~ItemSlots() { Release(); }

    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    T& back() { return data_[size_ - 1]; }

    // True when slot `i` holds an item.
    bool Holds(std::size_t i) const {
        return held_.empty() || ((held_[i / 64] >> (i % 64)) & 1) != 0;
    }
    bool HoldsAll() const { return held_.empty(); }

    // `n` slots that hold no item, in storage whose pages come as they are
    // touched.
    void AssignEmpty(std::size_t n) {
        Release();
        if (n == 0) {
            return;
        }
        Allocate(n, false);
        size_ = n;
        held_.assign((n + 63) / 64, 0);
        heldCount_ = 0;
    }
    // Makes the item of an empty slot `i`, as made by its default constructor.
    T& Make(std::size_t i) {
        new (data_ + i) T();
        held_[i / 64] |= std::uint64_t{1} << (i % 64);
        if (++heldCount_ == size_) {
            std::vector<std::uint64_t>().swap(held_);
        } else if (heldCount_ == size_ / ManyOf + 1) {
            // Items are made one after another (a listing): the rest of the
            // pages are filled at once instead of a fault at a time.
            TouchStorage();
        }
        return data_[i];
    }

    // The calls below need every slot to hold its item.
    void reserve(std::size_t n) {
        if (n > capacity_) {
            Reallocate(n);
        }
    }
    void resize(std::size_t n) {
        reserve(n);
        while (size_ > n) {
            data_[--size_].~T();
        }
        while (size_ < n) {
            new (data_ + size_) T();
            ++size_;
        }
    }
    T& emplace_back() {
        if (size_ == capacity_) {
            Reallocate(capacity_ == 0 ? 1 : 2 * capacity_);
        }
        new (data_ + size_) T();
        return data_[size_++];
    }
    void erase(std::size_t i) {
        for (; i + 1 < size_; ++i) {
            data_[i] = std::move(data_[i + 1]);
        }
        data_[--size_].~T();
    }
    // Destroys the items and keeps the storage.
    void clear() {
        DestroyItems();
        size_ = 0;
    }
    // Destroys the items and frees the storage.
    void Release() {
        DestroyItems();
        if (data_ != nullptr) {
            Allocator().deallocate(data_, capacity_);
        }
        data_ = nullptr;
        size_ = capacity_ = 0;
    }

  private:
    using Allocator = platform::LargeBlockAllocator<T>;
    // Making one slot in this many is taken as making them all.
    static constexpr std::size_t ManyOf = 32;

    void TouchStorage() {
        if (capacity_ * sizeof(T) >= platform::LargeBlockSize) {
            platform::TouchLargeBlock(data_, capacity_ * sizeof(T));
        }
    }

    void Allocate(std::size_t n, bool touchAtOnce) {
        data_ = Allocator().allocate(n, touchAtOnce);
        capacity_ = n;
    }
    void Reallocate(std::size_t n) {
        T* old = data_;
        const std::size_t oldCapacity = capacity_;
        Allocate(n, true);
        for (std::size_t i = 0; i < size_; ++i) {
            new (data_ + i) T(std::move(old[i]));
            old[i].~T();
        }
        if (old != nullptr) {
            Allocator().deallocate(old, oldCapacity);
        }
    }
    void DestroyItems() {
        if (held_.empty()) {
            for (std::size_t i = 0; i < size_; ++i) {
                data_[i].~T();
            }
        }
        // Only the slots that hold items, a word of the map at a time.
        for (std::size_t word = 0; word < held_.size(); ++word) {
            for (std::uint64_t bits = held_[word]; bits != 0; bits &= bits - 1) {
                data_[word * 64 + static_cast<std::size_t>(std::countr_zero(bits))].~T();
            }
        }
        std::vector<std::uint64_t>().swap(held_);
        heldCount_ = 0;
    }

    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    // One bit per slot that holds an item, while some hold none; empty
    // when all do.
    std::vector<std::uint64_t> held_;
    std::size_t heldCount_ = 0;
};

}  // namespace archive
