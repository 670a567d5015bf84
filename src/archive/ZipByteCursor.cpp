#include "archive/ZipByteCursor.h"

namespace archive {

bool ByteCursor::Take(std::size_t count) {
    if (!ok_ || count > Remaining()) {
        ok_ = false;
        return false;
    }
    return true;
}

std::uint8_t ByteCursor::U8() {
    if (!Take(1)) {
        return 0;
    }
    return bytes_[pos_++];
}

std::uint16_t ByteCursor::U16() {
    if (!Take(2)) {
        return 0;
    }
    const std::uint16_t v = static_cast<std::uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
}

std::uint32_t ByteCursor::U32() {
    if (!Take(4)) {
        return 0;
    }
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | bytes_[pos_ + static_cast<std::size_t>(i)];
    }
    pos_ += 4;
    return v;
}

std::uint64_t ByteCursor::U64() {
    const std::uint64_t low = U32();
    const std::uint64_t high = U32();
    return ok_ ? (high << 32) | low : 0;
}

std::span<const std::uint8_t> ByteCursor::Bytes(std::size_t count) {
    if (!Take(count)) {
        return {};
    }
    auto span = bytes_.subspan(pos_, count);
    pos_ += count;
    return span;
}

std::string ByteCursor::String(std::size_t count) {
    auto span = Bytes(count);
    return std::string(span.begin(), span.end());
}

void ByteCursor::Skip(std::size_t count) {
    if (Take(count)) {
        pos_ += count;
    }
}

void ByteWriter::U16(std::uint16_t v) {
    out_->push_back(static_cast<std::uint8_t>(v));
    out_->push_back(static_cast<std::uint8_t>(v >> 8));
}

void ByteWriter::U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out_->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

void ByteWriter::U64(std::uint64_t v) {
    U32(static_cast<std::uint32_t>(v));
    U32(static_cast<std::uint32_t>(v >> 32));
}

void ByteWriter::Bytes(std::span<const std::uint8_t> bytes) {
    out_->insert(out_->end(), bytes.begin(), bytes.end());
}

void ByteWriter::String(const std::string& text) {
    out_->insert(out_->end(), text.begin(), text.end());
}

}  // namespace archive
