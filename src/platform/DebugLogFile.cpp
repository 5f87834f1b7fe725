#include "platform/DebugLogFile.h"

#include "platform/DebugLogTrust.h"
#include "platform/Handles.h"
#include "platform/Win32Headers.h"

#include <aclapi.h>

#include <atomic>
#include <cstring>
#include <new>
#include <string>

namespace vela {
namespace {

constexpr wchar_t kLogFolder[] = L"C:\\temp";
constexpr wchar_t kLogPath[] = L"C:\\temp\\vela3dp.log";
// A converted message of up to this many bytes needs no heap block.
constexpr size_t kStackMessageBytes = 2048;

struct LocalMemoryTraits : NullIsInvalid<HLOCAL> {
    static void Close(HLOCAL memory) noexcept { ::LocalFree(memory); }
};
using UniqueLocalMemory = UniqueResource<HLOCAL, LocalMemoryTraits>;

// The account the process runs as: it never changes, so it is read once.
struct ProcessUser {
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
    bool known = false;
};

ProcessUser ReadProcessUser() {
    ProcessUser user;
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Put())) {
        return user;
    }
    // Whole pointers keep the block aligned for TOKEN_USER.
    void* block[(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE) / sizeof(void*) + 1] = {};
    DWORD size = 0;
    if (::GetTokenInformation(token.Get(), TokenUser, block, sizeof(block), &size) &&
        ::CopySid(sizeof(user.sid), user.sid,
                  static_cast<TOKEN_USER*>(static_cast<void*>(block))->User.Sid)) {
        user.known = true;
    }
    return user;
}

PSID ProcessUserSid() {
    static ProcessUser user = ReadProcessUser();
    return user.known ? static_cast<PSID>(user.sid) : nullptr;
}

// The threads of the process append one at a time. Across processes the
// append-only handle keeps each write whole at the end of the file; within one,
// not every platform makes two handles' appends atomic (Wine 8 does not).
SRWLOCK appendLock = SRWLOCK_INIT;

class AppendGuard {
  public:
    AppendGuard() { ::AcquireSRWLockExclusive(&appendLock); }
    ~AppendGuard() { ::ReleaseSRWLockExclusive(&appendLock); }
    AppendGuard(const AppendGuard&) = delete;
    AppendGuard& operator=(const AppendGuard&) = delete;
};

// Each kind of refusal is told to the debugger once per process.
std::atomic<unsigned> toldRefusals{0};

void TellOnce(LogRefusal refusal) {
    const unsigned bit = 1u << static_cast<unsigned>(refusal);
    if ((toldRefusals.fetch_or(bit) & bit) != 0) {
        return;
    }
    ::OutputDebugStringW(L"The debug log C:\\temp\\vela3dp.log is not written: ");
    ::OutputDebugStringW(DescribeLogRefusal(refusal));
    ::OutputDebugStringW(L"\r\n");
}

// The folder's owner, judged on the open handle.
bool OwnerTrusted(HANDLE folder) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                          nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueLocalMemory held(descriptor);
    return TrustedLogOwner(owner, ProcessUserSid());
}

// Opens "C:\temp" itself, never what a link in its place leads to, and keeps it
// from being renamed or deleted (no FILE_SHARE_DELETE) while the handle is held:
// the file is then opened in the folder that was checked.
LogRefusal OpenLogFolder(UniqueHandle& folder, bool& missing) {
    missing = false;
    folder.Reset(::CreateFileW(kLogFolder, FILE_READ_ATTRIBUTES | READ_CONTROL,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder.Valid()) {
        const DWORD error = ::GetLastError();
        missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return LogRefusal::FolderUnreadable;
    }
    // The basic and standard classes rather than GetFileInformationByHandle, which
    // also asks for the volume: many times dearer under Wine.
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(folder.Get(), FileBasicInfo, &basic, sizeof(basic))) {
        return LogRefusal::FolderUnreadable;
    }
    // The owner is asked only of a real folder.
    const LogRefusal shape = JudgeLogFolder(basic.FileAttributes, true);
    if (shape != LogRefusal::None) {
        return shape;
    }
    return JudgeLogFolder(basic.FileAttributes, OwnerTrusted(folder.Get()));
}

// Opens the log for appending only: every write lands at the end of the file,
// whoever else writes. A link is opened as itself and refused.
LogRefusal OpenLogFile(UniqueHandle& file) {
    file.Reset(::CreateFileW(kLogPath, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                             nullptr));
    if (!file.Valid()) {
        return LogRefusal::FileUnopenable;
    }
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (!::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof(basic)) ||
        !::GetFileInformationByHandleEx(file.Get(), FileStandardInfo, &standard,
                                        sizeof(standard))) {
        return LogRefusal::FileUnopenable;
    }
    const DWORD attributes =
        basic.FileAttributes | (standard.Directory ? FILE_ATTRIBUTE_DIRECTORY : 0);
    return JudgeLogFile(::GetFileType(file.Get()), attributes, standard.NumberOfLinks);
}

void WriteInTextMode(HANDLE file, const char* text, size_t length) {
    size_t feeds = 0;
    for (size_t i = 0; i < length; ++i) {
        feeds += text[i] == '\n' ? 1 : 0;
    }
    const size_t converted = length + feeds;
    if (converted > MAXDWORD) {
        return;
    }
    char onStack[kStackMessageBytes];
    std::string onHeap;
    char* bytes = onStack;
    if (converted > sizeof(onStack)) {
        try {
            onHeap.resize(converted);
        } catch (const std::bad_alloc&) {
            return;
        }
        bytes = &onHeap[0];
    }
    size_t at = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\n') {
            bytes[at++] = '\r';
        }
        bytes[at++] = text[i];
    }
    // One write: a message is never split by another thread's.
    DWORD written = 0;
    ::WriteFile(file, bytes, static_cast<DWORD>(converted), &written, nullptr);
}

} // namespace

void AppendToDebugLog(const char* text) {
    const size_t length = std::strlen(text);
    const AppendGuard oneAtATime;
    UniqueHandle folder;
    bool missing = false;
    LogRefusal refusal = OpenLogFolder(folder, missing);
    if (missing) {
        // No folder, no log: that is how the log is switched off.
        return;
    }
    UniqueHandle file;
    if (refusal == LogRefusal::None) {
        refusal = OpenLogFile(file);
    }
    if (refusal != LogRefusal::None) {
        TellOnce(refusal);
        return;
    }
    if (length > 0) {
        WriteInTextMode(file.Get(), text, length);
    }
}

} // namespace vela
