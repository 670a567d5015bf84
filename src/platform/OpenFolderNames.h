// Inside the platform layer: the names of folders that a caller holds open,
// read once per folder and kept for case-insensitive look-ups, so that
// filling a folder with many new files reads it once, not once per file.
//
// A folder's names are trusted only while its device, inode, change and
// modification times are those seen when it was read: any change to it
// moves its times and it is read again. Our own creates and deletes update
// the names and the times they see. A name found here is checked on disk by
// the caller before it is used; the worst a stale list can do is miss a
// variant made by another program in the instant of one of our own changes,
// and then the new file gets its own name beside it: nothing is overwritten.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/Errors.h"

namespace platform {

class OpenFolderNames {
  public:
    // The name in the folder open on `folder` that equals `name` under case
    // folding, the first in byte order among several; "" when there is none,
    // or when the folder cannot be read (then `error` is set).
    std::string Variant(int folder, const std::string& name, DWORD& error);
    // Our own change of a name in the folder open on `folder`.
    void NoteCreated(int folder, const std::string& name);
    void NoteRemoved(int folder, const std::string& name);

  private:
    struct Variants {
        std::string first;  // first in byte order
        std::size_t count = 0;
    };
    struct Names {
        timespec modified{};
        timespec changed{};
        std::unordered_map<std::string, Variants> byFold;
    };
    using Key = std::pair<dev_t, ino_t>;

    // The names of the folder, read anew unless its times still hold;
    // nullptr when it cannot be read.
    Names* Current(int folder, DWORD& error);
    static void AddName(std::unordered_map<std::string, Variants>& byFold, const std::string& name);

    // At most this many folders are kept; past it the list starts afresh.
    static constexpr std::size_t kMaxFolders = 256;
    std::map<Key, Names> folders_;
};

}  // namespace platform
