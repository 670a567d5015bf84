// Forward search for a 4-byte record signature in an archive file, reading
// it in chunks of a fixed size. The chunk read last is kept, so a run of
// searches that each start a little further on reads every byte once.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {
class TFileStream;
}

namespace archive {

class SignatureScanner {
  public:
    SignatureScanner(platform::TFileStream& stream, std::uint32_t signature, std::int64_t chunk);

    // Position of the first signature at or after `from`, or -1. A hit with
    // fewer than `minTail` bytes from its start to the end of the file counts
    // as none (later hits have even fewer).
    std::int64_t Find(std::int64_t from, std::int64_t minTail);

  private:
    bool Holds(std::int64_t position) const;
    platform::TFileStream& stream_;
    std::uint8_t signature_[4];
    std::int64_t chunk_;
    std::int64_t fileSize_;
    std::vector<std::uint8_t> buffer_;
    std::int64_t bufferStart_ = -1;
};

}  // namespace archive
