// "M115" once a connection, and firmware that reports temperatures on its own:
// "M155 S2" first in each document, "M155 S0" before the final "M400" and after
// the cancel lines, neither of them a line of the document.
#include "core/PortSettings.h"
#include "serial/SerialLinkTest.h"

#include <algorithm>

namespace vela::test {
namespace {

class FirmwareIdentity : public SerialLinkTest {
  protected:
    void SetUp() override {
        SerialLinkTest::SetUp();
        FirmwareOptions options;
        options.autoReportCapable = true;
        StartFirmware(options);
    }
    int Asked() const {
        const std::vector<std::string> received = firmware_->Received();
        return static_cast<int>(std::count(received.begin(), received.end(), "M115"));
    }
    DocumentProgress Progress() {
        return static_cast<PortSession*>(Entry(kSerialPort)->session)->serial->Progress();
    }
    // A document of these commands on such firmware, as it runs them.
    static std::vector<std::string> Reported(const std::vector<std::string>& commands) {
        std::vector<std::string> document{"M110 N0", "M155 S2"};
        document.insert(document.end(), commands.begin(), commands.end());
        document.insert(document.end(), {"M155 S0", "M400"});
        return document;
    }
};

// Asked once a connection, named in the first document's progress only; each
// document reports on its own while it runs. Closed and opened again: asked again.
TEST_F(FirmwareIdentity, AskedOnceAConnectionAndEachDocumentHasItsReports) {
    ASSERT_TRUE(Open());
    Print(Job(1, 2));
    EXPECT_TRUE(Progress().firmwareNamed);
    EXPECT_STREQ(Progress().firmware.name, "Vela Simulated Firmware 2.1.2");
    EXPECT_TRUE(Progress().firmware.autoReportsTemperatures);
    Print(Job(3, 1));
    EXPECT_FALSE(Progress().firmwareNamed);
    EXPECT_EQ(Asked(), 1);
    std::vector<std::string> expected = Reported(JobCommands(1, 2));
    for (const std::string& line : Reported(JobCommands(3, 1))) {
        expected.push_back(line);
    }
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), expected);
    EXPECT_EQ(spooler_.prompts.size(), 2u);
    ASSERT_TRUE(Close());
    ASSERT_TRUE(Open());
    Print(Job(4, 1));
    EXPECT_EQ(Asked(), 2);
    EXPECT_TRUE(Progress().firmwareNamed);
}

// An empty document, and one deleted before any line of its own: the report
// lines alone touched nothing, so no prompt and no cancel lines.
TEST_F(FirmwareIdentity, TheReportLinesAloneAreNoPrint) {
    ASSERT_TRUE(Open());
    Print("");
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), Reported({}));
    EXPECT_TRUE(spooler_.prompts.empty());
    ASSERT_TRUE(StartDoc());
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(6, kJobWaitMs));
    spooler_.jobStatus = JOB_STATUS_DELETING;
    ASSERT_TRUE(LookUntil(L"Cancelling"));
    EndDocMovingTheClock();
    std::vector<std::string> expected = Reported({});
    expected.insert(expected.end(), {"M110 N0", "M155 S2", "M155 S0"});
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), expected);
    EXPECT_TRUE(spooler_.prompts.empty());
}

// Cancelled on the printer mid-document: the cancel lines, then "M155 S0".
TEST_F(FirmwareIdentity, ReportsStopAfterTheCancelLines) {
    firmware_.reset();
    FirmwareOptions options;
    options.autoReportCapable = true;
    options.sayBeforeOkOfLines = {{3, "//action:cancel"}};
    StartFirmware(options);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(StartDoc());
    ASSERT_TRUE(Write(Job(1, 4)));
    std::vector<std::string> expected{"M110 N0", "M155 S2", JobCommands(1, 2)[0],
                                      JobCommands(1, 2)[1]};
    for (const std::string& line : DefaultCancelLines()) {
        expected.push_back(line);
    }
    expected.push_back("M155 S0");
    ASSERT_TRUE(firmware_->WaitForNumberedExecuted(expected.size(), kJobWaitMs));
    EndDocMovingTheClock();
    EXPECT_EQ(firmware_->ExecutedNumberedCommands(), expected);
}

} // namespace
} // namespace vela::test
