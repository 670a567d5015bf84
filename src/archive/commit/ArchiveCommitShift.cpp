// The in-file move of a commit: the records after the last rewritten entry
// move once, in place, by the difference in length of what comes before.
#include "archive/commit/ArchiveCommitShift.h"

#include <algorithm>

#include "platform/Stream.h"

namespace archive {

BlockShift::BlockShift(platform::TFileStream& file, std::int64_t start, std::int64_t end,
                       std::int64_t delta, std::size_t chunk)
    : file_(file),
      start_(start),
      end_(std::max(start, end)),
      delta_(delta),
      chunk_(std::max<std::size_t>(chunk, 1)),
      unmovedStart_(start),
      unmovedEnd_(std::max(start, end)) {}

// The buffer goes once the block has moved: what is written next (the
// directory) needs the memory more than an undo, which takes it again.
void BlockShift::Move() {
    if (delta_ != 0) {
        Shift(start_, end_, delta_, true);
    }
    buffer_.reset();
    bufferSize_ = 0;
}

// The chunk that was in flight goes back first: its old place overlaps
// nothing that has moved. Then the moved part moves back.
void BlockShift::Undo() {
    if (pending_) {
        file_.SetPosition(pendingAt_);
        file_.WriteBuffer(buffer_.get(), pendingLength_);
        pending_ = false;
    }
    const std::int64_t movedStart = delta_ > 0 ? unmovedEnd_ : start_;
    const std::int64_t movedEnd = delta_ > 0 ? end_ : unmovedStart_;
    unmovedStart_ = start_;
    unmovedEnd_ = end_;
    if (movedStart < movedEnd) {
        Shift(movedStart + delta_, movedEnd + delta_, -delta_, false);
    }
}

void BlockShift::Shift(std::int64_t start, std::int64_t end, std::int64_t delta, bool track) {
    const bool backwards = delta > 0;
    std::int64_t low = start;
    std::int64_t high = end;
    const std::size_t wanted = std::min<std::size_t>(chunk_, static_cast<std::size_t>(end - start));
    if (bufferSize_ < wanted) {
        buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(wanted);
        bufferSize_ = wanted;
    }
    while (low < high) {
        const std::size_t length =
            std::min<std::size_t>(chunk_, static_cast<std::size_t>(high - low));
        const std::int64_t from = backwards ? high - static_cast<std::int64_t>(length) : low;
        file_.SetPosition(from);
        file_.ReadBuffer(buffer_.get(), length);
        if (track) {
            pending_ = true;
            pendingAt_ = from;
            pendingLength_ = length;
        }
        file_.SetPosition(from + delta);
        file_.WriteBuffer(buffer_.get(), length);
        if (backwards) {
            high = from;
        } else {
            low = from + static_cast<std::int64_t>(length);
        }
        if (track) {
            pending_ = false;
            unmovedStart_ = low;
            unmovedEnd_ = high;
        }
    }
}

}  // namespace archive
