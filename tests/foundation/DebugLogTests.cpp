// The plain-text debug log.
#include "sim/LogFile.h"
#include "platform/DiagnosticLog.h"

#include "platform/Win32Headers.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace vela::test
