// Every way a USB document can end early (Shutdown, ClosePort without EndDocPort,
// a second StartDocPort on the same handle), at every point of the transfer: the
// printer gets an abort only for a print that started, and only once; a prepared
// printer is reset with its heaters off; one never prepared hears nothing. The
// spooler is never told that such a document printed.
#include "JobTestBed.h"

#include "monitor/SpoolerJob.h"
#include "sim/RegistryMonitorInit.h"
#include "usb/PrinterDevice.h"
#include "usb/PrinterPackets.h"

#include <thread>

namespace vela::test {
namespace {

enum class Sent { Nothing, Half, Whole };
enum class Ender { Shutdown, ClosePort, Restart };

struct EndingCase {
    Sent sent;
    Ender ender;
    // Aborts (the Z jog is the abort's own), resets without an abort, packets at all.
    int aborts;
    int resets;
    bool touched;
};

constexpr EndingCase kEndings[] = {
    {Sent::Nothing, Ender::Shutdown, 0, 0, false}, {Sent::Nothing, Ender::ClosePort, 0, 0, false},
    {Sent::Nothing, Ender::Restart, 0, 0, false},  {Sent::Half, Ender::Shutdown, 0, 1, true},
    {Sent::Half, Ender::ClosePort, 0, 1, true},    {Sent::Half, Ender::Restart, 0, 1, true},
    {Sent::Whole, Ender::Shutdown, 1, 0, true},    {Sent::Whole, Ender::ClosePort, 1, 0, true},
    {Sent::Whole, Ender::Restart, 1, 0, true},
};

TEST(DocumentEnding, EarlyEndsLeaveTheUsbPrinterSafeAndTheJobFailed) {
    for (const EndingCase& item : kEndings) {
        SCOPED_TRACE(testing::Message() << "sent " << static_cast<int>(item.sent) << ", ended by "
                                        << static_cast<int>(item.ender));
        JobTestBed bed;
        bed.Load();
        ASSERT_TRUE(bed.StartDoc(21));
        if (item.sent != Sent::Nothing) {
            bed.Write(JobStream(30, item.sent == Sent::Whole ? 30 : 10));
        }
        const size_t packets = bed.printer.received.size();
        const int stopsAll = bed.printer.CountCode(request::kStopAll);
        const int jogs = bed.printer.CountCode(request::kJog);
        HANDLE handle = bed.Handle();
        switch (item.ender) {
        case Ender::Shutdown:
            bed.harness.Shutdown();
            // Its own EndDocPort later fails and touches nothing.
            ::SetLastError(0);
            EXPECT_FALSE(bed.table->pfnEndDocPort(handle));
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
            // No document starts on a monitor that has shut down.
            ::SetLastError(0);
            EXPECT_FALSE(bed.StartDoc(23));
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
            break;
        case Ender::ClosePort:
            bed.CloseHandles();
            break;
        case Ender::Restart:
            ASSERT_TRUE(bed.StartDoc(22));
            break;
        }
        EXPECT_EQ(bed.printer.CountCode(request::kJog) - jogs, item.aborts);
        EXPECT_EQ(bed.printer.CountCode(request::kStopAll) - stopsAll, item.aborts + item.resets);
        EXPECT_EQ(bed.printer.received.size() > packets, item.touched);
        if (item.touched) {
            EXPECT_EQ(bed.printer.parameters[parameter::kNozzle1Heating], 0);
            EXPECT_EQ(bed.printer.parameters[parameter::kPlatformHeating], 0);
        }
        // Never reported as printed: retained in error, with the reason.
        ASSERT_EQ(bed.spooler.setJobCalls.size(), 1u);
        EXPECT_EQ(bed.spooler.setJobCalls[0].jobId, 21u);
        EXPECT_EQ(bed.spooler.setJobCalls[0].command, kJobControlRetain);
        ASSERT_EQ(bed.spooler.errorTexts.size(), 1u);
        EXPECT_EQ(bed.spooler.errorTexts[0],
                  item.ender == Ender::Shutdown ? L"The print monitor stopped before the "
                                                  L"document ended"
                  : item.ender == Ender::ClosePort ? L"The port closed before the document ended"
                                                   : L"A new document began before this one ended");
        EXPECT_TRUE(bed.spooler.prompts.empty());
        if (item.ender == Ender::Restart) {
            // The new document is a document of its own, start to end.
            bed.Write(JobStream(5, 5));
            EXPECT_TRUE(bed.EndDoc());
            ASSERT_EQ(bed.spooler.prompts.size(), 1u);
            EXPECT_EQ(bed.spooler.prompts[0].jobId, 22u);
        }
    }
}

// A WritePort under way when Shutdown comes stops at its next batch: the rest of
// the job never reaches the printer, nothing starts, and the printer is reset.
TEST(DocumentEnding, ShutdownStopsAUsbTransferUnderWay) {
    JobTestBed bed;
    bed.Load();
    ASSERT_TRUE(bed.StartDoc(21));
    const UniqueHandle sending(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bed.spooler.onStatus = [&](const wchar_t* text) {
        if (text != nullptr && std::wstring(text).rfind(L"Sending to printer: ", 0) == 0 &&
            ::WaitForSingleObject(sending.Get(), 0) != WAIT_OBJECT_0) {
            ::SetEvent(sending.Get());
            // Shutdown asks the document to end while this call holds it.
            for (int look = 0; look < 5000 && bed.Document().EndRequested() == DocumentEnd::None;
                 ++look) {
                ::Sleep(1);
            }
        }
    };
    std::thread stopper([&] {
        if (::WaitForSingleObject(sending.Get(), 60000) == WAIT_OBJECT_0) {
            bed.harness.Shutdown();
        }
    });
    bed.Write(JobStream(300, 300), 300 * 20 + 4);
    stopper.join();
    EXPECT_LT(bed.printer.records.size(), 300u);
    EXPECT_FALSE(bed.printer.programStarted);
    EXPECT_EQ(bed.printer.CountCode(request::kJog), 0);
    EXPECT_EQ(bed.printer.parameters[parameter::kNozzle1Heating], 0);
    ASSERT_EQ(bed.spooler.setJobCalls.size(), 1u);
    EXPECT_EQ(bed.spooler.setJobCalls[0].command, kJobControlRetain);
}

// A port whose device cannot be read is no USB port: taken for one, a serial
// printer's G-code would go out framed as records to whatever USB printer is there.
TEST(DocumentEnding, PortWhoseDeviceCannotBeReadStartsNoDocument) {
    JobTestBed bed;
    bed.Load();
    RegistryMonitorInit::FailCreateKeyWith(ERROR_ACCESS_DENIED);
    ::SetLastError(0);
    EXPECT_FALSE(bed.StartDoc(21));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    RegistryMonitorInit::FailCreateKeyWith(0);
    DWORD written = 0;
    std::vector<uint8_t> job = JobStream(2, 2);
    EXPECT_FALSE(bed.table->pfnWritePort(bed.Handle(), job.data(), static_cast<DWORD>(job.size()),
                                         &written));
    EXPECT_TRUE(bed.printer.received.empty());
    EXPECT_FALSE(bed.EndDoc());
    EXPECT_TRUE(bed.printer.received.empty());
}

} // namespace
} // namespace vela::test
