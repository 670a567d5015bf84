#include "midlet/JarSchedule.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "midlet/JarPreparation.h"
#include "midlet/ManifestText.h"
#include "midlet/ProjectNames.h"

namespace midlet {

namespace {

// Whether a JAR whose project name is `projectName` (`folded` folded) may
// come to the name `claimKey` (folded): its own name, or the numbered name
// whose number is a tail of the digits `claimKey` ends with.
bool MayComeTo(const std::string& projectName, const std::string& folded,
               const std::string& claimKey) {
    if (folded == claimKey) {
        return true;
    }
    std::size_t digits = 0;
    while (digits < claimKey.size() &&
           std::isdigit(static_cast<unsigned char>(claimKey[claimKey.size() - 1 - digits]))) {
        ++digits;
    }
    for (std::size_t length = 1; length <= std::min(digits, kProjectNameLength); ++length) {
        const std::string number = claimKey.substr(claimKey.size() - length);
        if (number.front() == '0') {
            continue;
        }
        const std::string candidate = CandidateName(projectName, std::stoul(number));
        if (!candidate.empty() && FoldedName(candidate) == claimKey) {
            return true;
        }
    }
    return false;
}

}  // namespace

JarSchedule::JarSchedule(std::vector<std::string> workingJarKeys, bool gated)
    : sameWorkingJar_(EarlierWithSameKey(workingJarKeys)),
      gated_(gated),
      finished_(workingJarKeys.size(), false),
      done_(workingJarKeys.size()) {}

JarSchedule::~JarSchedule() = default;

std::vector<std::size_t> JarSchedule::EarlierWithSameKey(const std::vector<std::string>& keys) {
    std::vector<std::size_t> earlier(keys.size(), kNone);
    std::map<std::string, std::size_t> last;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const auto [at, first] = last.try_emplace(keys[i], i);
        if (!first) {
            earlier[i] = at->second;
            at->second = i;
        }
    }
    return earlier;
}

// A JAR waited for has itself waited for the one before it with the same
// key, so the last one finished means all of them did.
bool JarSchedule::WaitForWorkingJar(std::size_t index) {
    std::unique_lock lock(mutex_);
    const std::size_t earlier = sameWorkingJar_[index];
    changed_.wait(lock, [&] { return stopped_ || earlier == kNone || FinishedAt(earlier); });
    return !stopped_;
}

bool JarSchedule::WaitToDecide(std::size_t index, const std::string& projectName) {
    const std::string folded = projectName.empty() ? std::string() : FoldedName(projectName);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] {
        return stopped_ || (decided_ == index && !ClaimUnderWayFor(projectName, folded));
    });
    return !stopped_;
}

bool JarSchedule::ClaimUnderWayFor(const std::string& projectName,
                                   const std::string& folded) const {
    return !projectName.empty() &&
           std::any_of(claimsUnderWay_.begin(), claimsUnderWay_.end(), [&](const auto& claim) {
               return MayComeTo(projectName, folded, claim.first);
           });
}

void JarSchedule::Decided(std::size_t index, const std::string& claim) {
    const std::lock_guard lock(mutex_);
    decided_ = index + 1;
    if (!claim.empty()) {
        claimsUnderWay_.emplace_back(FoldedName(claim), index);
    }
    changed_.notify_all();
}

bool JarSchedule::WaitToFinish(std::size_t index) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || !gated_ || told_ == index; });
    return !stopped_;
}

void JarSchedule::Finished(std::size_t index, std::unique_ptr<JarPreparation> jar) {
    const std::lock_guard lock(mutex_);
    finished_[index] = true;
    done_[index] = std::move(jar);
    std::erase_if(claimsUnderWay_, [&](const auto& claim) { return claim.second == index; });
    changed_.notify_all();
}

void JarSchedule::Broken(std::exception_ptr failure) {
    const std::lock_guard lock(mutex_);
    if (!broken_) {
        broken_ = std::move(failure);
    }
    stopped_ = true;
    changed_.notify_all();
}

std::unique_ptr<JarPreparation> JarSchedule::WaitFinished(std::size_t index) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return broken_ || FinishedAt(index); });
    if (broken_) {
        std::rethrow_exception(broken_);
    }
    return std::move(done_[index]);
}

void JarSchedule::Told(std::size_t index) {
    const std::lock_guard lock(mutex_);
    told_ = index + 1;
    changed_.notify_all();
}

void JarSchedule::Stop() {
    const std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
}

bool JarSchedule::Stopped() {
    const std::lock_guard lock(mutex_);
    return stopped_;
}

}  // namespace midlet
