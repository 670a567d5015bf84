// Moving a stretch of a file to another place in the same file through one
// buffer, in the order that never overwrites bytes not yet moved, and
// moving it back: after the whole move, or after a read or write failed
// half-way, when the chunk that was being moved is still in the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {
class TFileStream;
}

namespace archive {

class BlockShift {
  public:
    // Large enough that the calls cost little beside the copying, small
    // enough to stay in the cache: a buffer of a whole small archive's
    // block cost more in page faults than the move itself.
    static constexpr std::size_t DefaultChunk = 0x10000;

    // The bytes [start, end) of `file` are to move by `delta` (up when
    // positive). The file is not touched until Move.
    BlockShift(platform::TFileStream& file, std::int64_t start, std::int64_t end,
               std::int64_t delta, std::size_t chunk = DefaultChunk);
    BlockShift(const BlockShift&) = delete;
    BlockShift& operator=(const BlockShift&) = delete;

    // Raises when a read or write fails; Undo then still puts the block back.
    void Move();
    // The block at [start, end) again, whatever part of it Move had moved.
    // Raises when a read or write fails now.
    void Undo();

  private:
    // Moves [start, end) by `delta`, from the end backwards when it moves
    // up and from the front when it moves down.
    void Shift(std::int64_t start, std::int64_t end, std::int64_t delta, bool track);

    platform::TFileStream& file_;
    std::int64_t start_;
    std::int64_t end_;
    std::int64_t delta_;
    std::size_t chunk_;
    // Not zero-filled: every byte is read into before it is written out.
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t bufferSize_ = 0;
    // Bytes of the block not moved yet; the rest are at their new place.
    std::int64_t unmovedStart_;
    std::int64_t unmovedEnd_;
    // The chunk being moved: read whole, its write not yet done.
    bool pending_ = false;
    std::int64_t pendingAt_ = 0;
    std::size_t pendingLength_ = 0;
};

}  // namespace archive
