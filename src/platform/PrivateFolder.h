// Inside the platform layer: a folder that only this user may enter, where
// the processes of this user meet (the sharing marks live there). Another
// user can neither create nor lock anything in it, nor put a link in its
// place.
#pragma once

#include <string>

namespace platform {

// An open private folder: its descriptor (close-on-exec) and its path, for
// messages.
struct PrivateFolder {
    int fd = -1;
    std::string path;
};

// Opens `path` as a private folder: a folder (a symbolic link in its place is
// refused) owned by the effective user, with no permission bits for group or
// others. `create` makes it, mode 0700, when it is missing; nothing found is
// ever changed. fd -1 and `problem` saying why when it cannot serve.
PrivateFolder OpenPrivateFolder(const std::string& path, bool create, std::string& problem);

// The first folder that serves, among: $XDG_RUNTIME_DIR, /run/user/<uid>,
// <home>/.cache/quellor (made when missing, home from $HOME or the user
// database) and /tmp/quellor-<uid> (made when missing). Every process of the
// user finds the same one as long as their environments agree. fd -1 and
// `problem` naming each place and why it was refused when none serves.
PrivateFolder FindPrivateFolder(std::string& problem);

}  // namespace platform
