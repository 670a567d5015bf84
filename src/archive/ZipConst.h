// Native error numbers of the archive engine and the English message table
// they select. A native error is the number given where a failure is raised;
// its message index picks the text.
#pragma once

#include <string>

namespace archive {

// Native error numbers raised by this engine (0 to 65). Numbers without a
// name here belong to features this program never reaches; they still map
// to their message.
namespace native {
inline constexpr int Unknown = 0;
inline constexpr int PutItemIndex = 1;  // TZipDirArray::PutItem
inline constexpr int GetItemIndex = 2;  // TZipDirArray::GetItem
inline constexpr int ItemAtIndex = 3;   // TZipDirArray::ItemAt
inline constexpr int DeleteIndex = 4;   // TZipDirArray::Delete
inline constexpr int InvalidCompressionMode = 5;
inline constexpr int NilPointer = 6;
inline constexpr int SavedEntryMissing = 7;  // CopyEntryRaw
inline constexpr int CorruptedEntry = 8;     // size, CRC-32 or method check
inline constexpr int BlankFileName = 9;      // Open
inline constexpr int BlankArchiveName = 10;  // OpenArchive
inline constexpr int ArchiveNotFound = 12;   // OpenArchive, "%s" = FileName
inline constexpr int ArchiveNotOpen = 13;
inline constexpr int ExtractIndex = 16;        // ExtractToStream
inline constexpr int CannotCreateFile = 19;    // "%s" = target file
inline constexpr int CannotCreateFolder = 20;  // "%s" = folder
inline constexpr int UpdateIndex = 24;         // RefreshEntry
inline constexpr int UpdateNotStarted = 25;    // RefreshEntry without transaction
inline constexpr int UpdateNotEnded = 26;      // ExtractByMask inside a transaction
inline constexpr int CannotDeleteFile = 27;    // "%s" = file
inline constexpr int InMemoryCreateOnly = 28;
inline constexpr int ReadOnlyArchive = 32;        // BeginTransaction
inline constexpr int CannotOpenSource = 33;       // "%s" = source path
inline constexpr int InvalidCompressedSize = 34;  // "%d", "%d" = size, consumed
inline constexpr int InvalidArchive = 35;         // no local header anywhere
inline constexpr int Zip64EndNotFound = 40;
inline constexpr int Zip64DisabledData = 41;    // "%s" = source path
inline constexpr int Zip64DisabledHeader = 43;  // "%s" = source path
inline constexpr int OpenAborted = 45;          // never asks the user
inline constexpr int StreamWrite = 46;
inline constexpr int Deflate64 = 55;
inline constexpr int HashPutItem = 58;      // name index out of step in PutItem
inline constexpr int HashSetItemName = 59;  // name index out of step in SetItemName
inline constexpr int NameTooLong = 61;      // "%s" = source path
// An update refused or undone, in words a user reads.
inline constexpr int ArchiveInUse = 63;  // "%s" = the archive
inline constexpr int UpdateFailed = 64;  // "%s", "%s" = the archive, what went wrong
inline constexpr int NotOnDiskYet = 65;  // "%s", "%s" = the archive, what went wrong
inline constexpr int Highest = 65;
}  // namespace native

// Number of message texts (indexes 0 to 40).
inline constexpr int ZipMessageCount = 41;

// The message index paired with a native error; 0 ("Unknown error") for a
// number outside the table.
int ZipErrorCodeOf(int nativeError);

// The message text of an index, with its placeholders unfilled; the text of
// index 0 for an index outside the table.
const std::string& ZipMessageText(int errorCode);

}  // namespace archive
