// Counts of the path look-ups made on disk, for tests that hold them to
// what a call must cost.
#include <atomic>

#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace platform {

namespace {

std::atomic<std::uint64_t> components{0};
std::atomic<std::uint64_t> folderReads{0};
std::atomic<std::uint64_t> namesRead{0};
std::atomic<std::uint64_t> folderStamps{0};

}  // namespace

void CountComponentLookup() {
    components.fetch_add(1, std::memory_order_relaxed);
}

void CountFolderRead() {
    folderReads.fetch_add(1, std::memory_order_relaxed);
}

void CountNameRead() {
    namesRead.fetch_add(1, std::memory_order_relaxed);
}

void CountFolderStamp() {
    folderStamps.fetch_add(1, std::memory_order_relaxed);
}

PathLookupCounts CountedPathLookups() {
    return {components.load(std::memory_order_relaxed), folderReads.load(std::memory_order_relaxed),
            namesRead.load(std::memory_order_relaxed),
            folderStamps.load(std::memory_order_relaxed)};
}

}  // namespace platform
