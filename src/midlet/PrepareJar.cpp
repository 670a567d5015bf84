// The per-JAR preparation: the manifest taken out of the working JAR, the
// two text passes over it, the manifest put back, the project folder with
// the JAD, the JAR and the icon, and the JAD tail.
#include <cstdint>
#include <string>

#include "archive/ZipArchiver.h"
#include "midlet/Batch.h"
#include "midlet/ManifestText.h"
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
// The manifest in any folder, and the manifest entry itself. Both are the
// program's own names, matched by ASCII rules in every locale.
constexpr const char* kManifestMask = "Manifest.mf";
constexpr const char* kManifestEntryMask = "Meta-inf\\Manifest.mf";

// The fixed paths in the folder of the working JAR (the temp folder), which
// serve every JAR of a run.
struct TempPaths {
    explicit TempPaths(const std::string& workingJar)
        : folder(platform::ExtractFilePath(workingJar)),
          manifestCopy(folder + "Manifest.mf"),
          extractedManifest(folder + "Meta-inf" + kDelim + "Manifest.mf"),
          extractedManifestFolder(folder + "Meta-inf" + kDelim) {}

    std::string folder;
    std::string manifestCopy;
    std::string extractedManifest;
    std::string extractedManifestFolder;
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
    ~OpenArchive() { zip_.Close(); }
    OpenArchive(const OpenArchive&) = delete;
    OpenArchive& operator=(const OpenArchive&) = delete;

  private:
    archive::TZipArchiver& zip_;
};

// Deletes a file of the temp folder, read-only or not; a missing file is no
// error.
void DiscardFile(const std::string& path) {
    platform::SetFileAttributes(path, 0);
    platform::DeleteFile(path);
}

// The manifest copy is made anew from the extracted manifest; a copy that
// cannot be made leaves the pass that follows to fail on it.
void RefreshManifestCopy(const TempPaths& temp) {
    platform::DeleteFile(temp.manifestCopy);
    platform::CopyFile(temp.extractedManifest, temp.manifestCopy, true);
}

// Name pass from the manifest copy into the extracted manifest.
void RunNamePass(const TempPaths& temp, ProgramState& state) {
    platform::TextFile in;
    in.Reset(temp.manifestCopy);
    platform::TextFile out;
    out.Rewrite(temp.extractedManifest);
    while (!in.Eof()) {
        out.WriteLn(NamePassLine(in.ReadLn(), state));
    }
    in.Close();
    out.Close();
}

// Descriptor pass from the manifest copy into the extracted manifest; gives
// the icon path.
std::string RunDescriptorPass(const TempPaths& temp, int jadKind, const ProgramState& state) {
    std::string iconPath;
    platform::TextFile in;
    in.Reset(temp.manifestCopy);
    platform::TextFile out;
    out.Rewrite(temp.extractedManifest);
    while (!in.Eof()) {
        if (auto line = DescriptorPassLine(in.ReadLn(), jadKind, state.cleanedName, iconPath)) {
            out.WriteLn(*line);
        }
    }
    in.Close();
    out.Close();
    return iconPath;
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

void PrepareJar(RunContext& run, const std::string& workingJar) {
    const TempPaths temp(workingJar);
    archive::TZipArchiver& zip = run.zip;

    // 1. Take the manifest out. An extracted manifest left behind by an
    // earlier JAR must not stand in for a JAR that has none.
    DiscardFile(temp.extractedManifest);
    zip.FileName = workingJar;
    zip.BaseDir = temp.folder;
    {
        OpenArchive open(zip);
        zip.ExtractByMask(kManifestMask, kAnyAttributes, kNoExclusion, archive::MaskText::Fixed);
    }
    // A manifest stored read-only is extracted read-only; the passes below
    // must still be able to rewrite it.
    platform::SetFileAttributes(temp.extractedManifest, 0);

    // 2.-3. Name pass.
    RefreshManifestCopy(temp);
    RunNamePass(temp, run.state);

    // 4.-5. Descriptor pass; the icon path is set.
    RefreshManifestCopy(temp);
    const int jadKind = run.options.jadKind;
    const std::string iconPath = RunDescriptorPass(temp, jadKind, run.state);

    // 6. Put the manifest back; the archive is committed before UpdateByMask
    // returns.
    zip.FileName = workingJar;
    {
        OpenArchive open(zip);
        zip.BaseDir = temp.folder;
        zip.UpdateByMask(kManifestEntryMask, kAnyAttributes, kNoExclusion,
                         archive::MaskText::Fixed);
    }

    // 7. The project name.
    run.state.projectName = ProjectNameOf(run.state.cleanedName);
    const std::string& projectName = run.state.projectName;
    const ProjectPaths project(run.programFolder, projectName);

    // 8. A project made before is left as it is; this JAR's files stay in
    // the temp folder.
    if (platform::FileExists(project.jad) && platform::FileExists(project.jar)) {
        run.output.AppendLog(projectName + ".jad" + " is already generated!");
        return;
    }

    // 9. The project folder; an existing one is a failure.
    platform::CreateDirectory(project.folder);

    // 10. Move the JAD and the JAR into it and clear the temp folder.
    platform::DeleteFile(temp.manifestCopy);
    platform::MoveFile(temp.extractedManifest, project.jad);
    platform::MoveFile(workingJar, project.jar);
    platform::DeleteFile(temp.extractedManifest);
    platform::RemoveDirectory(temp.extractedManifestFolder);

    // 11. The icon, under its stored path in the project folder.
    if (run.options.extractIcon) {
        zip.FileName = project.jar;
        OpenArchive open(zip);
        zip.BaseDir = project.folder;
        zip.ExtractByMask(iconPath, kAnyAttributes, kNoExclusion);
    }

    // 12. A full JAD names the final JAR's size and place.
    if (jadKind == kFullJad) {
        AppendJadTail(project, projectName);
    }

    // 13. Report and count it.
    run.output.AppendLog(projectName + ".jad" + " generated!");
    ++run.state.jadCount;
}

}  // namespace midlet
