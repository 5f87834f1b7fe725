// One serial port opened by two queues: each handle's calls touch only the document
// it started, from the spooler's threads at once.
#include "serial/SerialLinkTest.h"

#include <thread>

namespace vela::test {
namespace {

using PortSharing = SerialLinkTest;

// The first queue prints while the second tries a document of its own and then
// lets go of the port: every line of the first arrives, once and in order, and no
// byte of the second reaches the printer.
TEST_F(PortSharing, SecondHandleNeitherJoinsNorEndsTheFirstHandlesDocument) {
    constexpr int kLines = 600;
    // The first document waits 3 s for one "ok": the second handle's calls come
    // while it is in progress.
    FirmwareOptions options;
    options.delayOkForLines[30] = 3000;
    StartFirmware(options);
    ASSERT_TRUE(Open());
    HANDLE second = nullptr;
    ASSERT_TRUE(
        table_->pfnOpenPort(harness_.MonitorHandle(), const_cast<LPWSTR>(kSerialPort), &second));
    ASSERT_TRUE(StartDoc(31));
    BOOL written = FALSE;
    BOOL ended = FALSE;
    std::thread first([&] {
        written = Write(Job(1, kLines), 301);
        ended = EndDoc();
    });
    // The first document is on its way.
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(30, kJobWaitMs));

    std::wstring printer = spooler_.printerName;
    ::SetLastError(0);
    EXPECT_FALSE(table_->pfnStartDocPort(second, &printer[0], 32, 1, nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_BUSY));
    std::string intruder = "G1 X999 Y999\n";
    DWORD queued = 7;
    ::SetLastError(0);
    EXPECT_FALSE(table_->pfnWritePort(second, reinterpret_cast<LPBYTE>(&intruder[0]),
                                      static_cast<DWORD>(intruder.size()), &queued));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    EXPECT_EQ(queued, 0u);
    EXPECT_FALSE(table_->pfnEndDocPort(second));
    EXPECT_TRUE(table_->pfnClosePort(second));

    first.join();
    EXPECT_TRUE(written);
    EXPECT_TRUE(ended);
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Document(JobCommands(1, kLines)));
    ASSERT_EQ(spooler_.prompts.size(), 1u);
    EXPECT_EQ(spooler_.prompts[0].jobId, 31u);
    EXPECT_EQ(spooler_.openPrinters, 0);
    // The port is still the first queue's: its next document runs as ever.
    Print(Job(kLines + 1, 5));
    EXPECT_TRUE(Close());
}

} // namespace
} // namespace vela::test
