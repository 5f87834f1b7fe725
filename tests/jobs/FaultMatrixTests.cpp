// A whole USB job with the printer unplugged at every possible transfer: every run
// must end, stay bounded in time, report success to the spooler only when the whole
// job reached the printer and its print started, and leave the printer reset
// exactly when records went missing or the print did not start.
#include "JobTestBed.h"

#include "usb/JobFlags.h"
#include "monitor/WritePort.h"

#include <chrono>
#include <cstdio>

namespace vela::test {
namespace {

constexpr int32_t kRecords = 24;
constexpr size_t kPiece = 50; // several WritePort calls, each one a new connection
constexpr ULONGLONG kBoundMs = 10 * 60 * 1000;
const char kResetSequence[] = "cVVVssssSV";

struct RunResult {
    BOOL endDoc = FALSE;
    ULONGLONG elapsedMs = 0;
    size_t recordsArrived = 0;
    bool resetReachedPrinter = false;
    size_t prompts = 0;
    int32_t transfers = 0;
    int32_t sentCount = 0;
    bool printStarted = false;
};

enum class Fault { None, UnpluggedFromTransfer, ReplugBeforeEndDoc };

RunResult RunJob(Fault fault, int32_t transfer) {
    JobTestBed bed;
    bed.Load();
    if (fault != Fault::None) {
        bed.printer.unplugAtTransfer = transfer;
    }
    RunResult result;
    bed.StartDoc();
    bed.Write(JobStream(kRecords, kRecords), kPiece);
    if (fault == Fault::ReplugBeforeEndDoc) {
        bed.printer.unplugAtTransfer = 0;
        bed.printer.unplugged = false;
    }
    const size_t packetsBeforeEndDoc = bed.printer.received.size();
    result.sentCount = bed.Document().transfer.sentCount;
    result.printStarted = bed.Document().jobFlags.printStarted != 0;
    result.endDoc = bed.EndDoc();
    result.elapsedMs = bed.harness.clock.now;
    result.recordsArrived = bed.printer.records.size();
    result.resetReachedPrinter =
        bed.printer.Codes().substr(packetsBeforeEndDoc).find(kResetSequence) != std::string::npos;
    result.prompts = bed.spooler.prompts.size();
    result.transfers = bed.printer.transfers;
    return result;
}

TEST(FaultMatrix, UnpluggedOrReplugged_AtEveryTransfer) {
    const auto started = std::chrono::steady_clock::now();
    const RunResult clean = RunJob(Fault::None, 0);
    ASSERT_TRUE(clean.endDoc);
    ASSERT_EQ(clean.recordsArrived, static_cast<size_t>(kRecords));
    ASSERT_FALSE(clean.resetReachedPrinter);
    ASSERT_EQ(clean.prompts, 1u);
    const int32_t total = clean.transfers;
    ASSERT_GT(total, 20);

    int runs = 0;
    for (Fault fault : {Fault::UnpluggedFromTransfer, Fault::ReplugBeforeEndDoc}) {
        for (int32_t k = 1; k <= total; ++k) {
            const RunResult run = RunJob(fault, k);
            ++runs;
            SCOPED_TRACE(::testing::Message()
                         << (fault == Fault::UnpluggedFromTransfer ? "unplugged" : "replugged")
                         << " from transfer " << k << " of " << total);
            EXPECT_LE(run.elapsedMs, kBoundMs);
            const bool missing = run.recordsArrived < static_cast<size_t>(kRecords);
            // A job that did not print is never reported as printed.
            EXPECT_EQ(run.endDoc != FALSE, !missing && run.printStarted);
            // A record the printer never received is never counted as sent.
            EXPECT_LE(static_cast<size_t>(run.sentCount), run.recordsArrived);
            // The user is asked to remove a model only when the whole job arrived.
            if (missing || !run.printStarted) {
                EXPECT_EQ(run.prompts, 0u);
            }
            if (fault == Fault::ReplugBeforeEndDoc) {
                EXPECT_EQ(run.resetReachedPrinter, missing || !run.printStarted);
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("fault matrix: %d runs over %d transfers in %.2f s\n", runs, total, seconds);
}

} // namespace
} // namespace vela::test
