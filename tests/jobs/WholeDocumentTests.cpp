// Whole documents through the table, from OpenPort to ClosePort, as the spooler
// sends them.
#include "JobTestBed.h"

#include "monitor/WritePort.h"

namespace vela::test {
namespace {

class WholeDocumentTest : public ::testing::Test {
  protected:
    void SetUp() override { bed.Load(); }

    // OpenPort, StartDocPort, WritePort pieces, EndDocPort, ClosePort.
    void PrintDocument(const std::vector<uint8_t>& stream, size_t piece, DWORD jobId) {
        HANDLE port = nullptr;
        std::wstring name = L"Quarlend1:";
        ASSERT_TRUE(bed.table->pfnOpenPort(bed.harness.MonitorHandle(), &name[0], &port));
        ASSERT_EQ(EntryOf(port), bed.port);
        bed.handle = port;
        ASSERT_TRUE(bed.StartDoc(jobId));
        bed.Write(stream, piece);
        EXPECT_TRUE(bed.EndDoc());
        EXPECT_TRUE(bed.table->pfnClosePort(port));
        bed.handle = nullptr;
    }

    JobTestBed bed;
};

TEST_F(WholeDocumentTest, UsbDocumentFromOpenToClose) {
    PrintDocument(JobStream(250, 250), 4096, 11);
    EXPECT_EQ(bed.printer.records.size(), 250u);
    EXPECT_TRUE(bed.printer.programStarted);
    EXPECT_EQ(bed.spooler.prompts.size(), 1u);
    EXPECT_EQ(bed.spooler.setJobCalls.size(), 1u);
    // USB jobs leave nothing behind for a serial printer.
    const std::string log = ReadLog();
    EXPECT_NE(log.find("Start print in write port"), std::string::npos);
    EXPECT_NE(log.find("Totoal Send:250, Max Cmd:250"), std::string::npos);
}

TEST_F(WholeDocumentTest, DocumentsFollowOneAnother) {
    // The printer is ready for the next job once the user has removed the model.
    PrintDocument(JobStream(40, 40), 333, 1);
    bed.printer.parameters[16] = 1;
    PrintDocument(JobStream(70, 70), 1000, 2);
    bed.printer.parameters[16] = 1;
    PrintDocument(JobStream(10, 10), 7, 3);
    EXPECT_EQ(bed.printer.records.size(), 120u);
    ASSERT_EQ(bed.spooler.prompts.size(), 3u);
    EXPECT_EQ(bed.spooler.prompts[2].jobId, 3u);
    EXPECT_EQ(bed.Document().transfer.sentCount, 10);
}

TEST_F(WholeDocumentTest, OpenPortOfUnknownPortFails) {
    HANDLE port = nullptr;
    std::wstring name = L"Nowhere:";
    EXPECT_FALSE(bed.table->pfnOpenPort(bed.harness.MonitorHandle(), &name[0], &port));
    EXPECT_EQ(port, nullptr);
}

} // namespace
} // namespace vela::test
