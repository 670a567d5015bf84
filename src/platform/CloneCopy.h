// Copying bytes between two files where they lie at the same place in a
// block: the file system shares the blocks instead (a reflink) where it
// can, and the kernel copies what is left.
#pragma once

#include <cstdint>

namespace platform {

class TFileStream;

// Copies `count` bytes from `source` at its position to `target` at its
// position, both of which move past them. Raises EWriteError or EReadError
// as TFileStream::CopyFrom does; returns the bytes copied.
std::int64_t CloneOrCopy(TFileStream& source, TFileStream& target, std::int64_t count);

}  // namespace platform
