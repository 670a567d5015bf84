#include "archive/records/ZipSignatureScan.h"

#include <algorithm>

#include "platform/Stream.h"

namespace archive {

SignatureScanner::SignatureScanner(platform::TFileStream& stream, std::uint32_t signature,
                                   std::int64_t chunk)
    : stream_(stream), chunk_(std::max<std::int64_t>(chunk, 8)), fileSize_(stream.Size()) {
    for (int i = 0; i < 4; ++i) {
        signature_[i] = static_cast<std::uint8_t>(signature >> (8 * i));
    }
}

bool SignatureScanner::Holds(std::int64_t position) const {
    return bufferStart_ >= 0 && position >= bufferStart_ &&
           position + 4 <= bufferStart_ + static_cast<std::int64_t>(buffer_.size());
}

std::int64_t SignatureScanner::Find(std::int64_t from, std::int64_t minTail) {
    std::int64_t position = std::max<std::int64_t>(from, 0);
    while (position + 4 <= fileSize_) {
        if (!Holds(position)) {
            // A new chunk from here on.
            stream_.Seek(position, platform::SeekOrigin::soBeginning);
            buffer_.resize(static_cast<std::size_t>(std::min(chunk_, fileSize_ - position)));
            buffer_.resize(stream_.Read(buffer_.data(), buffer_.size()));
            bufferStart_ = position;
            if (buffer_.size() < 4) {
                return -1;
            }
        }
        const auto first = buffer_.begin() + (position - bufferStart_);
        const auto hit = std::search(first, buffer_.end(), signature_, signature_ + 4);
        if (hit != buffer_.end()) {
            const std::int64_t at = bufferStart_ + (hit - buffer_.begin());
            return fileSize_ - at >= minTail ? at : -1;
        }
        // The next chunk begins with the last 3 bytes of this one, so a
        // signature across the border is found.
        position = bufferStart_ + static_cast<std::int64_t>(buffer_.size()) - 3;
        bufferStart_ = -1;
    }
    return -1;
}

}  // namespace archive
