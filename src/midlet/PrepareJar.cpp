// The per-JAR preparation: the manifest taken out of the listed JAR, the
// two text passes over it, the working JAR made with the manifest put back,
// the project with the JAD, the JAR, the icon and the JAD tail made in a
// staging folder and moved into the projects folder whole.
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "archive/ZipArchiver.h"
#include "midlet/IdsWriter.h"
#include "midlet/JarPreparation.h"
#include "midlet/ManifestEntry.h"
#include "midlet/ManifestText.h"
#include "midlet/PlainMessages.h"
#include "midlet/ProjectCommit.h"
#include "midlet/StagedProject.h"
#include "midlet/Staging.h"
#include "midlet/StepFailure.h"
#include "midlet/WorkspaceFiles.h"
#include "midlet/suite/SuitePreparation.h"
#include "platform/CodePage.h"
#include "platform/Durable.h"
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

using WorkPaths = JarPreparation::WorkPaths;

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

// What the archive component writes into a staging folder needs no flush
// of its own: the project is made durable as a whole before it is moved in,
// and what is never moved in need not survive. The component's own setting
// comes back when the bracket ends.
class WithoutFlushes {
  public:
    explicit WithoutFlushes(archive::TZipArchiver& zip)
        : zip_(zip), flushed_(zip.Options.FlushBuffers) {
        zip_.Options.FlushBuffers = false;
    }
    ~WithoutFlushes() { zip_.Options.FlushBuffers = flushed_; }
    WithoutFlushes(const WithoutFlushes&) = delete;
    WithoutFlushes& operator=(const WithoutFlushes&) = delete;

  private:
    archive::TZipArchiver& zip_;
    bool flushed_;
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
        const WithoutFlushes unflushed(zip);
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

// The archive component replaces no file while it is in place: what is
// there stays, and the entry is passed over. Its own setting comes back
// when the bracket ends.
class WithoutOverwriting {
  public:
    explicit WithoutOverwriting(archive::TZipArchiver& zip)
        : zip_(zip), mode_(zip.Options.OverwriteMode) {
        zip_.Options.OverwriteMode = archive::omNever;
    }
    ~WithoutOverwriting() { zip_.Options.OverwriteMode = mode_; }
    WithoutOverwriting(const WithoutOverwriting&) = delete;
    WithoutOverwriting& operator=(const WithoutOverwriting&) = delete;

  private:
    archive::TZipArchiver& zip_;
    archive::TZipOverwriteMode mode_;
};

// Extracts the icon from the staged project's JAR (only read, never made)
// into the project folder without overwriting anything there: an icon path
// that names the project's JAR or JAD (or a mask that selects them) must
// not replace them. Every entry the icon path selects must come out.
void ExtractIcon(archive::TZipArchiver& zip, const StagedProject& project,
                 const std::string& iconPath) {
    zip.FileName = project.Jar();
    OpenArchive open(zip, archive::OpenModeReadOnly);
    zip.BaseDir = project.Folder();
    const WithoutFlushes unflushed(zip);
    const WithoutOverwriting keeping(zip);
    zip.ExtractByMask(iconPath, kAnyAttributes, kNoExclusion);
    if (zip.ProcessedCount() < zip.SelectedCount()) {
        const std::string& why = zip.LastEntryFailure();
        throw platform::Exception(why.empty() ? "the extraction was cancelled" : why);
    }
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
    out.Overwrite(jad);  // the joined text is shorter: nothing is freed
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

// Makes the working JAR of the listed JAR in the work folder: the manifest
// taken out, rewritten by both passes in memory, written once where the
// archive takes the entry from, and put back. Tells which suite it is.
JarPreparation::WorkingJar BuildWorkingJar(archive::TZipArchiver& zip, const RunOptions& options,
                                           ProgramState& state, bool& named,
                                           const std::string& listed, const WorkPaths& work) {
    zip.FileName = listed;
    zip.BaseDir = work.folder;
    JarPreparation::WorkingJar made;
    std::string manifest;
    {
        // One open of the listed JAR, only read, serves taking the manifest
        // out and making the working JAR.
        OpenArchive open(zip, archive::OpenModeReadOnly);
        RefuseOtherPlatforms(zip, listed, OriginalJadOf(options, listed));
        manifest = ReadEntryBytes(zip, ManifestEntryOf(zip));
        named = true;
        bool hasName = false;
        const std::vector<std::string> renamed =
            RunNamePass(platform::SplitTextLines(manifest), state, hasName);
        if (!hasName) {
            // No other JAR's name may stand in.
            throw platform::Exception("MIDlet-Name not found in the manifest");
        }
        made.rewritten = RunDescriptorPass(renamed, options.jadKind, state, made.iconPath);
        RunStep("rewrite the manifest", listed,
                [&] { WriteFileBytes(work.extractedManifest, made.rewritten); });
        RunStep("put the manifest back into the JAR", listed, [&] { PutManifestBack(zip, work); });
    }
    if (!RunStep("read the JAR back", listed,
                 [&] { return ManifestIsPutBack(zip, work, made.rewritten); })) {
        throw platform::Exception("The manifest could not be put back into the JAR");
    }
    made.suite = RunStep("read the JAR", listed,
                         [&] { return SuiteIdentityOf(manifest, state.cleanedName, listed); });
    return made;
}

// A listed file that has gone is told by its name.
void CheckListedFileExists(const std::string& listed) {
    if (!platform::FileExists(listed)) {
        throw platform::Exception("File not found: \"" + listed + "\"");
    }
}

}  // namespace

std::string FoldedName(const std::string& name) {
    return platform::AnsiUpperCase(platform::StripTrailingSpacesAndDots(name));
}

JarPreparation::WorkPaths::WorkPaths(const std::string& workFolder, const std::string& jarName)
    : folder(workFolder),
      workingJar(folder + jarName),
      extractedManifest(folder + "META-INF" + kDelim + "MANIFEST.MF") {}

JarPreparation::JarPreparation(const RunContext& run, std::size_t index,
                               const std::string& tempFolder, WorkFolder& workFolder)
    : run_(run),
      tempFolder_(tempFolder),
      projectsFolder_(run.programFolder + "projects" + kDelim),
      workFolder_(workFolder) {
    record_.index = index;
    record_.listed = run.options.list[index];
    workingJar_ = tempFolder + platform::ExtractFileName(record_.listed);
}

JarPreparation::~JarPreparation() = default;

// Runs a step of a JAR that has not failed nor been skipped; what it raises
// is the JAR's failure, or (not an exception of the program's) the run's end.
template <typename Work>
void JarPreparation::Attempt(Work&& work) {
    if (failure_ || ending_ || choice_ == Choice::Skip || choice_ == Choice::Failed) {
        return;
    }
    try {
        work();
    } catch (const std::exception&) {
        failure_ = std::current_exception();
    } catch (...) {
        ending_ = std::current_exception();
    }
}

void JarPreparation::CheckSkipped() {
    // A working JAR kept by an earlier run is never overwritten; a forced
    // run prepares its JAR all the same.
    if (!run_.force && platform::FileExists(workingJar_)) {
        Say(workingJar_ + " already exists!");
        choice_ = Choice::Skip;
    }
}

void JarPreparation::MakeWorkingJar(archive::TZipArchiver& zip) {
    Attempt([&] {
        const std::string& listed = record_.listed;
        listedFolder_.emplace(platform::ExtractFilePath(listed));
        CheckListedFileExists(listed);
        RunStep("make a staging folder", listed,
                [&] { work_.emplace(workFolder_.Path(), platform::ExtractFileName(workingJar_)); });
        working_ = BuildWorkingJar(zip, run_.options, state_, named_, listed, *work_);
        state_.projectName = ProjectNameOf(state_.cleanedName);
        projectNamed_ = true;
    });
}

std::string JarPreparation::ProjectName() const {
    const bool candidate = !failure_ && !ending_ && projectNamed_ &&
                           (choice_ == Choice::Undecided || choice_ == Choice::Make ||
                            choice_ == Choice::AlreadyGenerated);
    return candidate ? state_.projectName : std::string();
}

void JarPreparation::ChooseProject(ProjectNames& names) {
    if (choice_ != Choice::Undecided) {
        return;
    }
    if (failure_ || ending_) {
        choice_ = Choice::Failed;
        return;
    }
    Attempt([&] {
        claim_ = RunStep("find the project's name", record_.listed,
                         [&] { return names.Claim(working_.suite); });
        claimed_ = true;
        state_.projectName = claim_.name;
    });
    if (failure_ || ending_) {
        choice_ = Choice::Failed;
        return;
    }
    choice_ = claim_.kind == ClaimKind::AlreadyGenerated ? Choice::AlreadyGenerated : Choice::Make;
}

void JarPreparation::StageProject(archive::TZipArchiver& zip) {
    if (choice_ != Choice::Make) {
        return;
    }
    Attempt([&] {
        const std::string& listed = record_.listed;
        const std::string& projectName = state_.projectName;
        // A place in the projects folder that is taken, or a name a card
        // cannot hold, fails before anything is staged; a project made
        // again takes the place of this suite's.
        const bool replaces = claim_.kind == ClaimKind::MakeAgain;
        if (!replaces) {
            CheckProjectPlace(projectsFolder_, projectName);
        }
        RunStep("make the project's staging folder", listed,
                [&] { project_.emplace(tempFolder_, projectsFolder_, projectName, replaces); });
        RunStep("move the JAD and the JAR into the project", listed, [&] {
            CheckResult(platform::MoveFile(work_->extractedManifest, project_->Jad()));
            CheckResult(platform::MoveFile(work_->workingJar, project_->Jar()));
            workMovedOut_ = true;
        });
        std::string jadText;
        RunStep("join the JAD's continued lines", listed,
                [&] { jadText = JoinJadLines(project_->Jad(), working_.rewritten); });
        if (run_.options.extractIcon) {
            RunStep("extract the icon", listed,
                    [&] { ExtractIcon(zip, *project_, working_.iconPath); });
        }
        // A full JAD carries the keys only the original JAD had, and names
        // the final JAR's size and place.
        jadKeysSet_ = true;
        state_.originalJadKeys = 0;
        if (run_.options.jadKind == JadKind::Full) {
            RunStep("write the JAD tail", listed, [&] {
                const std::vector<std::string> carried =
                    OriginalJadLines(OriginalJadOf(run_.options, listed), jadText);
                state_.originalJadKeys = static_cast<int>(carried.size());
                AppendJadTail(*project_, projectName, carried);
            });
        }
        // The IDS file goes in with the project; a failure to write it is
        // the IDS file's alone, told once the project is in.
        if (run_.options.writeIds) {
            project_->StageIds(IdsLines(run_.options, state_));
        }
    });
    listedFolder_.reset();
}

void JarPreparation::Finish(ProjectCommitter& committer, ProjectNames& names) {
    if (choice_ == Choice::Make) {
        std::exception_ptr failure;
        if (StagedProject* project = ProjectToCommit(names)) {
            try {
                committer.Commit(*project);
            } catch (...) {
                failure = std::current_exception();
            }
        }
        Committed(failure, names);
        return;
    }
    if (choice_ == Choice::AlreadyGenerated) {
        Attempt([&] { KeepWorkingJar(); });
    }
    CleanUp(names);
}

bool JarPreparation::CommitsLater() const {
    return choice_ == Choice::Make && !failure_ && !ending_ && workMovedOut_;
}

StagedProject* JarPreparation::ProjectToCommit(ProjectNames& names) {
    if (choice_ != Choice::Make) {
        return nullptr;
    }
    bool recorded = false;
    Attempt([&] {
        // The record of which suite made the project goes to the disk with
        // the project, before it is moved in.
        RunStep("move the project into the projects folder", record_.listed,
                [&] { names.RecordClaim(claim_, working_.suite); });
        recorded = true;
    });
    return recorded ? &*project_ : nullptr;
}

void JarPreparation::Committed(const std::exception_ptr& failure, ProjectNames& names) {
    Attempt([&] { TellCommitted(failure); });
    CleanUp(names);
}

// A failed JAR leaves no working JAR behind, so the next run tries it
// again, and the name it claimed for a project it did not make is free
// again. Never raises: the failure itself is what the user must see, and a
// staging place left behind goes with the next run.
void JarPreparation::CleanUp(ProjectNames& names) {
    if (failure_ && keptWorkingJar_) {
        try {
            DiscardFile(workingJar_);
        } catch (const std::exception&) {
        }
    }
    if ((failure_ || ending_) && claimed_ && !movedIn_ && choice_ == Choice::Make) {
        names.Release(claim_);
    }
    Drop();
}

void JarPreparation::Drop() {
    listedFolder_.reset();
    project_.reset();
    // A JAR that left nothing in the work folder (moved all it made out,
    // or never came to it) leaves the folder to the next one.
    if (work_ && !workMovedOut_) {
        workFolder_.Discard();
    }
}

void JarPreparation::TellCommitted(const std::exception_ptr& failure) {
    const std::string& listed = record_.listed;
    const std::string& projectName = state_.projectName;
    RunStep("move the project into the projects folder", listed, [&] {
        if (failure) {
            std::rethrow_exception(failure);
        }
        movedIn_ = true;
    });
    Say(projectName + ".jad" + " generated!");
    ++state_.jadCount;
    made_ = true;
    record_.projectName = projectName;
    record_.originalJadKeys = state_.originalJadKeys;
    Progress(2);
    if (run_.options.writeIds) {
        TellIds(project_->IdsFailure());
    }
    if (run_.inspectProject) {
        run_.inspectProject(record_);
    }
}

// A project made before is left as it is; this JAR's working JAR stays in
// the temp folder, where later runs find it and skip the JAR.
void JarPreparation::KeepWorkingJar() {
    const std::string& listed = record_.listed;
    const std::string& projectName = state_.projectName;
    RunStep("keep the working JAR in the temp folder", listed, [&] {
        // A forced run replaces the working JAR an earlier run kept.
        if (run_.force) {
            DiscardFile(workingJar_);
        }
        CheckResult(platform::FlushFile(work_->workingJar));
        CheckResult(platform::MoveFile(work_->workingJar, workingJar_));
        keptWorkingJar_ = true;
    });
    Say(projectName + ".jad" + " is already generated!");
    record_.projectName = projectName;
    Progress(2);
    if (run_.options.writeIds) {
        std::string failure;
        try {
            ReplaceTextFile(IdsFilePath(run_.programFolder, projectName),
                            IdsLines(run_.options, state_), tempFolder_);
        } catch (const std::exception& e) {
            failure = ReasonOf(e);
        }
        TellIds(failure);
    }
}

// Only a file written whole is told and counted; a failure is the JAR's.
void JarPreparation::TellIds(const std::string& failure) {
    const std::string& projectName = state_.projectName;
    if (failure.empty()) {
        Say(IdsGeneratedLine(projectName));
        ++state_.idsCount;
        return;
    }
    events_.push_back({Event::Kind::IdsFailureBox, {}, 0});
    Say(IdsFailedLine(projectName));
    throw StepFailure("write the IDS file " + projectName + ".ids", record_.listed, failure);
}

void JarPreparation::Tell(RunContext& run, BatchTally& tally) {
    ProgramState& state = run.state;
    if (named_) {
        state.cleanedName = state_.cleanedName;
    }
    if (projectNamed_) {
        state.projectName = state_.projectName;
    }
    if (jadKeysSet_) {
        state.originalJadKeys = state_.originalJadKeys;
    }
    state.jadCount += state_.jadCount;
    state.idsCount += state_.idsCount;
    for (const Event& event : events_) {
        switch (event.kind) {
            case Event::Kind::Line:
                run.output.AppendJarLog(record_.listed, event.line);
                break;
            case Event::Kind::Progress:
                run.output.AdvanceProgress(event.steps);
                break;
            case Event::Kind::IdsFailureBox:
                ShowIdsFailure();
                break;
        }
    }
    if (ending_) {
        std::rethrow_exception(ending_);
    }
    TellOutcome(run, tally);
}

void JarPreparation::TellOutcome(RunContext& run, BatchTally& tally) {
    if (choice_ == Choice::Skip) {
        ++tally.skipped;
        record_.outcome = JarOutcome::Skipped;
    } else if (failure_) {
        ++tally.failed;
        record_.outcome = JarOutcome::Failed;
        record_.failure = failure_;
        std::string message;
        try {
            std::rethrow_exception(failure_);
        } catch (const std::exception& e) {
            message = e.what();
        }
        const JarFailure failure(record_.listed, message, failure_);
        if (!run.onJarFailure) {
            throw failure;
        }
        run.onJarFailure(failure);
    } else {
        ++tally.prepared;
        run.output.AdvanceProgress(1);
        record_.outcome = made_ ? JarOutcome::Prepared : JarOutcome::AlreadyGenerated;
        if (made_ && run.onJarPrepared) {
            run.onJarPrepared(record_.listed, run.state.projectName);
        }
    }
    if (run.onJarDone) {
        run.onJarDone(record_);
    }
}

}  // namespace midlet
