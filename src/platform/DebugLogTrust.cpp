#include "platform/DebugLogTrust.h"

namespace vela {

LogRefusal JudgeLogFolder(DWORD attributes, bool ownerTrusted) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return LogRefusal::FolderIsALink;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return LogRefusal::FolderNotAFolder;
    }
    return ownerTrusted ? LogRefusal::None : LogRefusal::FolderOwner;
}

LogRefusal JudgeLogFile(DWORD fileType, DWORD attributes, DWORD links) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return LogRefusal::FileIsALink;
    }
    if (fileType != FILE_TYPE_DISK || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return LogRefusal::FileNotADiskFile;
    }
    return links == 1 ? LogRefusal::None : LogRefusal::FileHardLinked;
}

bool TrustedLogOwner(PSID owner, PSID processUser) {
    if (owner == nullptr || !::IsValidSid(owner)) {
        return false;
    }
    if (::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
        ::IsWellKnownSid(owner, WinLocalSystemSid)) {
        return true;
    }
    return processUser != nullptr && ::IsValidSid(processUser) &&
           ::EqualSid(owner, processUser) != FALSE;
}

const wchar_t* DescribeLogRefusal(LogRefusal refusal) {
    switch (refusal) {
    case LogRefusal::None:
        return L"";
    case LogRefusal::FolderUnreadable:
        return L"C:\\temp could not be examined";
    case LogRefusal::FolderNotAFolder:
        return L"C:\\temp is not a folder";
    case LogRefusal::FolderIsALink:
        return L"C:\\temp is a link to somewhere else";
    case LogRefusal::FolderOwner:
        return L"C:\\temp is owned by neither Administrators nor SYSTEM";
    case LogRefusal::FileUnopenable:
        return L"the log file could not be opened or examined";
    case LogRefusal::FileIsALink:
        return L"the log file is a link to somewhere else";
    case LogRefusal::FileNotADiskFile:
        return L"the log file is not a plain file";
    case LogRefusal::FileHardLinked:
        return L"the log file has further names (hard links)";
    }
    return L"";
}

} // namespace vela
