// The per-JAR preparation: the manifest taken out of the listed JAR, the
// two text passes over it, the working JAR made with the manifest put back,
// the project with the JAD, the JAR, the icon and the JAD tail made in a
// staging folder and moved into the projects folder whole.
#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "archive/ZipArchiver.h"
#include "midlet/Batch.h"
#include "midlet/ManifestEntry.h"
#include "midlet/ManifestText.h"
#include "midlet/PlainMessages.h"
#include "midlet/ProjectNames.h"
#include "midlet/StagedProject.h"
#include "midlet/Staging.h"
#include "midlet/StepFailure.h"
#include "midlet/WorkspaceFiles.h"
#include "midlet/suite/SuitePreparation.h"
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

// The files of one JAR's work, in a staging folder of its own: no other
// JAR's and no earlier run's files are ever found there. The manifest is
// spelled as a JAR names its entry, so that the archive finds the file it
// refreshes the entry from without looking for case variants.
struct WorkPaths {
    WorkPaths(const std::string& workFolder, const std::string& jarName)
        : folder(workFolder),
          workingJar(folder + jarName),
          extractedManifest(folder + "META-INF" + kDelim + "MANIFEST.MF"),
          iconStaging(folder + "Icon.staging" + kDelim) {}

    std::string folder;
    std::string workingJar;
    std::string extractedManifest;
    std::string iconStaging;
};

// One Open ... Close bracket of the archive component. Close never raises,
// so the archive is closed on every path out of the bracket.
class OpenArchive {
  public:
    OpenArchive(archive::TZipArchiver& zip, std::uint32_t mode) : zip_(zip) {
        zip_.OpenArchive(mode);
    }
    ~OpenArchive() { zip_.Close(); }
    OpenArchive(const OpenArchive&) = delete;
    OpenArchive& operator=(const OpenArchive&) = delete;

  private:
    archive::TZipArchiver& zip_;
};

// The index of the open JAR's manifest entry. A JAR without one fails as a
// missing file does.
int ManifestEntryOf(archive::TZipArchiver& zip) {
    const int entry = FindManifestEntry(zip);
    if (entry < 0) {
        throw NoManifestError();
    }
    return entry;
}

// Name pass over the manifest's lines. `named` tells whether one of them
// is a MIDlet-Name line.
std::vector<std::string> RunNamePass(const std::vector<std::string>& lines, ProgramState& state,
                                     bool& named) {
    state.cleanedName.clear();
    named = std::any_of(lines.begin(), lines.end(), IsNameLine);
    return NamePass(lines, state);
}

// Descriptor pass over the named lines; gives the rewritten manifest's text
// (its lines as a text file holds them) and the icon path.
std::string RunDescriptorPass(const std::vector<std::string>& lines, JadKind jadKind,
                              const ProgramState& state, std::string& iconPath) {
    return platform::JoinTextLines(DescriptorPass(lines, jadKind, state.cleanedName, iconPath));
}

// Makes the working JAR: the open JAR with the rewritten manifest in the
// entry it came from, written whole into the working JAR's place. The open
// JAR stays as it is. The working JAR is writable whatever the listed
// file's attributes.
void PutManifestBack(archive::TZipArchiver& zip, const WorkPaths& work) {
    zip.BaseDir = work.folder;
    const int entry = FindManifestEntry(zip);
    if (entry >= 0) {
        zip.CommitCopyName = work.workingJar;
        UpdateEntry(zip, entry);
    }
    if (platform::FileExists(work.workingJar)) {
        CheckResult(platform::SetFileAttributes(work.workingJar, 0));
    }
}

// Reads the manifest entry of the working JAR: true when it holds the
// rewritten manifest. A write-back that was abandoned (after a failure
// dialog) or that found nothing to refresh must not pass for a prepared
// JAR, whose JAD would then disagree with it.
bool ManifestIsPutBack(archive::TZipArchiver& zip, const WorkPaths& work,
                       const std::string& wanted) {
    if (!platform::FileExists(work.workingJar)) {
        return false;
    }
    zip.FileName = work.workingJar;
    OpenArchive open(zip, archive::OpenModeReadOnly);
    const int entry = FindManifestEntry(zip);
    return entry >= 0 && ReadEntryBytes(zip, entry) == wanted;
}

// Extracts the icon from the staged project's JAR (only read, never made)
// into a folder of its own, then moves it into the project folder without
// overwriting anything there: an icon path that names the project's JAR or
// JAD (or a mask that selects them) must not replace them. Every entry the
// icon path selects must come out.
void ExtractIcon(archive::TZipArchiver& zip, const StagedProject& project,
                 const std::string& iconPath, const std::string& stagingFolder) {
    CheckResult(platform::ForceDirectories(stagingFolder));
    zip.FileName = project.Jar();
    {
        OpenArchive open(zip, archive::OpenModeReadOnly);
        zip.BaseDir = stagingFolder;
        zip.ExtractByMask(iconPath, kAnyAttributes, kNoExclusion);
        if (zip.ProcessedCount() < zip.SelectedCount()) {
            const std::string& why = zip.LastEntryFailure();
            throw platform::Exception(why.empty() ? "the extraction was cancelled" : why);
        }
    }
    MoveTreeWithoutOverwriting(stagingFolder, project.Folder());
}

// A JAD has no continuation lines: the manifest's are joined to their
// attribute's line. A JAD without any is left as it is. Gives the JAD's
// text, from `text`, what it holds now.
std::string JoinJadLines(const std::string& jad, const std::string& text) {
    const std::vector<std::string> lines = platform::SplitTextLines(text);
    const std::vector<std::string> joined = JoinContinuationLines(lines);
    if (joined.size() == lines.size()) {
        return text;
    }
    const std::string joinedText = platform::JoinTextLines(joined);
    platform::TextFile out;
    out.Rewrite(jad);
    out.Write(joinedText);
    out.Close();
    return joinedText;
}

// The JAD tail, after the lines carried over from the original JAD, in
// one write.
void AppendJadTail(const StagedProject& project, const std::string& projectName,
                   const std::vector<std::string>& carried) {
    std::uint64_t size = 0;
    CheckResult(platform::FindFileSize(project.Jar(), size));
    std::vector<std::string> lines = carried;
    for (std::string& line : JadTail(static_cast<std::uint32_t>(size), projectName)) {
        lines.push_back(std::move(line));
    }
    platform::TextFile jad;
    jad.Append(project.Jad());
    jad.Write(platform::JoinTextLines(lines));
    jad.Close();
}

// The working JAR made: the icon path its manifest gives, and the suite
// the listed JAR holds.
struct WorkingJar {
    std::string iconPath;
    std::string rewritten;  // the manifest as the JAR now holds it
    SuiteIdentity suite;
};

// Makes the working JAR of the listed JAR in the work folder: the manifest
// taken out, rewritten by both passes, and put back.
WorkingJar MakeWorkingJar(RunContext& run, const std::string& listed, const WorkPaths& work) {
    archive::TZipArchiver& zip = run.zip;
    zip.FileName = listed;
    zip.BaseDir = work.folder;
    WorkingJar made;
    std::string manifest;
    {
        // One open of the listed JAR, only read, serves taking the manifest
        // out and making the working JAR; the passes between work in
        // memory, and their result is written once, where the archive
        // takes the entry from.
        OpenArchive open(zip, archive::OpenModeReadOnly);
        RefuseOtherPlatforms(zip, listed, OriginalJadOf(run.options, listed));
        manifest = ReadEntryBytes(zip, ManifestEntryOf(zip));
        bool named = false;
        const std::vector<std::string> renamed =
            RunNamePass(platform::SplitTextLines(manifest), run.state, named);
        if (!named) {
            // No other JAR's name may stand in.
            throw platform::Exception("MIDlet-Name not found in the manifest");
        }
        made.rewritten = RunDescriptorPass(renamed, run.options.jadKind, run.state, made.iconPath);
        RunStep("rewrite the manifest", listed,
                [&] { WriteFileBytes(work.extractedManifest, made.rewritten); });
        RunStep("put the manifest back into the JAR", listed, [&] { PutManifestBack(zip, work); });
    }
    if (!RunStep("read the JAR back", listed,
                 [&] { return ManifestIsPutBack(zip, work, made.rewritten); })) {
        throw platform::Exception("The manifest could not be put back into the JAR");
    }
    made.suite = RunStep("read the JAR", listed,
                         [&] { return SuiteIdentityOf(manifest, run.state.cleanedName, listed); });
    return made;
}

// Builds the project in its staging folder and moves it in: the JAD and the
// JAR, the icon, the JAD tail.
void MakeProject(RunContext& run, ProjectNames& names, const ProjectClaim& claim,
                 const std::string& listed, const WorkingJar& made, const WorkPaths& work,
                 std::optional<StagingFolder>& workFolder, const std::string& tempFolder) {
    const std::string& projectName = run.state.projectName;
    const std::string projectsFolder = run.programFolder + "projects" + kDelim;
    const bool replaces = claim.kind == ClaimKind::MakeAgain;

    // A place in the projects folder that is taken, or a name a card cannot
    // hold, fails before anything is staged.
    if (!replaces) {
        CheckProjectPlace(projectsFolder, projectName);
    }
    std::optional<StagedProject> project;
    RunStep("make the project's staging folder", listed,
            [&] { project.emplace(tempFolder, projectsFolder, projectName, replaces); });
    RunStep("move the JAD and the JAR into the project", listed, [&] {
        CheckResult(platform::MoveFile(work.extractedManifest, project->Jad()));
        CheckResult(platform::MoveFile(work.workingJar, project->Jar()));
    });
    std::string jadText;
    RunStep("join the JAD's continued lines", listed,
            [&] { jadText = JoinJadLines(project->Jad(), made.rewritten); });
    if (run.options.extractIcon) {
        RunStep("extract the icon", listed,
                [&] { ExtractIcon(run.zip, *project, made.iconPath, work.iconStaging); });
    }
    // A full JAD carries the keys only the original JAD had, and names the
    // final JAR's size and place.
    run.state.originalJadKeys = 0;
    if (run.options.jadKind == JadKind::Full) {
        RunStep("write the JAD tail", listed, [&] {
            const std::vector<std::string> carried =
                OriginalJadLines(OriginalJadOf(run.options, listed), jadText);
            run.state.originalJadKeys = static_cast<int>(carried.size());
            AppendJadTail(*project, projectName, carried);
        });
    }
    RunStep("clear the temp folder", listed, [&] { workFolder->Remove(); });
    RunStep("move the project into the projects folder", listed,
            [&] { names.MoveIn(claim, made.suite, *project); });
}

}  // namespace

bool PrepareJar(RunContext& run, ProjectNames& names, const std::string& listed,
                const std::string& workingJar) {
    const std::string tempFolder = platform::ExtractFilePath(workingJar);
    std::optional<StagingFolder> workFolder;
    RunStep("make a staging folder", listed, [&] { workFolder.emplace(tempFolder); });
    const WorkPaths work(workFolder->Path(), platform::ExtractFileName(workingJar));

    const WorkingJar made = MakeWorkingJar(run, listed, work);
    const ProjectClaim claim =
        RunStep("find the project's name", listed, [&] { return names.Claim(made.suite); });
    run.state.projectName = claim.name;
    const std::string& projectName = run.state.projectName;

    // This suite's project made before is left as it is; this JAR's working
    // JAR stays in the temp folder, where later runs find it and skip the
    // JAR (a forced run, which does not skip, replaces the one kept there).
    if (claim.kind == ClaimKind::AlreadyGenerated) {
        RunStep("keep the working JAR in the temp folder", listed, [&] {
            if (run.force) {
                DiscardFile(workingJar);
            }
            CheckResult(platform::MoveFile(work.workingJar, workingJar));
            workFolder->Remove();
        });
        run.output.AppendJarLog(listed, projectName + ".jad" + " is already generated!");
        return false;
    }

    try {
        MakeProject(run, names, claim, listed, made, work, workFolder, tempFolder);
    } catch (const std::exception&) {
        names.Release(claim);
        throw;
    }
    run.output.AppendJarLog(listed, projectName + ".jad" + " generated!");
    ++run.state.jadCount;
    return true;
}

}  // namespace midlet
