// Whether the debug log may be written. The monitor runs as SYSTEM and any user
// may create "C:\temp": the folder and the file in it are judged from what their
// open handles report, before a byte is written. Pure judgments, no I/O.
#pragma once

#include "platform/Win32Headers.h"

namespace vela {

enum class LogRefusal {
    None,
    // "C:\temp" is there but could not be opened or examined.
    FolderUnreadable,
    FolderNotAFolder,
    // A reparse point: a junction or a symbolic link to somewhere else.
    FolderIsALink,
    // Owned by someone who is not trusted with what SYSTEM writes.
    FolderOwner,
    // The log exists but could not be opened or examined.
    FileUnopenable,
    FileIsALink,
    // A device, a pipe or a folder rather than a plain file on disk.
    FileNotADiskFile,
    // Another name for the same file may lie anywhere on the volume.
    FileHardLinked,
};
constexpr int kLogRefusalKinds = 9;

// attributes: the folder's own (opened with FILE_FLAG_OPEN_REPARSE_POINT), as
// its handle reports them.
LogRefusal JudgeLogFolder(DWORD attributes, bool ownerTrusted);
// fileType from GetFileType; attributes and links as the file's own handle
// reports them.
LogRefusal JudgeLogFile(DWORD fileType, DWORD attributes, DWORD links);

// Administrators, SYSTEM, or the account the monitor runs as (SYSTEM inside the
// spooler; a folder of its own account gives a program nothing it did not have).
// processUser may be null when it is unknown.
bool TrustedLogOwner(PSID owner, PSID processUser);

// Why nothing is written, for the debugger output.
const wchar_t* DescribeLogRefusal(LogRefusal refusal);

} // namespace vela
