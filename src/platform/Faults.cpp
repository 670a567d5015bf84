// The fault-injection seam: per service, a countdown to the call that fails.
#include "platform/Faults.h"

#ifdef QUELLOR_FAULTS

#include <array>
#include <mutex>

namespace platform {

namespace {

struct Fault {
    int nth = 0;  // 0: disarmed
    DWORD code = ERROR_SUCCESS;
    int calls = 0;
};

struct FaultTable {
    std::mutex mutex;
    std::array<Fault, static_cast<std::size_t>(FaultPoint::Count)> faults{};
};

FaultTable& Table() {
    static FaultTable table;
    return table;
}

Fault& At(FaultTable& table, FaultPoint point) {
    return table.faults[static_cast<std::size_t>(point)];
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
}

int FaultCalls(FaultPoint point) {
    FaultTable& table = Table();
    std::lock_guard lock(table.mutex);
    return At(table, point).calls;
}

bool FaultFires(FaultPoint point) {
    FaultTable& table = Table();
    std::lock_guard lock(table.mutex);
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
