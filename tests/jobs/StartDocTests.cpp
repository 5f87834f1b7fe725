// Start of a document: job state, the spooler's printer and the test page.
#include "JobTestBed.h"

#include "VelaLib2/JobFlags.h"
#include "monitor/JobStream.h"
#include "monitor/MonitorState.h"

namespace vela::test {
namespace {

class StartDocTest : public ::testing::Test {
  protected:
    void SetUp() override { bed.Load(); }
    JobTestBed bed;
};

TEST_F(StartDocTest, RecordsTheDocumentAndOpensThePrinter) {
    TheJobTransferState().announcedCount = 9;
    TheJobTransferState().sentCount = 4;
    TheJobTransferState().heldLength = 3;
    TheJobFlags().printerPrepared = 1;
    TheJobFlags().sendingDisabled = 1;
    EXPECT_TRUE(bed.StartDoc(31));
    MonitorState& state = bed.harness.State();
    EXPECT_EQ(state.m_hPort, bed.port);
    EXPECT_EQ(state.m_JobId, 31u);
    EXPECT_STREQ(state.m_PrintName, L"Vela Printer");
    EXPECT_EQ(TheJobTransferState().announcedCount, 0);
    EXPECT_EQ(TheJobTransferState().sentCount, 0);
    EXPECT_EQ(TheJobTransferState().heldLength, 0);
    EXPECT_EQ(TheJobFlags().printerPrepared, 0);
    EXPECT_EQ(TheJobFlags().sendingDisabled, 0);
    EXPECT_NE(bed.port->flags & kPortDocumentInProgress, 0u);
    EXPECT_STREQ(bed.port->printerName, L"Vela Printer");
    EXPECT_NE(bed.port->printerHandle, nullptr);
    EXPECT_EQ(bed.port->jobId, 31u);
    EXPECT_EQ(state.m_TestPage, 0);
    EXPECT_EQ(ReadLog(), "\r\n\r3D Printer V26.1: StartDocPort\r\r\n");
}

TEST_F(StartDocTest, TestPageIsRecognisedInAnyLetterCase) {
    for (const wchar_t* name : {L"Test Page", L"TEST PAGE", L"tEsT pAgE"}) {
        JobTestBed bed2;
        bed2.spooler.documentName = name;
        bed.harness.Unload();
        bed2.Load();
        bed2.harness.State().m_TestPage = 0;
        EXPECT_TRUE(bed2.StartDoc());
        EXPECT_EQ(bed2.harness.State().m_TestPage, 1) << "document " << std::string(name, name + 9);
        bed2.harness.State().m_TestPage = 0;
    }
}

TEST_F(StartDocTest, OtherDocumentNamesAreNotTheTestPage) {
    bed.spooler.documentName = L"Test Pages";
    EXPECT_TRUE(bed.StartDoc());
    EXPECT_EQ(bed.harness.State().m_TestPage, 0);
}

TEST_F(StartDocTest, JobWithoutDocumentNameIsNotTheTestPage) {
    bed.spooler.documentNamePresent = false;
    EXPECT_TRUE(bed.StartDoc());
    EXPECT_EQ(bed.harness.State().m_TestPage, 0);
}

TEST_F(StartDocTest, SecondStartWhileInProgressOnlyResetsTheCounters) {
    bed.spooler.documentName = L"Test Page";
    ASSERT_TRUE(bed.StartDoc(5));
    HANDLE printer = bed.port->printerHandle;
    TheJobTransferState().sentCount = 12;
    bed.spooler.documentName = L"other";
    EXPECT_TRUE(bed.StartDoc(6));
    EXPECT_EQ(TheJobTransferState().sentCount, 0);
    EXPECT_EQ(bed.port->printerHandle, printer);
    EXPECT_EQ(bed.port->jobId, 5u);
    EXPECT_EQ(bed.harness.State().m_TestPage, 1);
    EXPECT_EQ(bed.spooler.openPrinterCalls, 1);
    // Every call logs, before it looks at the document flag.
    EXPECT_EQ(CountOf(ReadLog(), "3D Printer V26.1: StartDocPort"), 2u);
    bed.harness.State().m_TestPage = 0;
}

TEST_F(StartDocTest, PrinterThatCannotBeOpenedStillStartsTheDocument) {
    bed.spooler.failOpenPrinter = true;
    EXPECT_TRUE(bed.StartDoc(8));
    EXPECT_EQ(bed.port->printerHandle, nullptr);
    EXPECT_EQ(bed.port->jobId, 0u);
    EXPECT_NE(bed.port->flags & kPortDocumentInProgress, 0u);
}

TEST_F(StartDocTest, NullPrinterNameOpensNothingAndProceeds) {
    bed.harness.State().m_PrintName[0] = L'X';
    bed.harness.State().m_PrintName[1] = L'\0';
    EXPECT_TRUE(bed.table->pfnStartDocPort(bed.port, nullptr, 3, 1, nullptr));
    EXPECT_STREQ(bed.harness.State().m_PrintName, L"X");
    EXPECT_EQ(bed.spooler.openPrinterCalls, 0);
    EXPECT_EQ(bed.port->printerName, nullptr);
    EXPECT_NE(bed.port->flags & kPortDocumentInProgress, 0u);
    bed.Write(JobStream(3, 3));
    EXPECT_TRUE(bed.EndDoc());
    EXPECT_EQ(bed.port->flags & kPortDocumentInProgress, 0u);
}

TEST_F(StartDocTest, LongPrinterNameIsCutTo127Characters) {
    const std::wstring longName(300, L'p');
    bed.spooler.printerName = longName;
    EXPECT_TRUE(bed.StartDoc());
    EXPECT_EQ(std::wstring(bed.harness.State().m_PrintName), longName.substr(0, 127));
    EXPECT_EQ(std::wstring(bed.port->printerName), longName);
}

} // namespace
} // namespace vela::test
