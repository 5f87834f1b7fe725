// "print JOB" end to end: the monitor's own code in this process, the host playing
// the spooler's part, the simulated USB printer on the other side.
#include "JobFile.h"
#include "UsbPrint.h"
#include "sim/LogFile.h"

#include <gtest/gtest.h>

namespace vela::host {
namespace {

class UsbPrintTest : public ::testing::Test {
  protected:
    void SetUp() override { test::ResetLog(); }
    void TearDown() override { ::_wremove(kJob); }

    int Print(const std::vector<uint8_t>& stream, uint32_t piece = 4096) {
        EXPECT_TRUE(WriteWholeFile(kJob, stream));
        HostArguments arguments;
        arguments.command = Command::PrintUsb;
        arguments.path = kJob;
        arguments.piece = piece;
        arguments.printSeconds = 0.0;
        return PrintOnUsbPrinter(arguments);
    }

    static constexpr const wchar_t* kJob = L"host_tests_print.job";
};

TEST_F(UsbPrintTest, CompleteJobIsSupervisedAndEndsWithThePrompt) {
    EXPECT_EQ(Print(MakeJobStream(2000)), 0);
    const std::string log = test::ReadLog();
    EXPECT_NE(log.find("3D Printer V26.4: EndDocPort, Totoal Send:2000, Max Cmd:2000"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Start print in write port"), std::string::npos);
    // The simulated program runs 30 s of printer time: polls until it is done.
    size_t polls = 0;
    for (size_t at = log.find("Print is Runing"); at != std::string::npos;
         at = log.find("Print is Runing", at + 1)) {
        ++polls;
    }
    EXPECT_EQ(polls, kSimulatedPrintMs / 5000);
    EXPECT_NE(log.find("Shutdown monitor port"), std::string::npos);
}

TEST_F(UsbPrintTest, AnyPieceSizeGivesTheSameCompleteJob) {
    EXPECT_EQ(Print(MakeJobStream(500), 7), 0);
    EXPECT_NE(test::ReadLog().find("Totoal Send:500, Max Cmd:500"), std::string::npos);
}

TEST_F(UsbPrintTest, JobThatStopsShortIsNotComplete) {
    std::vector<uint8_t> stream = MakeJobStream(300);
    stream[0] = 0xF4; // announces 500
    stream[1] = 0x01;
    EXPECT_EQ(Print(stream), 1);
    EXPECT_NE(test::ReadLog().find("Totoal Send:300, Max Cmd:500"), std::string::npos);
}

TEST_F(UsbPrintTest, JobWithoutRecordsIsNotComplete) {
    EXPECT_EQ(Print(MakeJobStream(0)), 1);
}

TEST_F(UsbPrintTest, MissingFileIsNotRunAtAll) {
    HostArguments arguments;
    arguments.command = Command::PrintUsb;
    arguments.path = L"no such job.bin";
    EXPECT_EQ(PrintOnUsbPrinter(arguments), 2);
    EXPECT_EQ(test::ReadLog().find("StartDocPort"), std::string::npos);
}

} // namespace
} // namespace vela::host
