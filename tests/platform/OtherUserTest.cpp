// Another local user against the sharing marks. The tests run as root and
// play the other user through setpriv, inside a mount namespace of their
// own where /tmp and /run are fresh, empty file systems: what the other user
// plants at the fixed paths touches nothing outside the test.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/Sharing.h"
#include "platform/Stream.h"

using namespace platform;

namespace {

constexpr const char* kOtherUser = "4242";
constexpr const char* kSetpriv = "/usr/bin/setpriv";
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kVictim = "/tmp/victim";  // a file of root's, mode 0600
constexpr const char* kRootHome = "/tmp/root-home";
constexpr const char* kOldMarks = "/tmp/.quellor-share-marks";
constexpr const char* kTempFallback = "/tmp/quellor-0";
constexpr const char* kSessionFolder = "/run/user/0";

// Runs `argv` as the other user, with `path` in $P; its exit status, or -1.
int AsOtherUser(const std::vector<std::string>& argv, const std::string& path = "",
                int* input = nullptr, int* output = nullptr) {
    int in[2];
    int out[2];
    if (pipe(in) != 0 || pipe(out) != 0) {
        return -1;
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        for (const int fd : {in[0], in[1], out[0], out[1]}) {
            close(fd);
        }
        setenv("P", path.c_str(), 1);
        std::vector<const char*> args = {kSetpriv,   "--reuid",        kOtherUser, "--regid",
                                         kOtherUser, "--clear-groups", "--"};
        for (const std::string& arg : argv) {
            args.push_back(arg.c_str());
        }
        args.push_back(nullptr);
        execv(kSetpriv, const_cast<char* const*>(args.data()));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    if (input != nullptr) {  // the caller talks to it and waits itself
        *input = in[1];
        *output = out[0];
        return child;
    }
    close(in[1]);
    close(out[0]);
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ShellAsOtherUser(const std::string& script, const std::string& path) {
    return AsOtherUser({"/bin/sh", "-c", script}, path);
}

// The other user holds a lock over the whole file at `path` (a POSIX lock,
// which meets open-file-description locks) until the object goes.
class OtherUsersLock {
  public:
    explicit OtherUsersLock(const std::string& path) {
        const std::string program =
            "import fcntl, os, sys\n"
            "fd = os.open(sys.argv[1], os.O_RDONLY)\n"
            "fcntl.lockf(fd, fcntl.LOCK_SH | fcntl.LOCK_NB)\n"
            "print('held', flush=True)\n"
            "sys.stdin.read()\n";
        child_ = AsOtherUser({kPython, "-c", program, path}, path, &input_, &output_);
        char reply[5] = {};
        held_ = child_ > 0 && read(output_, reply, 4) == 4 && std::string(reply) == "held";
    }
    ~OtherUsersLock() {
        close(input_);
        close(output_);
        int status = 0;
        waitpid(child_, &status, 0);
    }
    OtherUsersLock(const OtherUsersLock&) = delete;
    OtherUsersLock& operator=(const OtherUsersLock&) = delete;
    bool Held() const { return held_; }

  private:
    pid_t child_ = -1;
    int input_ = -1;
    int output_ = -1;
    bool held_ = false;
};

// What is at a path, to tell that nothing changed it: type, mode and owner.
std::string Looks(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        return "nothing";
    }
    return std::to_string(info.st_mode) + "/" + std::to_string(info.st_uid) + "/" +
           std::to_string(info.st_nlink);
}

std::string ReadAll(const std::string& path) {
    std::string text;
    const int fd = open(path.c_str(), O_RDONLY);
    char buffer[256];
    ssize_t n = 0;
    while (fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    if (fd >= 0) {
        close(fd);
    }
    return text;
}

bool MakeFile(const std::string& path, const std::string& text, mode_t mode) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
    const bool written =
        fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return fd >= 0 && close(fd) == 0 && written;
}

// Mounts fresh file systems on /tmp and /run; "" or why it cannot.
std::string MakePrivateMounts() {
    if (unshare(CLONE_NEWNS) != 0) {
        return std::string("no mount namespace: ") + std::strerror(errno);
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/tmp", "tmpfs", 0, "mode=1777") != 0 ||
        mount("tmpfs", "/run", "tmpfs", 0, "mode=755") != 0 || mkdir("/run/user", 01777) != 0 ||
        chmod("/run/user", 01777) != 0) {
        return std::string("no private mounts: ") + std::strerror(errno);
    }
    return "";
}

// Runs `scenario` in a child with private mounts, as root with a home of
// its own in the private /tmp and no runtime folder in its environment.
// Gives "" when it passed, what went wrong otherwise, or "skip: why".
std::string InPrivateMounts(const std::function<std::string()>& scenario) {
    int result[2];
    if (pipe(result) != 0) {
        return "no pipe";
    }
    const pid_t child = fork();
    if (child == 0) {
        std::string outcome = MakePrivateMounts();
        if (!outcome.empty()) {
            outcome = "skip: " + outcome;
        } else if (mkdir(kRootHome, 0700) != 0 || !MakeFile(kVictim, "secret", 0600)) {
            outcome = "cannot prepare the private /tmp";
        } else {
            setenv("HOME", kRootHome, 1);
            unsetenv("XDG_RUNTIME_DIR");
            SetShareMarksFile("");
            outcome = scenario();
        }
        const bool sent = write(result[1], outcome.data(), outcome.size()) ==
                          static_cast<ssize_t>(outcome.size());
        _exit(sent ? 0 : 1);
    }
    close(result[1]);
    std::string outcome;
    char buffer[512];
    ssize_t n = 0;
    while ((n = read(result[0], buffer, sizeof buffer)) > 0) {
        outcome.append(buffer, static_cast<std::size_t>(n));
    }
    close(result[0]);
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "the scenario's process died: " + outcome;
    }
    return outcome;
}

// What a planted thing is, and how the other user makes it at $P.
struct Plant {
    const char* what;
    const char* script;  // run as the other user; "" for none
    bool rootLinks;      // a hard link to the victim, made as root: a system
                         // without protected hard links lets anyone make it
    bool locked;         // the other user holds a lock over it
};

const Plant kPlants[] = {
    {"nothing", "", false, false},
    {"their private file", "umask 077 && : > \"$P\"", false, false},
    {"their open file, locked", "umask 0 && : > \"$P\"", false, true},
    {"a FIFO", "mkfifo -m 666 \"$P\"", false, false},
    {"their folder", "mkdir -m 777 \"$P\"", false, false},
    {"a link to root's file", "ln -s /tmp/victim \"$P\"", false, false},
    {"a hard link to root's file", "", true, false},
};

// Plants `plant` at `path`; "" or what went wrong.
std::string PlantAt(const Plant& plant, const std::string& path) {
    // A hard link reaches only paths on the victim's file system.
    if (plant.rootLinks && link(kVictim, path.c_str()) != 0 && errno != EXDEV) {
        return "cannot link " + path;
    }
    if (*plant.script != '\0' && ShellAsOtherUser(plant.script, path) != 0) {
        return std::string("the other user cannot plant ") + plant.what;
    }
    return "";
}

// Two opens of one file by this user still meet each other, and the other
// user can open neither the marks nor what holds them.
std::string SharingHolds(const std::string& expectedMarks) {
    std::string problem;
    const std::string marks = ShareMarksFile(problem);
    if (marks != expectedMarks) {
        return "the marks are at \"" + marks + "\" (" + problem + ")";
    }
    const std::string jar = std::string(kRootHome) + "/a.jar";
    if (!MakeFile(jar, "archive", 0644)) {
        return "cannot make " + jar;
    }
    try {
        TFileStream holder(jar, fmOpenReadWrite | fmShareDenyWrite);
        try {
            TFileStream second(jar, fmOpenReadWrite | fmShareDenyNone);
            return "locking is off: a second writer got in";
        } catch (const EStreamError& e) {
            if (e.ErrorCode != ERROR_SHARING_VIOLATION) {
                return "the second writer met: " + e.Message();
            }
        }
    } catch (const EStreamError& e) {
        return "the first open failed: " + e.Message();
    }
    if (ShellAsOtherUser("exec 2>/dev/null; exec 3< \"$P\"", marks) == 0) {
        return "the other user can open the marks";
    }
    return "";
}

// An open that needs the marks fails and names `place` in its message.
std::string SharingRefusedNaming(const std::string& place) {
    const std::string jar = std::string(kRootHome) + "/a.jar";
    if (!MakeFile(jar, "archive", 0644)) {
        return "cannot make " + jar;
    }
    try {
        TFileStream holder(jar, fmOpenReadWrite | fmShareDenyWrite);
        return "opened without its marks";
    } catch (const EStreamError& e) {
        if (e.ErrorCode != ERROR_LOCK_FAILED || e.Message().find(place) == std::string::npos) {
            return "the refusal does not say why: " + e.Message();
        }
    }
    return "";
}

// Plants `plant` at `path`, sets the scene, runs `check`, and then makes
// sure that nothing planted and no file of root's was changed.
std::string WithPlant(const Plant& plant, const std::string& path,
                      const std::function<void()>& scene,
                      const std::function<std::string()>& check) {
    if (std::string error = PlantAt(plant, path); !error.empty()) {
        return error;
    }
    const std::string victimBefore = Looks(kVictim);
    const std::string plantBefore = Looks(path);
    std::string outcome;
    {
        std::unique_ptr<OtherUsersLock> lock;
        if (plant.locked) {
            lock = std::make_unique<OtherUsersLock>(path);
            if (!lock->Held()) {
                return "the other user cannot lock " + path;
            }
        }
        scene();
        outcome = check();
    }
    if (Looks(kVictim) != victimBefore || ReadAll(kVictim) != "secret") {
        outcome += " | root's file was changed";
    }
    if (plantBefore != "nothing" && Looks(path) != plantBefore) {
        outcome += " | what was planted was changed";
    }
    return outcome;
}

class OtherUser : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "playing another user needs root";
        }
        if (access(kSetpriv, X_OK) != 0 || access(kPython, X_OK) != 0) {
            GTEST_SKIP() << "setpriv or python3 is missing";
        }
    }
    void TearDown() override { SetShareMarksFile(""); }

    void Expect(const std::string& outcome) {
        if (outcome.starts_with("skip: ")) {
            GTEST_SKIP() << outcome.substr(6);
        }
        EXPECT_EQ(outcome, "");
    }
};

const std::string kHomeMarks = std::string(kRootHome) + "/.cache/quellor/quellor-share-marks";

// Whatever the other user puts at a path the marks once lived at, or might
// live at, this user's marks are its own and locking stays on.
TEST_F(OtherUser, NothingPlantedBlocksOrSwitchesOffSharing) {
    const struct {
        const char* path;
        bool asRuntimeFolder;  // also named by $XDG_RUNTIME_DIR
    } places[] = {
        {kOldMarks, false},
        {kTempFallback, false},
        {kSessionFolder, false},
        {"/tmp/runtime", true},
    };
    for (const auto& place : places) {
        for (const Plant& plant : kPlants) {
            SCOPED_TRACE(std::string(plant.what) + " at " + place.path);
            Expect(InPrivateMounts([&] {
                return WithPlant(
                    plant, place.path,
                    [&] {
                        if (place.asRuntimeFolder) {
                            setenv("XDG_RUNTIME_DIR", place.path, 1);
                        }
                    },
                    [&] { return SharingHolds(kHomeMarks); });
            }));
            if (HasFatalFailure() || IsSkipped()) {
                return;
            }
        }
    }
}

// A runtime folder serves only when it is this user's alone.
TEST_F(OtherUser, ARuntimeFolderServesOnlyWhenPrivate) {
    const struct {
        const char* what;
        const char* setup;  // shell, run as root; the folder is /tmp/rt
        bool serves;
    } folders[] = {
        {"root's, 0700", "mkdir -m 700 /tmp/rt", true},
        {"root's, 0755", "mkdir -m 755 /tmp/rt", false},
        {"a link to root's 0700 folder", "mkdir -m 700 /tmp/real && ln -s real /tmp/rt", false},
        {"the other user's, 0700", "mkdir -m 700 /tmp/rt && chown 4242 /tmp/rt", false},
    };
    for (const auto& folder : folders) {
        SCOPED_TRACE(folder.what);
        Expect(InPrivateMounts([&] {
            if (std::system(folder.setup) != 0) {
                return std::string("cannot set up");
            }
            setenv("XDG_RUNTIME_DIR", "/tmp/rt", 1);
            return SharingHolds(folder.serves ? "/tmp/rt/quellor-share-marks" : kHomeMarks);
        }));
    }
}

// Without a home of its own the user falls back to a folder in /tmp; what
// the other user plants there makes opens fail, saying where, and changes
// nothing.
TEST_F(OtherUser, TheLastPlaceFailsClearlyWhenTaken) {
    for (const Plant& plant : kPlants) {
        SCOPED_TRACE(plant.what);
        const bool free = std::string(plant.what) == "nothing";
        Expect(InPrivateMounts([&] {
            return WithPlant(
                plant, kTempFallback,
                [] {
                    const bool made = mkdir("/tmp/their-home", 0755) == 0 &&
                                      chown("/tmp/their-home", 4242, 4242) == 0;
                    setenv("HOME", made ? "/tmp/their-home" : "/nowhere", 1);
                },
                [&] {
                    return free ? SharingHolds(std::string(kTempFallback) + "/quellor-share-marks")
                                : SharingRefusedNaming(kTempFallback);
                });
        }));
        if (IsSkipped()) {
            return;
        }
    }
}

}  // namespace
