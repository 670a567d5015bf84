// The batch run over the JAR list: each JAR is prepared into its project,
// and given its IDS file.
#include "midlet/Batch.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/ZipArchiver.h"
#include "midlet/JarFinisher.h"
#include "midlet/JarPreparation.h"
#include "midlet/JarSchedule.h"
#include "midlet/ProjectCommit.h"
#include "midlet/Staging.h"
#include "midlet/StepFailure.h"
#include "midlet/WorkspaceLock.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace midlet {

namespace {

// The folders of the workspace, made when missing (a first run on a fresh
// install finds neither).
void MakeWorkspaceFolder(const std::string& folder) {
    if (!platform::ForceDirectories(folder)) {
        throw platform::Exception("Could not make the folder \"" + folder +
                                  "\": " + ReasonForCode(platform::GetLastError()));
    }
}

// What runs that ended left in staging goes before this run stages anything.
void RemoveWhatEndedRunsLeft(const std::string& tempFolder) {
    try {
        RemoveStaleStaging(tempFolder);
    } catch (const std::exception& e) {
        throw platform::Exception("Could not remove what an earlier run left in \"" + tempFolder +
                                  "\": " + ReasonOf(e));
    }
}

// The archive component of a worker, set as the run's own is.
void ConfigureLike(archive::TZipArchiver& zip, const archive::TZipArchiver& model) {
    zip.ExtractCorruptedFiles = model.ExtractCorruptedFiles;
    zip.SetCompressionLevel(model.CompressionLevel());
    zip.SetCompressionMode(model.CompressionMode());
    zip.Password = model.Password;
    zip.TempDir = model.TempDir;
    zip.SpanningMode = model.SpanningMode;
    zip.SpanningOptions = model.SpanningOptions;
    zip.Options = model.Options;
    zip.InMemory = model.InMemory;
    zip.RepairOnOpen = model.RepairOnOpen;
    zip.Zip64Mode = model.Zip64Mode;
}

// While workers prepare JARs, a question the archive engine asks on one of
// them is asked of the installed dialogs one at a time, and never while the
// calling thread tells a JAR on the run's output.
class OneQuestionAtATime : public platform::IDialogs {
  public:
    OneQuestionAtATime() : asked_(platform::Dialogs()) { platform::SetDialogs(this); }
    ~OneQuestionAtATime() override { platform::SetDialogs(&asked_); }
    OneQuestionAtATime(const OneQuestionAtATime&) = delete;
    OneQuestionAtATime& operator=(const OneQuestionAtATime&) = delete;

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
        const std::lock_guard lock(mutex_);
        return asked_.MessageBox(text, caption, flags);
    }
    int MessageDlg(const std::string& text, platform::MsgDlgType kind,
                   platform::MsgDlgButtons buttons, platform::MsgDlgBtn defaultButton) override {
        const std::lock_guard lock(mutex_);
        return asked_.MessageDlg(text, kind, buttons, defaultButton);
    }
    bool ShellOpen(const std::string& path) override {
        const std::lock_guard lock(mutex_);
        return asked_.ShellOpen(path);
    }
    // Held while a JAR is told.
    std::recursive_mutex& OutputMutex() { return mutex_; }

  private:
    platform::IDialogs& asked_;
    std::recursive_mutex mutex_;
};

// One JAR through every step, on the calling thread.
void PrepareInTurn(RunContext& run, std::size_t index, const std::string& tempFolder,
                   WorkFolder& workFolder, ProjectCommitter& committer, ProjectNames& names,
                   BatchTally& tally) {
    JarPreparation jar(run, index, tempFolder, workFolder);
    jar.CheckSkipped();
    jar.MakeWorkingJar(run.zip);
    jar.ChooseProject(names);
    jar.StageProject(run.zip);
    jar.Finish(committer, names);
    jar.Tell(run, tally);
}

// One worker's share of a run: the next JAR not taken yet, through every
// step, waiting where the schedule says, until the list or the run ends.
void PrepareOnWorker(const RunContext& run, const std::string& tempFolder,
                     std::atomic<std::size_t>& next, JarSchedule& schedule,
                     ProjectCommitter& committer, ProjectNames& names, JarFinisher& finisher) {
    try {
        archive::TZipArchiver zip("Zip");
        ConfigureLike(zip, run.zip);
        const std::size_t count = run.options.list.size();
        WorkFolder workFolder(tempFolder);
        for (std::size_t index = next++; index < count && !schedule.Stopped(); index = next++) {
            auto jar = std::make_unique<JarPreparation>(run, index, tempFolder, workFolder);
            bool going = schedule.WaitForWorkingJar(index);
            if (going) {
                jar->CheckSkipped();
                jar->MakeWorkingJar(zip);
                going = schedule.WaitToDecide(index, jar->ProjectName());
            }
            if (going) {
                jar->ChooseProject(names);
                schedule.Decided(index, jar->ProjectName());
                jar->StageProject(zip);
                going = schedule.WaitToFinish(index);
            }
            if (going && jar->CommitsLater()) {
                finisher.Hand(index, std::move(jar));
                continue;
            }
            if (going) {
                jar->Finish(committer, names);
            } else {
                jar->Drop();  // what it staged goes now
                jar.reset();
            }
            schedule.Finished(index, std::move(jar));
        }
    } catch (...) {
        schedule.Broken(std::current_exception());
    }
}

// The workers of a run; when the run ends, for whatever reason, they stop
// taking JARs and are waited for, and what they staged is gone.
class Workers {
  public:
    explicit Workers(JarSchedule& schedule) : schedule_(schedule) {}
    ~Workers() {
        schedule_.Stop();
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;
    template <typename Work>
    void Start(unsigned count, Work work) {
        for (unsigned i = 0; i < count; ++i) {
            threads_.emplace_back(work);
        }
    }

  private:
    JarSchedule& schedule_;
    std::vector<std::thread> threads_;
};

// Several JARs at once, told in listed order on the calling thread.
void PrepareAtOnce(RunContext& run, const std::string& tempFolder, ProjectCommitter& committer,
                   ProjectNames& names, BatchTally& tally) {
    const std::size_t count = run.options.list.size();
    std::vector<std::string> workingJarKeys;
    for (const std::string& listed : run.options.list) {
        workingJarKeys.push_back(FoldedName(platform::ExtractFileName(listed)));
    }
    // A run that ends at its first failure, or whose telling may end it,
    // keeps nothing of a JAR before the JARs listed before it are told.
    const bool gated = !run.onJarFailure || static_cast<bool>(run.onJarPrepared);
    JarSchedule schedule(std::move(workingJarKeys), gated);
    OneQuestionAtATime dialogs;
    std::atomic<std::size_t> next{0};
    const unsigned jobs = static_cast<unsigned>(std::min<std::size_t>(run.jobs, count));
    // Ends after the workers, which hand it JARs.
    JarFinisher finisher(schedule, committer, names);
    Workers workers(schedule);
    workers.Start(jobs, [&] {
        PrepareOnWorker(run, tempFolder, next, schedule, committer, names, finisher);
    });
    for (std::size_t index = 0; index < count; ++index) {
        const std::unique_ptr<JarPreparation> jar = schedule.WaitFinished(index);
        {
            const std::lock_guard lock(dialogs.OutputMutex());
            jar->Tell(run, tally);
        }
        schedule.Told(index);
    }
}

}  // namespace

BatchTally RunBatch(RunContext& run) {
    const std::string tempFolder = run.programFolder + "temp" + platform::PathDelim;
    const std::string projectsFolder = run.programFolder + "projects" + platform::PathDelim;
    BatchTally tally;

    // Show the log; lines of earlier runs stay.
    run.output.ShowLog();
    MakeWorkspaceFolder(tempFolder);
    MakeWorkspaceFolder(projectsFolder);
    const WorkspaceLock lock(run.programFolder, tempFolder);
    RemoveWhatEndedRunsLeft(tempFolder);

    // The run covers the entries listed now, in list order.
    ProjectCommitter committer(projectsFolder);
    ProjectNames names(run.programFolder, run.force);
    if ((run.jobs > 1 || run.onWorkers) && run.options.list.size() > 1) {
        PrepareAtOnce(run, tempFolder, committer, names, tally);
        return tally;
    }
    WorkFolder workFolder(tempFolder);
    for (std::size_t i = 0; i < run.options.list.size(); ++i) {
        PrepareInTurn(run, i, tempFolder, workFolder, committer, names, tally);
    }
    return tally;
}

}  // namespace midlet
