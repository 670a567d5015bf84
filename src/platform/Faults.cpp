// The fault-injection seam: per service, a countdown to the call that fails.
#include "platform/Faults.h"

#ifdef QUELLOR_FAULTS

#include <unistd.h>

#include <array>
#include <mutex>

namespace platform {

namespace {

struct Fault {
    int nth = 0;  // 0: disarmed
    DWORD code = ERROR_SUCCESS;
    int calls = 0;
};

struct Sweep {
    int nth = 0;  // 0: disarmed
    SweepAction action = SweepAction::Fail;
    int calls = 0;
};

struct FaultTable {
    std::mutex mutex;
    std::array<Fault, static_cast<std::size_t>(FaultPoint::Count)> faults{};
    Sweep sweep;
};

FaultTable& Table() {
    static FaultTable table;
    return table;
}

Fault& At(FaultTable& table, FaultPoint point) {
    return table.faults[static_cast<std::size_t>(point)];
}

// Every service point but the folder scan changes what is on disk (an open
// may create or empty a file).
bool Modifies(FaultPoint point) {
    return point != FaultPoint::FolderScan;
}

DWORD SweepCode(FaultPoint point) {
    return point == FaultPoint::Flush ? ERROR_IO_DEVICE : ERROR_DISK_FULL;
}

// Counts a modifying call for the sweep; true when the call must fail. A
// stop ends the process here, before the call is made.
bool SweepFires(Sweep& sweep, FaultPoint point) {
    ++sweep.calls;
    if (sweep.nth == 0 || sweep.calls != sweep.nth) {
        return false;
    }
    if (sweep.action == SweepAction::Stop) {
        _exit(kSweepStopStatus);
    }
    sweep.nth = 0;
    SetLastError(SweepCode(point));
    return true;
}

}  // namespace

void ArmFault(FaultPoint point, int nth, DWORD code) {
    FaultTable& table = Table();
    std::lock_guard lock(table.mutex);
    At(table, point) = Fault{nth, code, 0};
}

void DisarmAllFaults() {
    FaultTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.faults.fill(Fault{});
    table.sweep = Sweep{};
}

void ArmSweep(int nth, SweepAction action) {
    FaultTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.sweep = Sweep{nth, action, 0};
}

int SweepCalls() {
    FaultTable& table = Table();
    std::lock_guard lock(table.mutex);
    return table.sweep.calls;
}

int FaultCalls(FaultPoint point) {
    FaultTable& table = Table();
    std::lock_guard lock(table.mutex);
    return At(table, point).calls;
}

bool FaultFires(FaultPoint point) {
    FaultTable& table = Table();
    std::lock_guard lock(table.mutex);
    if (Modifies(point) && SweepFires(table.sweep, point)) {
        return true;
    }
    Fault& fault = At(table, point);
    ++fault.calls;
    if (fault.nth == 0 || fault.calls != fault.nth) {
        return false;
    }
    fault.nth = 0;
    SetLastError(fault.code);
    return true;
}

}  // namespace platform

#endif  // QUELLOR_FAULTS
