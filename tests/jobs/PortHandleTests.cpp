// The spooler's port handles: one OpenPort, then document after document, then
// ClosePort; two queues on one port, each handle ending only what it started, from
// two spooler threads at once.
#include "JobTestBed.h"

#include "platform/Handles.h"

#include <thread>

namespace vela::test {
namespace {

// Waits that only run out when something is broken.
constexpr DWORD kWaitMs = 30000;

class PortHandleTest : public ::testing::Test {
  protected:
    void SetUp() override { bed.Load(); }
    HANDLE OpenSecond() {
        HANDLE second = nullptr;
        std::wstring name = bed.port->name;
        EXPECT_TRUE(bed.table->pfnOpenPort(bed.harness.MonitorHandle(), &name[0], &second));
        return second;
    }
    BOOL WriteTo(HANDLE port, std::vector<uint8_t> bytes, DWORD* written) {
        return bed.table->pfnWritePort(port, bytes.data(), static_cast<DWORD>(bytes.size()),
                                       written);
    }
    JobTestBed bed;
};

// Bytes without a document of their own go nowhere, and say so.
TEST_F(PortHandleTest, WritePortWithoutItsOwnDocumentFails) {
    struct Case {
        const char* when;
        DWORD error;
    };
    const Case cases[] = {
        {"before any StartDocPort", ERROR_INVALID_PARAMETER},
        {"after a failed StartDocPort", ERROR_NOT_READY},
        {"after EndDocPort", ERROR_INVALID_PARAMETER},
    };
    HANDLE other = OpenSecond();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.when);
        if (c.error == ERROR_NOT_READY) {
            // The other queue prints: this handle's StartDocPort is refused.
            ASSERT_TRUE(
                bed.table->pfnStartDocPort(other, &bed.spooler.printerName[0], 3, 1, nullptr));
            ::SetLastError(0);
            EXPECT_FALSE(bed.StartDoc(4));
            EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_BUSY));
        } else if (std::string(c.when) == "after EndDocPort") {
            ASSERT_TRUE(bed.StartDoc(5));
            bed.Write(JobStream(2, 2));
            ASSERT_TRUE(bed.EndDoc());
        }
        const size_t packets = bed.printer.received.size();
        DWORD written = 99;
        ::SetLastError(0);
        EXPECT_FALSE(WriteTo(bed.Handle(), JobStream(3, 3), &written));
        EXPECT_EQ(::GetLastError(), c.error);
        EXPECT_EQ(written, 0u);
        EXPECT_EQ(bed.printer.received.size(), packets) << bed.printer.Codes();
        if (c.error == ERROR_NOT_READY) {
            EXPECT_TRUE(bed.table->pfnEndDocPort(other));
            bed.printer.parameters[16] = 1;
        }
    }
    EXPECT_TRUE(bed.table->pfnClosePort(other));
}

// The spooler's order: one OpenPort, many documents, one ClosePort. Each prompt
// names the document that just completed, at its own EndDocPort.
TEST_F(PortHandleTest, DocumentsOnOneOpenPortPromptEachForItsOwnJob) {
    const DWORD jobs[] = {100059, 100060, 100061, 100062};
    for (const DWORD job : jobs) {
        SCOPED_TRACE(job);
        bed.printer.parameters[16] = 1;
        const size_t prompts = bed.spooler.prompts.size();
        ASSERT_TRUE(bed.StartDoc(job));
        if (job == 100060) {
            // Never ended: the next StartDocPort starts a document of its own.
            bed.Write(JobStream(4, 2));
            continue;
        }
        bed.Write(JobStream(3, 3));
        EXPECT_EQ(bed.spooler.prompts.size(), prompts);
        EXPECT_TRUE(bed.EndDoc());
        ASSERT_EQ(bed.spooler.prompts.size(), prompts + 1);
        EXPECT_EQ(bed.spooler.prompts.back().jobId, job);
    }
    EXPECT_EQ(bed.spooler.prompts.size(), 3u);
    EXPECT_EQ(bed.spooler.openPrinters, 0);
}

// Two queues on one port: the second's calls, one of them on its own thread while
// the first's EndDocPort supervises the print, leave the first's document whole.
TEST_F(PortHandleTest, SecondHandleLeavesTheFirstHandlesDocumentAlone) {
    HANDLE second = OpenSecond();
    ASSERT_TRUE(bed.StartDoc(21));
    const std::vector<uint8_t> stream = JobStream(30, 30);
    const std::vector<uint8_t> head(stream.begin(), stream.begin() + 304);
    const std::vector<uint8_t> tail(stream.begin() + 304, stream.end());
    bed.Write(head);
    ::SetLastError(0);
    EXPECT_FALSE(bed.table->pfnStartDocPort(second, &bed.spooler.printerName[0], 22, 1, nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_BUSY));
    DWORD written = 0;
    EXPECT_FALSE(WriteTo(second, tail, &written));
    EXPECT_FALSE(bed.table->pfnEndDocPort(second));
    bed.Write(tail);
    EXPECT_EQ(bed.printer.records.size(), 30u);
    EXPECT_TRUE(bed.printer.programStarted);

    // At the first poll the first handle's EndDocPort waits until the second
    // handle's ClosePort, on another thread, has returned.
    const UniqueHandle polling(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const UniqueHandle closed(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool held = false;
    bed.spooler.onStatus = [&](const wchar_t* text) {
        if (!held && text != nullptr && std::wstring(text).rfind(L"Printing", 0) == 0) {
            held = true;
            ::SetEvent(polling.Get());
            EXPECT_EQ(::WaitForSingleObject(closed.Get(), kWaitMs), WAIT_OBJECT_0);
        }
    };
    BOOL closedResult = FALSE;
    std::thread closer([&] {
        if (::WaitForSingleObject(polling.Get(), kWaitMs) == WAIT_OBJECT_0) {
            closedResult = bed.table->pfnClosePort(second);
        }
        ::SetEvent(closed.Get());
    });
    EXPECT_TRUE(bed.EndDoc());
    closer.join();
    EXPECT_TRUE(held);
    EXPECT_TRUE(closedResult);
    ASSERT_EQ(bed.spooler.prompts.size(), 1u);
    EXPECT_EQ(bed.spooler.prompts[0].jobId, 21u);
    ASSERT_EQ(bed.spooler.setJobCalls.size(), 1u);
    EXPECT_EQ(bed.spooler.setJobCalls[0].command, static_cast<DWORD>(JOB_CONTROL_SENT_TO_PRINTER));
    EXPECT_EQ(bed.spooler.openPrinters, 0);
}

// Shutdown while a document's EndDocPort is under way on another thread waits for
// that call and frees nothing it uses: the call aborts the print itself (once),
// fails, and the port goes with its ClosePort.
TEST_F(PortHandleTest, ShutdownDuringEndDocPortWaitsForTheCallToEndThePrint) {
    ASSERT_TRUE(bed.StartDoc(23));
    bed.Write(JobStream(30, 30));
    const UniqueHandle polling(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const UniqueHandle shutDown(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool held = false;
    bed.spooler.onStatus = [&](const wchar_t* text) {
        if (!held && text != nullptr && std::wstring(text).rfind(L"Printing", 0) == 0) {
            held = true;
            ::SetEvent(polling.Get());
            // Until Shutdown has asked the document to end (bounded).
            for (int look = 0; look < 5000 && bed.Document().EndRequested() == DocumentEnd::None;
                 ++look) {
                ::Sleep(1);
            }
        }
    };
    std::thread stopper([&] {
        if (::WaitForSingleObject(polling.Get(), kWaitMs) == WAIT_OBJECT_0) {
            bed.harness.Shutdown();
        }
        ::SetEvent(shutDown.Get());
    });
    const size_t aborts = static_cast<size_t>(bed.printer.CountCode('s'));
    ::SetLastError(0);
    EXPECT_FALSE(bed.EndDoc());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    stopper.join();
    EXPECT_TRUE(held);
    // Aborted once, by the document's own call, and no prompt for a print cut short.
    EXPECT_EQ(static_cast<size_t>(bed.printer.CountCode('s')), aborts + 4);
    EXPECT_TRUE(bed.spooler.prompts.empty());
    ASSERT_FALSE(bed.spooler.errorTexts.empty());
    EXPECT_EQ(bed.spooler.errorTexts.back(),
              L"The print monitor stopped before the document ended");
    EXPECT_EQ(bed.spooler.openPrinters, 0);
    bed.CloseHandles();
}

} // namespace
} // namespace vela::test
