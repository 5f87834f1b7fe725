// A whole G-code document through the table, as the spooler sends it to a serial
// printer: OpenPort, StartDocPort, WritePort pieces, EndDocPort, ClosePort.
#include "doubles/FakeSpooler.h"
#include "serial/SerialLinkTest.h"

namespace vela::test {
namespace {

class WholeSerialDocument : public SerialLinkTest {
  protected:
    void SetUp() override {
        // The spooler's printer and job calls; the harness clock makes the poll instant.
        harness_.platform.spooler = &spooler_;
        SerialLinkTest::SetUp();
    }
    FakeSpooler spooler_;
};

TEST_F(WholeSerialDocument, DocumentArrivesOnceAndInOrder) {
    FirmwareOptions options;
    options.corruptLines = {7, 19};
    StartFirmware(options);
    ASSERT_TRUE(Open());
    std::wstring printer = spooler_.printerName;
    ASSERT_TRUE(table_->pfnStartDocPort(port_, &printer[0], 12, 1, nullptr));
    const std::string job = "; sliced model\n" + Job(1, 40);
    // Pieces cut anywhere, also inside lines and comments.
    for (size_t offset = 0; offset < job.size(); offset += 37) {
        std::string piece = job.substr(offset, 37);
        DWORD written = 0;
        ASSERT_TRUE(table_->pfnWritePort(port_, reinterpret_cast<LPBYTE>(&piece[0]),
                                         static_cast<DWORD>(piece.size()), &written));
        EXPECT_EQ(written, piece.size());
    }
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(40, kJobWaitMs));
    EXPECT_TRUE(table_->pfnEndDocPort(port_));
    EXPECT_TRUE(Close());
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), JobCommands(1, 40));
    EXPECT_EQ(firmware_->Stats().maxLinesInFlight, 1u);
    // The spooler job is settled as for any document.
    ASSERT_EQ(spooler_.setJobCalls.size(), 1u);
    EXPECT_EQ(spooler_.setJobCalls[0].jobId, 12u);
    EXPECT_EQ(State().m_LineQueue.Count(), 0u);
}

} // namespace
} // namespace vela::test
