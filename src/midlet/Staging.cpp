#include "midlet/Staging.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <random>

#include "midlet/WorkspaceFiles.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace midlet {

namespace {

bool IsStagingName(const std::string& name) {
    return name.rfind(kStagingPrefix, 0) == 0;
}

}  // namespace

std::string NewStagingPath(const std::string& tempFolder) {
    // One source per thread: runs that prepare several JARs at once make
    // staging places from several threads.
    thread_local std::random_device source;
    const std::uint64_t number = static_cast<std::uint64_t>(source()) << 32 | source();
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(number));
    return platform::IncludeTrailingPathDelimiter(tempFolder) + kStagingPrefix + digits;
}

StagingFolder::StagingFolder(const std::string& tempFolder) {
    // A name that is taken (by chance, or by another user's hand) is passed
    // over for a new one.
    for (int attempt = 0;; ++attempt) {
        const std::string path = NewStagingPath(tempFolder);
        try {
            platform::CreateDirectory(path);
        } catch (const platform::EInOutError& e) {
            if (e.ErrorCode != platform::ERROR_ALREADY_EXISTS || attempt >= 8) {
                throw;
            }
            continue;
        }
        path_ = platform::IncludeTrailingPathDelimiter(path);
        return;
    }
}

StagingFolder::~StagingFolder() {
    try {
        Remove();
    } catch (const std::exception&) {
    }
}

void StagingFolder::Remove() {
    if (!path_.empty()) {
        RemoveTree(path_);
        path_.clear();
    }
}

const std::string& WorkFolder::Path() {
    if (!folder_) {
        folder_.emplace(tempFolder_);
    }
    return folder_->Path();
}

void WorkFolder::Discard() {
    if (!folder_) {
        return;
    }
    try {
        folder_->Remove();
    } catch (const std::exception&) {
        folder_->MovedAway();
    }
    folder_.reset();
}

StagingFile::~StagingFile() {
    if (path_.empty()) {
        return;
    }
    try {
        DiscardFile(path_);
    } catch (const std::exception&) {
    }
}

void RemoveStaleStaging(const std::string& tempFolder) {
    const std::string folder = platform::IncludeTrailingPathDelimiter(tempFolder);
    for (const std::string& name : platform::ListFolder(folder)) {
        if (!IsStagingName(name)) {
            continue;
        }
        if (platform::DirectoryExists(folder + name) && !platform::IsSymbolicLink(folder + name)) {
            RemoveTree(folder + name);
        } else {
            DiscardFile(folder + name);
        }
    }
}

}  // namespace midlet
