#include "midlet/WorkspaceFiles.h"

#include <cstdint>
#include <vector>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Stream.h"

namespace midlet {

namespace {

bool IsFolder(const std::string& path) {
    return !platform::IsSymbolicLink(path) && platform::DirectoryExists(path);
}

}  // namespace

std::string ReadFileBytes(const std::string& path) {
    platform::TFileStream file(path, platform::fmOpenRead | platform::fmShareDenyNone);
    std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
    file.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    platform::ForceDirectories(platform::ExtractFilePath(path));
    platform::TFileStream file(path, platform::fmCreate | platform::fmNoFollow);
    file.WriteBuffer(bytes.data(), bytes.size());
}

void DiscardFile(const std::string& path) {
    platform::SetFileAttributes(path, 0);
    platform::DeleteFile(path);
}

void RemoveTree(const std::string& folder) {
    if (!IsFolder(folder)) {
        return;
    }
    const std::string base = platform::IncludeTrailingPathDelimiter(folder);
    for (const std::string& name : platform::ListFolder(base)) {
        const std::string path = base + name;
        if (IsFolder(path)) {
            RemoveTree(path);
        } else {
            DiscardFile(path);
        }
    }
    platform::RemoveDirectory(base);
}

void MoveTreeWithoutOverwriting(const std::string& from, const std::string& to) {
    const std::string source = platform::IncludeTrailingPathDelimiter(from);
    const std::string target = platform::IncludeTrailingPathDelimiter(to);
    for (const std::string& name : platform::ListFolder(source)) {
        if (IsFolder(source + name)) {
            if (!platform::FileExists(target + name) && platform::ForceDirectories(target + name)) {
                MoveTreeWithoutOverwriting(source + name, target + name);
            }
        } else if (!platform::FileExists(target + name) &&
                   !platform::DirectoryExists(target + name)) {
            platform::MoveFile(source + name, target + name);
        }
    }
}

}  // namespace midlet
