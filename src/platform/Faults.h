// The fault-injection seam: tests make the Nth call of a service fail with a
// chosen code. Compiled in only when QUELLOR_FAULTS is defined (test builds);
// otherwise every check is a constant false.
//
// Besides the per-service countdowns, a sweep counts every call that changes
// what is on disk, whatever the service, and either fails the Nth such call
// (disk full for writes, an I/O error for flushes) or ends the process right
// before it, as a kill at that moment would.
#pragma once

#include "platform/Errors.h"

namespace platform {

enum class FaultPoint {
    StreamWrite,     // TFileStream::Write / WriteBuffer / CopyFrom
    StreamTruncate,  // TFileStream::SetSize
    StreamOpen,      // TFileStream constructor
    CopyFile,
    MoveFile,
    DeleteFile,
    Rename,      // a rename: the settings-file write, a file replaced
    TextWrite,   // writing a line of a text file
    FolderScan,  // reading a folder for a case variant of a name
    Flush,       // fsync / fdatasync of a file or a folder
    FolderCreate,
    FolderRemove,
    KernelCopy,  // a copy of bytes between two files in the kernel
    FileCreate,  // an exclusive create of a new file (a temporary one)
    FileMode,    // chmod / chown of a file
    Count
};

// What a sweep does at its call.
enum class SweepAction { Fail, Stop };

// The exit status of a process that a sweep stopped.
constexpr int kSweepStopStatus = 86;

#ifdef QUELLOR_FAULTS
// The `nth` call (1-based) from now on of `point` fails with `code`; 0 disarms.
void ArmFault(FaultPoint point, int nth, DWORD code = ERROR_DISK_FULL);
void DisarmAllFaults();
// How many calls of `point` were made since the last ArmFault/DisarmAllFaults.
int FaultCalls(FaultPoint point);
// Called by the services: counts the call, returns true (and sets the last
// error) when this call must fail.
bool FaultFires(FaultPoint point);

// Arms the sweep: the `nth` modifying call (1-based) from now on fails, or
// the process `_exit`s with kSweepStopStatus before making it; 0 disarms.
void ArmSweep(int nth, SweepAction action);
// How many modifying calls were made since the last ArmSweep/DisarmAllFaults.
int SweepCalls();
#else
inline bool FaultFires(FaultPoint) {
    return false;
}
#endif

}  // namespace platform
