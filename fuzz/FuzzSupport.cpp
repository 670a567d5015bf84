#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "platform/Stream.h"

namespace fuzz {

int IgnoreDialogs::MessageBox(const std::string&, const std::string&, unsigned) {
    return platform::IDOK;
}

int IgnoreDialogs::MessageDlg(const std::string&, platform::MsgDlgType,
                              platform::MsgDlgButtons buttons, platform::MsgDlgBtn defaultButton) {
    return platform::ResultOfButton((buttons & platform::mbIgnore) != 0 ? platform::mbIgnore
                                                                        : defaultButton);
}

bool IgnoreDialogs::ShellOpen(const std::string&) {
    return false;
}

void InstallIgnoreDialogs() {
    static IgnoreDialogs dialogs;
    platform::SetDialogs(&dialogs);
}

namespace {

// Memory-backed when the system has such a folder: scratch folders are made
// and removed thousands of times a second, and a disk makes that the
// bottleneck.
std::filesystem::path ScratchBase() {
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error)) {
        return "/dev/shm";
    }
    return std::filesystem::temp_directory_path();
}

}  // namespace

ScratchFolder::ScratchFolder() {
    static std::mt19937_64 names{std::random_device{}()};
    static const std::filesystem::path base = ScratchBase();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate = base / ("quellor-fuzz-" + std::to_string(names()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate.string() + "/";
            return;
        }
    }
    throw std::runtime_error("cannot make a scratch folder");
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteInputFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    platform::TFileStream file(path, platform::fmCreate);
    file.WriteBuffer(data, size);
}

std::string ReadInputFile(const std::string& path) {
    platform::TFileStream file(path, platform::fmOpenRead | platform::fmShareDenyNone);
    std::string content(static_cast<std::size_t>(file.Size()), '\0');
    file.ReadBuffer(content.data(), content.size());
    return content;
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz oracle: %s\n", what.c_str());
    std::abort();
}

}  // namespace fuzz
