// Finding or making a folder that only this user may enter. Each folder is
// opened first and checked through its descriptor, so what is checked is
// what is used, even if the name is swapped a moment later.
#include "platform/PrivateFolder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {

namespace {

constexpr const char* kCacheFolder = ".cache";
constexpr const char* kOwnFolder = "quellor";
constexpr const char* kSharedTempFolder = "/tmp";

// Why a folder opened as `info` cannot serve; "" when it can. A private
// folder lets nobody else in; a folder on the way to one (the home) only
// has to keep others from writing to it.
std::string OwnershipProblem(const struct stat& info, bool privateFolder) {
    if (!S_ISDIR(info.st_mode)) {
        return "it is not a folder";
    }
    if (info.st_uid != geteuid()) {
        return "it belongs to another user";
    }
    const mode_t others = privateFolder ? 077 : 022;
    if ((info.st_mode & others) != 0) {
        return privateFolder ? "other users may enter it" : "other users may write to it";
    }
    return "";
}

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// Opens `name` below `parent` (AT_FDCWD for a path) as a folder that passes
// OwnershipProblem; `noFollow` refuses a link as its last component. -1 with
// `problem` set otherwise.
int OpenCheckedFolder(int parent, const std::string& name, bool privateFolder, bool noFollow,
                      bool create, std::string& problem) {
    if (create && mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
        problem = std::string("it cannot be made (") + std::strerror(errno) + ")";
        return -1;
    }
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0);
    const int fd = openat(parent, name.c_str(), flags);
    if (fd < 0) {
        problem = errno == ELOOP || errno == ENOTDIR
                      ? std::string("it is not a folder")
                      : std::string("it cannot be opened (") + std::strerror(errno) + ")";
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        problem = std::string("it cannot be examined (") + std::strerror(errno) + ")";
    } else {
        problem = OwnershipProblem(info, privateFolder);
    }
    if (!problem.empty()) {
        close(fd);
        return -1;
    }
    return fd;
}

// The home folder: $HOME, else the user database's.
std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        return home;
    }
    std::vector<char> buffer(16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && *found->pw_dir == '/') {
        return found->pw_dir;
    }
    return "";
}

// <home>/.cache/quellor, made as needed. The home and its cache folder may
// be links (the user made them); the own folder may not.
PrivateFolder OpenHomeFolder(std::string& problem) {
    const std::string home = HomeFolder();
    if (home.empty()) {
        problem = "there is no home folder";
        return {};
    }
    const int homeFd = OpenCheckedFolder(AT_FDCWD, home, false, false, false, problem);
    if (homeFd < 0) {
        problem = "home " + Quoted(home) + ": " + problem;
        return {};
    }
    const std::string cache = home + "/" + kCacheFolder;
    const int cacheFd = OpenCheckedFolder(homeFd, kCacheFolder, false, false, true, problem);
    close(homeFd);
    if (cacheFd < 0) {
        problem = Quoted(cache) + ": " + problem;
        return {};
    }
    PrivateFolder folder;
    folder.path = cache + "/" + kOwnFolder;
    folder.fd = OpenCheckedFolder(cacheFd, kOwnFolder, true, true, true, problem);
    close(cacheFd);
    if (folder.fd < 0) {
        problem = Quoted(folder.path) + ": " + problem;
    }
    return folder;
}

}  // namespace

PrivateFolder OpenPrivateFolder(const std::string& path, bool create, std::string& problem) {
    PrivateFolder folder;
    folder.path = path;
    folder.fd = OpenCheckedFolder(AT_FDCWD, path, true, true, create, problem);
    return folder;
}

PrivateFolder FindPrivateFolder(std::string& problem) {
    std::vector<std::string> refusals;
    std::string why;
    const auto tryPath = [&](const std::string& path, bool create) {
        PrivateFolder folder = OpenPrivateFolder(path, create, why);
        if (folder.fd < 0) {
            refusals.push_back(Quoted(path) + ": " + why);
        }
        return folder;
    };
    const std::string uid = std::to_string(geteuid());
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime == '/') {
        if (PrivateFolder folder = tryPath(runtime, false); folder.fd >= 0) {
            return folder;
        }
    }
    // The runtime folder of a login session, for a process started without
    // its environment (a scheduled job, a root shell).
    struct stat info;
    const std::string sessionFolder = "/run/user/" + uid;
    if (lstat(sessionFolder.c_str(), &info) == 0) {
        if (PrivateFolder folder = tryPath(sessionFolder, false); folder.fd >= 0) {
            return folder;
        }
    }
    if (PrivateFolder folder = OpenHomeFolder(why); folder.fd >= 0) {
        return folder;
    }
    refusals.push_back(why);
    if (PrivateFolder folder = tryPath(std::string(kSharedTempFolder) + "/quellor-" + uid, true);
        folder.fd >= 0) {
        return folder;
    }
    problem = "No folder of this user's own can hold the sharing marks: ";
    for (std::size_t i = 0; i < refusals.size(); ++i) {
        problem += (i == 0 ? "" : "; ") + refusals[i];
    }
    return {};
}

}  // namespace platform
