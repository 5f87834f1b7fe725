// The plain-text debug log.
#include "sim/LogFile.h"
#include "monitor/DebugLog.h"

#include "platform/Win32Headers.h"

#include <gtest/gtest.h>

namespace vela::test {
namespace {

TEST(DebugLog, LineEndsReachTheFileInTextMode) {
    ResetLog();
    WriteLog("V26.4 Print is Runing,    ");
    WriteLog("Printer status: 2 \r\n");
    EXPECT_EQ(ReadLog(), "V26.4 Print is Runing,    Printer status: 2 \r\r\n");
}

TEST(DebugLog, TextIsWrittenUninterpreted) {
    ResetLog();
    WriteLog("100% done %d %s\n");
    EXPECT_EQ(ReadLog(), "100% done %d %s\r\n");
}

TEST(DebugLog, FormattedMessages) {
    ResetLog();
    WriteLogFormatted("WritePort Get %d CMD and %d Bytes(0 is OK)\r\n", 3, 0);
    EXPECT_EQ(ReadLog(), "WritePort Get 3 CMD and 0 Bytes(0 is OK)\r\r\n");
}

TEST(DebugLog, MissingFolderLosesMessagesSilentlyAndCreatesNothing) {
    RemoveLogFolder();
    WriteLog("lost\r\n");
    EXPECT_FALSE(LogExists());
    EXPECT_EQ(::GetFileAttributesW(L"C:\\temp"), INVALID_FILE_ATTRIBUTES);
    ResetLog();
}

TEST(DebugLog, AnotherProgramMayDeleteTheFileMeanwhile) {
    ResetLog();
    WriteLog("one\n");
    HANDLE held = ::CreateFileW(L"C:\\temp\\vela3dp.log", GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    WriteLog("two\n");
    ::CloseHandle(held);
    ASSERT_TRUE(::DeleteFileW(L"C:\\temp\\vela3dp.log"));
    WriteLog("three\n");
    EXPECT_EQ(ReadLog(), "three\r\n");
}

} // namespace
} // namespace vela::test
