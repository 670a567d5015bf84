// The order a run keeps while it prepares several JARs at once, so that it
// comes to what a run taking them one by one comes to. JARs that cannot meet
// go their own ways; a JAR waits only for those listed before it that may
// change what it finds: the same working JAR in the temp folder, a project
// name it may come to. Decisions are made in listed order, and JARs are
// told in listed order on the calling thread. A run that ends at its first
// failure keeps nothing of a JAR until every JAR before it is told.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace midlet {

class JarPreparation;

class JarSchedule {
  public:
    // `workingJarKeys`: each listed JAR's working JAR name, folded.
    // `gated`: the run ends at its first failure (or a JAR's telling may
    // end it), so a JAR keeps nothing before those listed before it are
    // told.
    JarSchedule(std::vector<std::string> workingJarKeys, bool gated);
    ~JarSchedule();

    // The waits of the workers, each for the JAR at `index`. False when the
    // run has stopped: the JAR is then dropped with what it staged.
    // Until the last JAR listed before with the same working JAR finished.
    bool WaitForWorkingJar(std::size_t index);
    // Until every JAR before is decided and none of them is unfinished
    // whose project has a name the JAR's project (`projectName`, empty for
    // none) may come to: its own, or one of its numbered names. An earlier
    // JAR may still fail and free the name it claimed.
    bool WaitToDecide(std::size_t index, const std::string& projectName);
    // The JAR is decided; `claim` is the project it makes or finds (empty
    // for none), which later JARs that may come to its name wait for.
    void Decided(std::size_t index, const std::string& claim);
    // Until what the JAR leaves may stay.
    bool WaitToFinish(std::size_t index);
    // The JAR is done with the disk; the caller tells it.
    void Finished(std::size_t index, std::unique_ptr<JarPreparation> jar);
    // A worker met what no JAR's steps expect: the run ends with it.
    void Broken(std::exception_ptr failure);

    // The caller's side: the JAR at `index` once finished (raises what broke
    // a worker), and the end of its telling.
    std::unique_ptr<JarPreparation> WaitFinished(std::size_t index);
    void Told(std::size_t index);
    // Ends the run: every wait gives false from now on.
    void Stop();
    bool Stopped();
    bool Gated() const { return gated_; }

  private:
    // The last JAR listed before `index` with the same key, if any.
    static std::vector<std::size_t> EarlierWithSameKey(const std::vector<std::string>& keys);
    bool FinishedAt(std::size_t index) const { return finished_[index]; }
    bool ClaimUnderWayFor(const std::string& projectName, const std::string& folded) const;

    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::size_t> sameWorkingJar_;
    bool gated_;
    bool stopped_ = false;
    std::exception_ptr broken_;
    std::size_t decided_ = 0;
    std::size_t told_ = 0;
    std::vector<bool> finished_;
    std::vector<std::unique_ptr<JarPreparation>> done_;
    // The names claimed by JARs decided but not finished, folded, with
    // their JARs.
    std::vector<std::pair<std::string, std::size_t>> claimsUnderWay_;
};

}  // namespace midlet
