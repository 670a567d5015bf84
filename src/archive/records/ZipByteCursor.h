// The one way the engine reads and writes binary records: a bounds-checked
// little-endian cursor over bytes in memory, and an appending writer. A read
// past the end yields zeros and clears the cursor's ok flag for good, so a
// record is checked once, after all its fields were read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace archive {

// The readers are defined here so that a record's fields are read inline:
// a directory of 100,000 entries reads nearly two million of them.
class ByteCursor {
  public:
    ByteCursor() = default;
    explicit ByteCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t U8() { return Take(1) ? bytes_[pos_++] : 0; }
    std::uint16_t U16() {
        if (!Take(2)) {
            return 0;
        }
        const std::uint16_t v = LoadU16(bytes_.data() + pos_);
        pos_ += 2;
        return v;
    }
    std::uint32_t U32() {
        if (!Take(4)) {
            return 0;
        }
        const std::uint32_t v = LoadU32(bytes_.data() + pos_);
        pos_ += 4;
        return v;
    }
    std::uint64_t U64() {
        const std::uint64_t low = U32();
        const std::uint64_t high = U32();
        return ok_ ? (high << 32) | low : 0;
    }
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

    bool Ok() const { return ok_; }
    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return bytes_.size() - pos_; }
    std::size_t Size() const { return bytes_.size(); }

    // Little-endian values at `p`, for a record whose bytes were taken
    // whole with Bytes (and so are known to be there).
    static std::uint16_t LoadU16(const std::uint8_t* p) {
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }
    static std::uint32_t LoadU32(const std::uint8_t* p) {
        return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
               (std::uint32_t{p[3]} << 24);
    }

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

class ByteWriter {
  public:
    explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(&out) {}

    void U8(std::uint8_t v) { out_->push_back(v); }
    void U16(std::uint16_t v) {
        std::uint8_t* p = Grow(2);
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
    }
    void U32(std::uint32_t v) {
        std::uint8_t* p = Grow(4);
        for (int i = 0; i < 4; ++i) {
            p[i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    }
    void U64(std::uint64_t v) {
        U32(static_cast<std::uint32_t>(v));
        U32(static_cast<std::uint32_t>(v >> 32));
    }
    void Bytes(std::span<const std::uint8_t> bytes) {
        out_->insert(out_->end(), bytes.begin(), bytes.end());
    }
    void String(std::string_view text) { out_->insert(out_->end(), text.begin(), text.end()); }

    std::vector<std::uint8_t>& Buffer() { return *out_; }

  private:
    // `count` new bytes at the end, to be filled.
    std::uint8_t* Grow(std::size_t count) {
        const std::size_t at = out_->size();
        out_->resize(at + count);
        return out_->data() + at;
    }
    std::vector<std::uint8_t>* out_;
};

// The bytes of one fixed-size record, filled field by field in a buffer of
// its own and appended whole: a directory of 100,000 entries writes nearly
// two million fields, and growing the output for each of them cost more
// than the rest of writing the directory.
template <std::size_t Size>
class RecordBytes {
  public:
    void U16(std::uint16_t v) { Put(v, 2); }
    void U32(std::uint32_t v) { Put(v, 4); }

    // Appends the record, which must be filled to its size.
    void AppendTo(ByteWriter& out) const {
        if (used_ != Size) {
            throw std::logic_error("a record was not filled to its size");
        }
        out.Bytes(bytes_);
    }

  private:
    void Put(std::uint32_t v, std::size_t count) {
        if (count > Size - used_) {
            throw std::logic_error("a record was filled past its size");
        }
        for (std::size_t i = 0; i < count; ++i) {
            bytes_[used_ + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
        used_ += count;
    }

    std::array<std::uint8_t, Size> bytes_{};
    std::size_t used_ = 0;
};

}  // namespace archive
