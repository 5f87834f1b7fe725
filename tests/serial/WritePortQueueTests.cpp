// Which documents WritePort hands to the protocol handler as G-code lines.
#include "VelaLib2/JobFlags.h"
#include "monitor/JobStream.h"
#include "serial/SerialLinkTest.h"

namespace vela::test {
namespace {

class WritePortQueue : public SerialLinkTest {
  protected:
    void SetUp() override {
        SerialLinkTest::SetUp();
        ResetDocument();
    }
    void TearDown() override {
        ResetDocument();
        SerialLinkTest::TearDown();
    }

    // What StartDocPort does for every document.
    void ResetDocument() {
        State().m_TestPage = 0;
        TheJobTransferState() = JobTransferState{};
        TheJobFlags() = JobFlags{};
    }

    void Write(const std::string& text) {
        DWORD written = 0;
        ASSERT_TRUE(WritePort(State(), port_,
                              reinterpret_cast<LPBYTE>(const_cast<char*>(text.data())),
                              static_cast<DWORD>(text.size()), &written));
        EXPECT_EQ(written, text.size());
    }
};

TEST_F(WritePortQueue, SerialPrinterGetsTheDocumentAsLines) {
    StartFirmware();
    ASSERT_TRUE(Open());
    Write("G28\nG1 X1");
    Write("0 Y2\nM400\n");
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(3, kJobWaitMs));
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(),
              (std::vector<std::string>{"G28", "G1 X10 Y2", "M400"}));
}

TEST_F(WritePortQueue, EmptyPieceForASerialPrinterIsRefusedByTheLineQueue) {
    ASSERT_TRUE(Open());
    DWORD written = 5;
    uint8_t nothing = 0;
    EXPECT_FALSE(WritePort(State(), port_, &nothing, 0, &written));
    EXPECT_EQ(written, 0u);
}

TEST_F(WritePortQueue, UsbPrintersDocumentIsNotQueued) {
    ASSERT_TRUE(Open(kUsbPort));
    Write("G1 X5\nM84\n");
    EXPECT_EQ(State().m_LineQueue.Count(), 0u);
    ASSERT_TRUE(Close());
    // Nothing of it reaches the next serial printer.
    StartFirmware();
    ASSERT_TRUE(Open());
    Write("G28\n");
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(1, kJobWaitMs));
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), std::vector<std::string>{"G28"});
}

TEST_F(WritePortQueue, TestPageIsNotSentToASerialPrinter) {
    StartFirmware();
    ASSERT_TRUE(Open());
    State().m_TestPage = 1;
    Write("This is a Windows test page\nG1 X99\n");
    State().m_TestPage = 0;
    Write("G28\n");
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(1, kJobWaitMs));
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), std::vector<std::string>{"G28"});
}

} // namespace
} // namespace vela::test
