// The one way the engine reads and writes binary records: a bounds-checked
// little-endian cursor over bytes in memory, and an appending writer. A read
// past the end yields zeros and clears the cursor's ok flag for good, so a
// record is checked once, after all its fields were read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace archive {

class ByteCursor {
  public:
    ByteCursor() = default;
    explicit ByteCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t U8();
    std::uint16_t U16();
    std::uint32_t U32();
    std::uint64_t U64();
    // The next `count` bytes; an empty span (and ok false) when fewer remain.
    std::span<const std::uint8_t> Bytes(std::size_t count);
    std::string String(std::size_t count);
    void Skip(std::size_t count);

    bool Ok() const { return ok_; }
    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return bytes_.size() - pos_; }
    std::size_t Size() const { return bytes_.size(); }

  private:
    bool Take(std::size_t count);
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

class ByteWriter {
  public:
    explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(&out) {}

    void U8(std::uint8_t v) { out_->push_back(v); }
    void U16(std::uint16_t v);
    void U32(std::uint32_t v);
    void U64(std::uint64_t v);
    void Bytes(std::span<const std::uint8_t> bytes);
    void String(const std::string& text);

    std::vector<std::uint8_t>& Buffer() { return *out_; }

  private:
    std::vector<std::uint8_t>* out_;
};

}  // namespace archive
