// The two-call read of the spooler's job (size, then the job) behind every job
// check and status text.
#include "JobTestBed.h"

#include "monitor/SpoolerJob.h"

namespace vela::test {
namespace {

TEST(SpoolerJobRead, SizeQueryThenJob) {
    JobTestBed bed;
    bed.Load();
    HANDLE printer = nullptr;
    ASSERT_TRUE(bed.spooler.OpenPrinterW(&bed.spooler.printerName[0], &printer, nullptr));
    const struct {
        const char* name;
        DWORD sizeQueryError;
        bool failSecondCall;
        bool knownPrinter;
        JobRead read;
        int calls;
    } cases[] = {
        {"read", ERROR_INSUFFICIENT_BUFFER, false, true, JobRead::Read, 2},
        {"size query refused", ERROR_ACCESS_DENIED, false, true, JobRead::SizeUnknown, 1},
        {"unknown printer", ERROR_INSUFFICIENT_BUFFER, false, false, JobRead::SizeUnknown, 1},
        {"second call refused", ERROR_INSUFFICIENT_BUFFER, true, true, JobRead::Unreadable, 2},
    };
    for (const auto& c : cases) {
        bed.spooler.sizeQueryError = c.sizeQueryError;
        bed.spooler.failSecondGetJob = c.failSecondCall;
        bed.spooler.getJobCalls = 0;
        std::unique_ptr<BYTE[]> buffer;
        EXPECT_EQ(ReadJob(c.knownPrinter ? printer : nullptr, 9, buffer), c.read) << c.name;
        EXPECT_EQ(bed.spooler.getJobCalls.load(), c.calls) << c.name;
        if (c.read == JobRead::Read) {
            const auto* job = reinterpret_cast<const JOB_INFO_1W*>(buffer.get());
            EXPECT_EQ(job->JobId, 9u);
            EXPECT_STREQ(job->pDocument, L"model.gcode");
        }
    }
    bed.spooler.ClosePrinter(printer);
}

} // namespace
} // namespace vela::test
