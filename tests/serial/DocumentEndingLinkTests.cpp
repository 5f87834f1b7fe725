// How a serial document ends when the spooler does not end it: Shutdown, ClosePort
// without EndDocPort and a second StartDocPort on the same handle each drop the
// queue and the partial line the last WritePort left ("G1 Z" of "G1 Z10" would run
// as a move to Z0), send the cancel lines instead of the final "M400", and leave
// the job failed in the queue. A device that never takes a byte fails the
// document within the greeting's limit.
#include "serial/SerialLinkTest.h"

#include "core/PortSettings.h"
#include "monitor/PortSession.h"

#include <algorithm>
#include <cwchar>
#include <thread>

namespace vela::test {
namespace {

using DocumentEndingLink = SerialLinkTest;

enum class Ender { Shutdown, ClosePort, Restart };

// The commands run, with the "M110" that may go before the cancel lines (when the
// line in flight had no "ok" yet at the cancel) taken out.
std::vector<std::string> WithoutCounterBeforeCancel(std::vector<std::string> executed,
                                                    const std::vector<std::string>& cancel) {
    for (size_t at = 1; at + cancel.size() <= executed.size(); ++at) {
        if (executed[at - 1] == "M110" &&
            std::equal(cancel.begin(), cancel.end(), executed.begin() + at)) {
            executed.erase(executed.begin() + static_cast<std::ptrdiff_t>(at - 1));
            break;
        }
    }
    return executed;
}

class EarlyEnd : public SerialLinkTest {
  protected:
    void EndEarly(Ender ender) {
        const std::vector<std::string> cancel = DefaultCancelLines();
        StartFirmware();
        ASSERT_TRUE(Open());
        ASSERT_TRUE(StartDoc(41));
        ASSERT_TRUE(Write("M104 S210\nG1 X1\nG1 X2\nG1 X3\nG1 Z"));
        // The greeting and the four whole lines have arrived.
        ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + 4, kJobWaitMs));
        {
            ClockTicker ticker(harness_.clock, 100);
            switch (ender) {
            case Ender::Shutdown:
                harness_.Shutdown();
                // Its own EndDocPort fails and sends nothing.
                ::SetLastError(0);
                EXPECT_FALSE(EndDoc());
                EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
                break;
            case Ender::ClosePort:
                ASSERT_TRUE(Close());
                break;
            case Ender::Restart:
                ASSERT_TRUE(StartDoc(42));
                ASSERT_TRUE(Write("G28\n"));
                ASSERT_TRUE(EndDoc());
                break;
            }
        }
        std::vector<std::string> expected = Document({"M104 S210", "G1 X1", "G1 X2", "G1 X3"});
        expected.pop_back();
        expected.insert(expected.end(), cancel.begin(), cancel.end());
        if (ender == Ender::Restart) {
            const std::vector<std::string> next = Document({"G28"});
            expected.insert(expected.end(), next.begin(), next.end());
        }
        EXPECT_EQ(WithoutCounterBeforeCancel(firmware_->ExecutedNumberedCommands(), cancel),
                  expected);
        ASSERT_FALSE(spooler_.errorTexts.empty());
        EXPECT_EQ(spooler_.errorTexts[0],
                  ender == Ender::Shutdown ? L"The print monitor stopped before the "
                                             L"document ended"
                  : ender == Ender::ClosePort ? L"The port closed before the document ended"
                                              : L"A new document began before this one ended");
        // Only the document that ran to its end asks for the model to be removed.
        EXPECT_EQ(spooler_.prompts.size(), ender == Ender::Restart ? 1u : 0u);
    }
};

TEST_F(EarlyEnd, ShutdownDropsTheCutLineAndSendsTheCancelLines) {
    EndEarly(Ender::Shutdown);
}

TEST_F(EarlyEnd, ClosePortWithoutEndDocPortSendsTheCancelLines) {
    EndEarly(Ender::ClosePort);
}

TEST_F(EarlyEnd, SecondStartDocPortOnTheHandleCancelsTheFirstDocument) {
    EndEarly(Ender::Restart);
}

// The line in flight answered only after the cancel lines began: its late "ok",
// taken for the first cancel line's, does not let ClosePort return before the
// printer has answered the last cancel line.
TEST_F(DocumentEndingLink, ALateOkDoesNotEndTheCancelBeforeItsLastLine) {
    TheProtocolTimings().cancelOkWaitMs = 0;
    FirmwareOptions options;
    options.delayOkForLines = {{4, 300}};
    options.replyDelayMs = 50;
    StartFirmware(options);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(StartDoc());
    ASSERT_TRUE(Write(Job(1, 8)));
    ASSERT_TRUE(firmware_->WaitForReceived(GreetingLines() + 4, kJobWaitMs));
    ASSERT_TRUE(Close());
    const std::vector<std::string> executed = firmware_->ExecutedNumberedCommands();
    ASSERT_FALSE(executed.empty());
    EXPECT_EQ(executed.back(), DefaultCancelLines().back());
    EXPECT_EQ(firmware_->Stats().numberedLinesAcknowledged, executed.size());
}

// The monitor's end of a pipe whose far end never reads: every write stays
// outstanding, as on a line held by flow control or an adapter half gone.
class DeviceThatTakesNoBytes : public SystemSerialDevices {
  public:
    DeviceThatTakesNoBytes() {
        wchar_t name[64];
        std::swprintf(name, 64, L"\\\\.\\pipe\\vela-no-bytes-%lu",
                      static_cast<unsigned long>(::GetCurrentProcessId()));
        name_ = name;
        server_.Reset(::CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr));
    }
    HANDLE CreateFileW(LPCWSTR, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD flags,
                       HANDLE) override {
        return ::CreateFileW(name_.c_str(), access, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    }
    BOOL GetCommState(HANDLE, LPDCB) override { return TRUE; }
    BOOL SetCommState(HANDLE, LPDCB) override { return TRUE; }
    BOOL GetCommTimeouts(HANDLE, LPCOMMTIMEOUTS) override { return TRUE; }
    BOOL SetCommTimeouts(HANDLE, LPCOMMTIMEOUTS) override { return TRUE; }
    BOOL PurgeComm(HANDLE, DWORD) override { return TRUE; }

  private:
    std::wstring name_;
    UniqueHandle server_;
};

TEST_F(DocumentEndingLink, DeviceThatTakesNoBytesFailsTheGreetingWithinItsLimit) {
    DeviceThatTakesNoBytes device;
    harness_.platform.serialDevices = &device;
    InstallPlatform(harness_.platform);
    ASSERT_TRUE(Open());
    {
        ClockTicker ticker(harness_.clock, 500);
        ::SetLastError(0);
        EXPECT_FALSE(StartDoc());
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    }
    // The greeting's 20 s, then at most the 2 s a write is given to finish.
    EXPECT_GE(harness_.clock.now, 20000u);
    EXPECT_LT(harness_.clock.now, 30000u);
    EXPECT_FALSE(DocumentInProgress(Entry(kSerialPort)));

    // Shutdown during such a greeting ends it at once, and returns.
    const UniqueHandle started(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    BOOL result = TRUE;
    std::thread starter([&] {
        ::SetEvent(started.Get());
        result = StartDoc();
    });
    ASSERT_EQ(::WaitForSingleObject(started.Get(), kJobWaitMs), WAIT_OBJECT_0);
    // Until the greeting is under way (bounded).
    const ULONGLONG giveUpAt = ::GetTickCount64() + kJobWaitMs;
    while (!DocumentInProgress(Entry(kSerialPort)) && ::GetTickCount64() < giveUpAt) {
        std::this_thread::yield();
    }
    {
        ClockTicker ticker(harness_.clock, 500);
        harness_.Shutdown();
        starter.join();
    }
    EXPECT_FALSE(result);
    ASSERT_TRUE(Close());
    harness_.platform.serialDevices = &devices_;
    InstallPlatform(harness_.platform);
}

} // namespace
} // namespace vela::test
