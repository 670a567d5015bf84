// The per-JAR preparation: the manifest taken out of the listed JAR, the
// two text passes over it, the working JAR made with the manifest put back,
// the project folder with the JAD, the JAR and the icon, and the JAD tail.
#include <cstdint>
#include <string>

#include <exception>
#include <vector>

#include "archive/ZipArchiver.h"
#include "midlet/Batch.h"
#include "midlet/ManifestEntry.h"
#include "midlet/ManifestText.h"
#include "midlet/PlainMessages.h"
#include "midlet/WorkspaceFiles.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TextFile.h"

namespace midlet {

namespace {

constexpr char kDelim = platform::PathDelim;

// The attribute filter of every mask call: read-only, hidden, system, volume
// label, folder, archive, normal, compressed and not-indexed (0x28BF), so no
// entry is filtered out by its attributes.
constexpr std::uint32_t kAnyAttributes = 10431;
constexpr const char* kNoExclusion = "";

// The fixed paths in the folder of the working JAR (the temp folder), which
// serve every JAR of a run.
struct TempPaths {
    explicit TempPaths(const std::string& workingJar)
        : folder(platform::ExtractFilePath(workingJar)),
          manifestCopy(folder + "Manifest.mf"),
          extractedManifest(folder + "Meta-inf" + kDelim + "Manifest.mf"),
          extractedManifestFolder(folder + "Meta-inf" + kDelim),
          iconStaging(folder + "Icon.staging" + kDelim) {}

    std::string folder;
    std::string manifestCopy;
    std::string extractedManifest;
    std::string extractedManifestFolder;
    std::string iconStaging;
};

// The project's place in the projects folder.
struct ProjectPaths {
    ProjectPaths(const std::string& programFolder, const std::string& projectName)
        : folder(programFolder + "projects" + kDelim + projectName),
          jad(folder + kDelim + projectName + ".jad"),
          jar(folder + kDelim + projectName + ".jar") {}

    std::string folder;  // no trailing delimiter
    std::string jad;
    std::string jar;
};

// One Open ... Close bracket of the archive component. Close never raises,
// so the archive is closed on every path out of the bracket.
class OpenArchive {
  public:
    explicit OpenArchive(archive::TZipArchiver& zip) : zip_(zip) { zip_.Open(); }
    OpenArchive(archive::TZipArchiver& zip, std::uint32_t mode) : zip_(zip) {
        zip_.OpenArchive(mode);
    }
    ~OpenArchive() { zip_.Close(); }
    OpenArchive(const OpenArchive&) = delete;
    OpenArchive& operator=(const OpenArchive&) = delete;

  private:
    archive::TZipArchiver& zip_;
};

// The manifest copy is made anew from the extracted manifest; a copy that
// cannot be made leaves the pass that follows to fail on it.
void RefreshManifestCopy(const TempPaths& temp) {
    platform::DeleteFile(temp.manifestCopy);
    platform::CopyFile(temp.extractedManifest, temp.manifestCopy, true);
}

// The manifest entry's bytes (of the open JAR) in the extracted manifest's
// place. A JAR without one fails as a missing file does.
void TakeManifestOut(archive::TZipArchiver& zip, const TempPaths& temp) {
    const int entry = FindManifestEntry(zip);
    if (entry < 0) {
        throw NoManifestError();
    }
    WriteFileBytes(temp.extractedManifest, ReadEntryBytes(zip, entry));
}

// Name pass from the manifest copy into the extracted manifest. A manifest
// without a MIDlet-Name line fails: no other JAR's name may stand in.
void RunNamePass(const TempPaths& temp, ProgramState& state) {
    state.cleanedName.clear();
    bool named = false;
    platform::TextFile in;
    in.Reset(temp.manifestCopy);
    platform::TextFile out;
    out.Rewrite(temp.extractedManifest);
    while (!in.Eof()) {
        const std::string line = in.ReadLn();
        named = named || IsNameLine(line);
        out.WriteLn(NamePassLine(line, state));
    }
    in.Close();
    out.Close();
    if (!named) {
        throw platform::Exception("MIDlet-Name not found in the manifest");
    }
}

// Descriptor pass from the manifest copy into the extracted manifest; gives
// the icon path.
std::string RunDescriptorPass(const TempPaths& temp, JadKind jadKind, const ProgramState& state) {
    std::string iconPath;
    const std::vector<std::string> lines = platform::ReadAllLines(temp.manifestCopy);
    platform::TextFile out;
    out.Rewrite(temp.extractedManifest);
    for (const std::string& line : DescriptorPass(lines, jadKind, state.cleanedName, iconPath)) {
        out.WriteLn(line);
    }
    out.Close();
    return iconPath;
}

// Makes the working JAR: the open JAR with the rewritten manifest in the
// entry it came from, written whole into the working JAR's place. The open
// JAR stays as it is. The working JAR is writable whatever the listed
// file's attributes.
void PutManifestBack(archive::TZipArchiver& zip, const TempPaths& temp,
                     const std::string& workingJar) {
    zip.BaseDir = temp.folder;
    const int entry = FindManifestEntry(zip);
    if (entry >= 0) {
        zip.CommitCopyName = workingJar;
        UpdateEntry(zip, entry);
    }
    if (platform::FileExists(workingJar)) {
        platform::SetFileAttributes(workingJar, 0);
    }
}

// Opens the working JAR and reads the manifest entry: a write-back that was
// abandoned (after a failure dialog) or that found nothing to refresh must
// not pass for a prepared JAR, whose JAD would then disagree with it.
void CheckManifestPutBack(archive::TZipArchiver& zip, const TempPaths& temp,
                          const std::string& workingJar) {
    const std::string wanted = ReadFileBytes(temp.extractedManifest);
    if (!platform::FileExists(workingJar)) {
        throw platform::Exception("The manifest could not be put back into the JAR");
    }
    zip.FileName = workingJar;
    OpenArchive open(zip);
    const int entry = FindManifestEntry(zip);
    if (entry < 0 || ReadEntryBytes(zip, entry) != wanted) {
        throw platform::Exception("The manifest could not be put back into the JAR");
    }
}

// Extracts the icon into a folder of its own, then moves it into the
// project folder without overwriting anything there: an icon path that
// names the project's JAR or JAD (or a mask that selects them) must not
// replace them.
void ExtractIcon(archive::TZipArchiver& zip, const ProjectPaths& project,
                 const std::string& iconPath, const std::string& stagingFolder) {
    RemoveTree(stagingFolder);
    platform::ForceDirectories(stagingFolder);
    struct Staging {
        const std::string& folder;
        ~Staging() {
            try {
                RemoveTree(folder);
            } catch (const std::exception&) {
            }
        }
    } staging{stagingFolder};
    zip.FileName = project.jar;
    {
        OpenArchive open(zip);
        zip.BaseDir = stagingFolder;
        zip.ExtractByMask(iconPath, kAnyAttributes, kNoExclusion);
    }
    MoveTreeWithoutOverwriting(stagingFolder, project.folder);
}

void AppendJadTail(const ProjectPaths& project, const std::string& projectName) {
    platform::TextFile jad;
    jad.Append(project.jad);
    std::uint64_t size = 0;
    platform::FindFileSize(project.jar, size);  // 0 when it cannot be found
    for (const std::string& line : JadTail(static_cast<std::uint32_t>(size), projectName)) {
        jad.WriteLn(line);
    }
    jad.Close();
}

}  // namespace

void ClearManifestFiles(const std::string& tempFolder) {
    const TempPaths temp(tempFolder);
    DiscardFile(temp.manifestCopy);
    RemoveTree(temp.extractedManifestFolder);
    RemoveTree(temp.iconStaging);
}

bool PrepareJar(RunContext& run, const std::string& listed, const std::string& workingJar) {
    const TempPaths temp(workingJar);
    archive::TZipArchiver& zip = run.zip;

    // Take the manifest out. Whatever an earlier JAR left in the temp
    // folder must not stand in for this one's.
    ClearManifestFiles(temp.folder);
    zip.FileName = listed;
    zip.BaseDir = temp.folder;
    const JadKind jadKind = run.options.jadKind;
    std::string iconPath;
    {
        // One open of the listed JAR, only read, serves taking the manifest
        // out and making the working JAR; the passes between work on the
        // files only.
        OpenArchive open(zip, archive::OpenModeReadOnly);
        TakeManifestOut(zip, temp);

        RefreshManifestCopy(temp);
        RunNamePass(temp, run.state);

        // The descriptor pass sets the icon path.
        RefreshManifestCopy(temp);
        iconPath = RunDescriptorPass(temp, jadKind, run.state);

        PutManifestBack(zip, temp, workingJar);
    }
    CheckManifestPutBack(zip, temp, workingJar);

    run.state.projectName = ProjectNameOf(run.state.cleanedName);
    const std::string& projectName = run.state.projectName;
    const ProjectPaths project(run.programFolder, projectName);

    // A project made before is left as it is; this JAR's files stay in
    // the temp folder.
    if (platform::FileExists(project.jad) && platform::FileExists(project.jar)) {
        run.output.AppendLog(projectName + ".jad" + " is already generated!");
        return false;
    }

    // The project folder; an existing one is a failure.
    platform::CreateDirectory(project.folder);

    // Move the JAD and the JAR into it and clear the temp folder.
    platform::DeleteFile(temp.manifestCopy);
    platform::MoveFile(temp.extractedManifest, project.jad);
    platform::MoveFile(workingJar, project.jar);
    platform::DeleteFile(temp.extractedManifest);
    platform::RemoveDirectory(temp.extractedManifestFolder);

    // The icon, under its stored path in the project folder.
    if (run.options.extractIcon) {
        ExtractIcon(zip, project, iconPath, temp.iconStaging);
    }

    // A full JAD names the final JAR's size and place.
    if (jadKind == JadKind::Full) {
        AppendJadTail(project, projectName);
    }

    run.output.AppendLog(projectName + ".jad" + " generated!");
    ++run.state.jadCount;
    return true;
}

}  // namespace midlet
