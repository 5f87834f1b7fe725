// The plain-text debug log.
#include "sim/LogFile.h"
#include "platform/DebugLogTrust.h"
#include "platform/DiagnosticLog.h"

#include "platform/Win32Headers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace vela::test {
namespace {

TEST(DebugLog, LineEndsReachTheFileInTextMode) {
    ResetLog();
    Log(LogTo::DebugLog, "V26.4 Print is Runing,    ");
    Log(LogTo::DebugLog, "Printer status: 2 \r\n");
    EXPECT_EQ(ReadLog(), "V26.4 Print is Runing,    Printer status: 2 \r\r\n");
}

TEST(DebugLog, TextIsWrittenUninterpreted) {
    ResetLog();
    Log(LogTo::DebugLog, "100% done %d %s\n");
    EXPECT_EQ(ReadLog(), "100% done %d %s\r\n");
}

TEST(DebugLog, FormattedMessages) {
    ResetLog();
    LogFormatted(LogTo::DebugLog, "WritePort Get %d CMD and %d Bytes(0 is OK)\r\n", 3, 0);
    EXPECT_EQ(ReadLog(), "WritePort Get 3 CMD and 0 Bytes(0 is OK)\r\r\n");
}

TEST(DebugLog, WideTextArrivesAsEightBitText) {
    ResetLog();
    Log(LogTo::DebugLog, L"Retrieved a port name of ");
    Log(LogTo::DebugLog, L"Usb1:\n");
    EXPECT_EQ(ReadLog(), "Retrieved a port name of Usb1:\r\n");
}

TEST(DebugLog, DebuggerMessagesStayOutOfTheFile) {
    ResetLog();
    Log(LogTo::Debugger, "to the debugger\n");
    Log(LogTo::Debugger, L"to the debugger\n");
    LogFormatted(LogTo::Debugger, "to the debugger %d\n", 2);
    EXPECT_EQ(ReadLog(), "");
}

TEST(DebugLog, MissingFolderLosesMessagesSilentlyAndCreatesNothing) {
    RemoveLogFolder();
    Log(LogTo::DebugLog, "lost\r\n");
    EXPECT_FALSE(LogExists());
    EXPECT_EQ(::GetFileAttributesW(L"C:\\temp"), INVALID_FILE_ATTRIBUTES);
    ResetLog();
}

TEST(DebugLog, AnotherProgramMayDeleteTheFileMeanwhile) {
    ResetLog();
    Log(LogTo::DebugLog, "one\n");
    HANDLE held = ::CreateFileW(L"C:\\temp\\vela3dp.log", GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Log(LogTo::DebugLog, "two\n");
    ::CloseHandle(held);
    ASSERT_TRUE(::DeleteFileW(L"C:\\temp\\vela3dp.log"));
    Log(LogTo::DebugLog, "three\n");
    EXPECT_EQ(ReadLog(), "three\r\n");
}

// What only Windows can set up (a junction, a symbolic link, a folder of another
// owner: Wine 8 makes none of them) is judged here from what the handles report.
TEST(DebugLog, FolderAndFileAreJudgedByWhatTheirHandlesReport) {
    struct FolderCase {
        DWORD attributes;
        bool ownerTrusted;
        LogRefusal expected;
    };
    const FolderCase folders[] = {
        {FILE_ATTRIBUTE_DIRECTORY, true, LogRefusal::None},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, true, LogRefusal::FolderIsALink},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT, false, LogRefusal::FolderIsALink},
        {FILE_ATTRIBUTE_ARCHIVE, true, LogRefusal::FolderNotAFolder},
        {FILE_ATTRIBUTE_DIRECTORY, false, LogRefusal::FolderOwner},
    };
    for (const FolderCase& c : folders) {
        EXPECT_EQ(JudgeLogFolder(c.attributes, c.ownerTrusted), c.expected)
            << c.attributes << " " << c.ownerTrusted;
    }
    struct FileCase {
        DWORD type;
        DWORD attributes;
        DWORD links;
        LogRefusal expected;
    };
    const FileCase files[] = {
        {FILE_TYPE_DISK, FILE_ATTRIBUTE_ARCHIVE, 1, LogRefusal::None},
        {FILE_TYPE_DISK, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT, 1,
         LogRefusal::FileIsALink},
        {FILE_TYPE_CHAR, 0, 1, LogRefusal::FileNotADiskFile},
        {FILE_TYPE_PIPE, 0, 1, LogRefusal::FileNotADiskFile},
        {FILE_TYPE_DISK, FILE_ATTRIBUTE_DIRECTORY, 1, LogRefusal::FileNotADiskFile},
        {FILE_TYPE_DISK, FILE_ATTRIBUTE_ARCHIVE, 2, LogRefusal::FileHardLinked},
    };
    for (const FileCase& c : files) {
        EXPECT_EQ(JudgeLogFile(c.type, c.attributes, c.links), c.expected)
            << c.type << " " << c.attributes << " " << c.links;
    }
}

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    EXPECT_TRUE(::CreateWellKnownSid(type, nullptr, sid.data(), &size));
    return sid;
}

TEST(DebugLog, OnlyAdministratorsSystemOrTheMonitorsOwnAccountAreTrustedOwners) {
    std::vector<BYTE> self = WellKnownSid(WinBuiltinUsersSid);
    // Another account of the same authority: the last part of the SID differs.
    std::vector<BYTE> other(SECURITY_MAX_SID_SIZE);
    BYTE* raw = self.data();
    PSID user = raw;
    SID_IDENTIFIER_AUTHORITY authority = {SECURITY_NT_AUTHORITY};
    DWORD parts[8] = {21, 1, 2, 3, 1000};
    ASSERT_TRUE(::InitializeSid(user, &authority, 5));
    for (BYTE i = 0; i < 5; ++i) {
        *::GetSidSubAuthority(user, i) = parts[i];
    }
    ASSERT_TRUE(::CopySid(static_cast<DWORD>(other.size()), other.data(), user));
    *::GetSidSubAuthority(other.data(), 4) = 1001;

    EXPECT_TRUE(TrustedLogOwner(WellKnownSid(WinBuiltinAdministratorsSid).data(), user));
    EXPECT_TRUE(TrustedLogOwner(WellKnownSid(WinLocalSystemSid).data(), user));
    EXPECT_TRUE(TrustedLogOwner(user, user));
    EXPECT_FALSE(TrustedLogOwner(other.data(), user));
    EXPECT_FALSE(TrustedLogOwner(other.data(), nullptr));
    EXPECT_FALSE(TrustedLogOwner(WellKnownSid(WinBuiltinUsersSid).data(), user));
    EXPECT_FALSE(TrustedLogOwner(WellKnownSid(WinWorldSid).data(), user));
    EXPECT_FALSE(TrustedLogOwner(WellKnownSid(WinAuthenticatedUserSid).data(), user));
    EXPECT_FALSE(TrustedLogOwner(nullptr, user));
}

std::string ReadFile(const wchar_t* path) {
    std::string content;
    FILE* file = ::_wfopen(path, L"rb");
    if (file != nullptr) {
        char buffer[256];
        size_t read = 0;
        while ((read = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
            content.append(buffer, read);
        }
        std::fclose(file);
    }
    return content;
}

bool WriteFileText(const wchar_t* path, const char* text) {
    FILE* file = ::_wfopen(path, L"wb");
    if (file == nullptr) {
        return false;
    }
    std::fputs(text, file);
    std::fclose(file);
    return true;
}

// What an unprivileged user can set up under Wine in place of the log: the
// monitor writes nothing there, and nothing reaches another file through it.
TEST(DebugLog, LogInAPlaceItMustNotTrustIsNotWritten) {
    const wchar_t kElsewhere[] = L"C:\\temp-elsewhere.txt";
    enum class SetUp { HardLinkedFile, FolderIsAFile, LogIsAFolder };
    for (const SetUp setUp : {SetUp::HardLinkedFile, SetUp::FolderIsAFile, SetUp::LogIsAFolder}) {
        SCOPED_TRACE(static_cast<int>(setUp));
        RemoveLogFolder();
        ::DeleteFileW(L"C:\\temp");
        ASSERT_TRUE(WriteFileText(kElsewhere, "kept\r\n"));
        switch (setUp) {
        case SetUp::HardLinkedFile:
            ResetLog();
            // Another name of a file the user could not otherwise write.
            ASSERT_TRUE(::CreateHardLinkW(L"C:\\temp\\vela3dp.log", kElsewhere, nullptr));
            break;
        case SetUp::FolderIsAFile:
            ASSERT_TRUE(WriteFileText(L"C:\\temp", "kept\r\n"));
            break;
        case SetUp::LogIsAFolder:
            ResetLog();
            ASSERT_TRUE(::CreateDirectoryW(L"C:\\temp\\vela3dp.log", nullptr));
            break;
        }
        Log(LogTo::DebugLog, "written\n");
        EXPECT_EQ(ReadFile(kElsewhere), "kept\r\n");
        if (setUp == SetUp::FolderIsAFile) {
            EXPECT_EQ(ReadFile(L"C:\\temp"), "kept\r\n");
            ::DeleteFileW(L"C:\\temp");
        }
        ::RemoveDirectoryW(L"C:\\temp\\vela3dp.log");
        ::DeleteFileW(kElsewhere);
    }
    ResetLog();
    Log(LogTo::DebugLog, "written\n");
    EXPECT_EQ(ReadLog(), "written\r\n");
}

// Each message lands whole at the end of the file, whoever writes at once.
TEST(DebugLog, ThreadsLoggingAtOnceLoseNoMessage) {
    ResetLog();
    constexpr int kThreads = 6;
    constexpr int kMessages = 60;
    HANDLE go = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    struct Args {
        HANDLE go;
        int thread;
    };
    Args args[kThreads];
    HANDLE threads[kThreads];
    for (int t = 0; t < kThreads; ++t) {
        args[t] = {go, t};
        threads[t] = ::CreateThread(
            nullptr, 0,
            [](LPVOID raw) -> DWORD {
                const auto* a = static_cast<Args*>(raw);
                ::WaitForSingleObject(a->go, INFINITE);
                for (int m = 0; m < kMessages; ++m) {
                    LogFormatted(LogTo::DebugLog, "thread %d message %d of a longer text\n",
                                 a->thread, m);
                }
                return 0;
            },
            &args[t], 0, nullptr);
        ASSERT_NE(threads[t], nullptr);
    }
    ::SetEvent(go);
    ::WaitForMultipleObjects(kThreads, threads, TRUE, INFINITE);
    for (HANDLE thread : threads) {
        ::CloseHandle(thread);
    }
    ::CloseHandle(go);

    std::istringstream lines(ReadLog());
    std::set<std::string> seen;
    std::string line;
    while (std::getline(lines, line)) {
        seen.insert(line);
    }
    std::set<std::string> expected;
    for (int t = 0; t < kThreads; ++t) {
        for (int m = 0; m < kMessages; ++m) {
            expected.insert("thread " + std::to_string(t) + " message " + std::to_string(m) +
                            " of a longer text\r");
        }
    }
    EXPECT_EQ(seen, expected);
}

} // namespace
} // namespace vela::test
