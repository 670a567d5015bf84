#include "midlet/WorkspaceFiles.h"

#include <cstdint>
#include <exception>

#include "midlet/Staging.h"
#include "midlet/StepFailure.h"
#include "platform/Durable.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Stream.h"
#include "platform/TextFile.h"

namespace midlet {

namespace {

using platform::PathKind;

bool IsFolder(const std::string& path) {
    return platform::KindOfPath(path) == PathKind::Folder;
}

// Deletes what `kind` says is at `path` (no folder), made writable first
// when it is read-only.
void Discard(const std::string& path, PathKind kind, bool readOnly) {
    if (kind == PathKind::Missing) {
        return;
    }
    if (readOnly) {
        CheckResult(platform::SetFileAttributes(path, 0));
    }
    CheckResult(platform::DeleteFile(path));
}

// Removes everything below the folder `base` (with its trailing
// delimiter), then the folder.
void RemoveFolderTree(const std::string& base) {
    for (const std::string& name : platform::ListFolder(base)) {
        const std::string path = base + name;
        bool readOnly = false;
        const PathKind kind = platform::KindOfPath(path, &readOnly);
        if (kind == PathKind::Folder) {
            RemoveFolderTree(path + platform::PathDelim);
        } else {
            Discard(path, kind, readOnly);
        }
    }
    // Returns nothing to check: a folder that stays raises EInOutError,
    // which reaches the caller and the run's exit status.
    platform::RemoveDirectory(base);
}

}  // namespace

std::string ReadFileBytes(const std::string& path) {
    platform::TFileStream file(path, platform::fmOpenRead | platform::fmShareDenyNone);
    std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
    file.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    CheckResult(platform::ForceDirectories(platform::ExtractFilePath(path)));
    // The workspace's own file, which no other run meets under its lock.
    platform::TFileStream file(path,
                               platform::fmCreate | platform::fmNoFollow | platform::fmNoSharing);
    file.WriteBuffer(bytes.data(), bytes.size());
}

void DiscardFile(const std::string& path) {
    bool readOnly = false;
    const PathKind kind = platform::KindOfPath(path, &readOnly);
    Discard(path, kind, readOnly);
}

void RemoveTree(const std::string& folder) {
    if (IsFolder(folder)) {
        RemoveFolderTree(platform::IncludeTrailingPathDelimiter(folder));
    }
}

void ReplaceTextFile(const std::string& path, const std::vector<std::string>& lines,
                     const std::string& tempFolder) {
    const std::string staged = NewStagingPath(tempFolder);
    try {
        platform::TextFile file;
        file.Rewrite(staged);
        for (const std::string& line : lines) {
            file.WriteLn(line);
        }
        file.Close();
        CheckResult(platform::FlushFile(staged));
        CheckResult(platform::MoveFileEx(staged, path, platform::MOVEFILE_REPLACE_EXISTING));
    } catch (const std::exception&) {
        // The failure raised is what the caller reports; a staged file that
        // cannot be removed now goes with the next run's stale staging.
        try {
            DiscardFile(staged);
        } catch (const std::exception&) {
        }
        throw;
    }
    CheckResult(platform::FlushFolder(platform::ExtractFilePath(path)));
}

}  // namespace midlet
