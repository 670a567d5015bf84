// The fault-injection seam: tests make the Nth call of a service fail with a
// chosen code. Compiled in only when QUELLOR_FAULTS is defined (test builds);
// otherwise every check is a constant false.
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
    Rename,      // the rename of the settings-file write
    TextWrite,   // writing a line of a text file
    FolderScan,  // reading a folder for a case variant of a name
    Count
};

#ifdef QUELLOR_FAULTS
// The `nth` call (1-based) from now on of `point` fails with `code`; 0 disarms.
void ArmFault(FaultPoint point, int nth, DWORD code = ERROR_DISK_FULL);
void DisarmAllFaults();
// How many calls of `point` were made since the last ArmFault/DisarmAllFaults.
int FaultCalls(FaultPoint point);
// Called by the services: counts the call, returns true (and sets the last
// error) when this call must fail.
bool FaultFires(FaultPoint point);
#else
inline bool FaultFires(FaultPoint) {
    return false;
}
#endif

}  // namespace platform
