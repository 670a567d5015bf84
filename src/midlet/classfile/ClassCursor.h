// The one way class files are read: a bounds-checked big-endian cursor over
// bytes in memory, on the pattern of the archive engine's little-endian one.
// A read past the end yields zeros and clears the ok flag for good, so a
// structure is checked once, after all its fields were read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace midlet {

class ClassCursor {
  public:
    ClassCursor() = default;
    explicit ClassCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t U1() { return Take(1) ? bytes_[pos_++] : 0; }
    std::uint16_t U2() {
        if (!Take(2)) {
            return 0;
        }
        const auto v = static_cast<std::uint16_t>((bytes_[pos_] << 8) | bytes_[pos_ + 1]);
        pos_ += 2;
        return v;
    }
    std::uint32_t U4() {
        const std::uint32_t high = U2();
        const std::uint32_t low = U2();
        return ok_ ? (high << 16) | low : 0;
    }
    std::int32_t S4() { return static_cast<std::int32_t>(U4()); }

    // The next `count` bytes; an empty span (and ok false) when fewer remain.
    std::span<const std::uint8_t> Bytes(std::size_t count) {
        if (!Take(count)) {
            return {};
        }
        auto span = bytes_.subspan(pos_, count);
        pos_ += count;
        return span;
    }
    std::string String(std::size_t count) {
        auto span = Bytes(count);
        return std::string(span.begin(), span.end());
    }
    void Skip(std::size_t count) {
        if (Take(count)) {
            pos_ += count;
        }
    }
    // Moves to `position`, which must lie within the bytes.
    void Seek(std::size_t position) {
        if (!ok_ || position > bytes_.size()) {
            ok_ = false;
            return;
        }
        pos_ = position;
    }

    bool Ok() const { return ok_; }
    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return bytes_.size() - pos_; }

  private:
    bool Take(std::size_t count) {
        if (!ok_ || count > Remaining()) {
            ok_ = false;
            return false;
        }
        return true;
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace midlet
