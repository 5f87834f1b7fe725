// Start of a document: job state, the spooler's printer and the test page.
#include "JobTestBed.h"

#include "usb/JobFlags.h"
#include "monitor/WritePort.h"
#include "core/MonitorState.h"

namespace vela::test {
namespace {

class StartDocTest : public ::testing::Test {
  protected:
    void SetUp() override { bed.Load(); }
    JobTestBed bed;
};

TEST_F(StartDocTest, RecordsTheDocumentAndOpensThePrinter) {
    bed.Document().transfer.announcedCount = 9;
    bed.Document().transfer.sentCount = 4;
    bed.Document().transfer.heldLength = 3;
    bed.Document().jobFlags.printerPrepared = 1;
    bed.Document().jobFlags.sendingDisabled = 1;
    EXPECT_TRUE(bed.StartDoc(31));
    EXPECT_EQ(bed.Document().transfer.announcedCount, 0);
    EXPECT_EQ(bed.Document().transfer.sentCount, 0);
    EXPECT_EQ(bed.Document().transfer.heldLength, 0);
    EXPECT_EQ(bed.Document().jobFlags.printerPrepared, 0);
    EXPECT_EQ(bed.Document().jobFlags.sendingDisabled, 0);
    EXPECT_TRUE(DocumentInProgress(bed.port));
    EXPECT_STREQ(bed.Document().printerName.Get(), L"Vela Printer");
    EXPECT_NE(bed.Document().printer.Get(), nullptr);
    EXPECT_EQ(bed.Document().jobId, 31u);
    EXPECT_EQ(bed.Document().testPage, false);
    EXPECT_EQ(ReadLog(), "\r\n\r3D Printer V26.1: StartDocPort\r\r\n");
}

TEST_F(StartDocTest, TestPageIsRecognisedInAnyLetterCase) {
    for (const wchar_t* name : {L"Test Page", L"TEST PAGE", L"tEsT pAgE"}) {
        JobTestBed bed2;
        bed2.spooler.documentName = name;
        bed.harness.Unload();
        bed2.Load();
        EXPECT_TRUE(bed2.StartDoc());
        EXPECT_EQ(bed2.Document().testPage, true) << "document " << std::string(name, name + 9);
    }
}

TEST_F(StartDocTest, OtherDocumentNamesAreNotTheTestPage) {
    bed.spooler.documentName = L"Test Pages";
    EXPECT_TRUE(bed.StartDoc());
    EXPECT_EQ(bed.Document().testPage, false);
}

TEST_F(StartDocTest, JobWithoutDocumentNameIsNotTheTestPage) {
    bed.spooler.documentNamePresent = false;
    EXPECT_TRUE(bed.StartDoc());
    EXPECT_EQ(bed.Document().testPage, false);
}

// The handle's earlier document was never ended: it ends, and the new one is a
// document of its own (its printer, job and test-page check), not the old one's.
TEST_F(StartDocTest, SecondStartOnTheSameHandleStartsAfresh) {
    bed.spooler.documentName = L"Test Page";
    ASSERT_TRUE(bed.StartDoc(5));
    bed.Document().transfer.sentCount = 12;
    bed.spooler.documentName = L"other";
    EXPECT_TRUE(bed.StartDoc(6));
    EXPECT_EQ(bed.Document().transfer.sentCount, 0);
    EXPECT_NE(bed.Document().printer.Get(), nullptr);
    EXPECT_EQ(bed.Document().jobId, 6u);
    EXPECT_EQ(bed.Document().testPage, false);
    EXPECT_EQ(bed.spooler.openPrinterCalls, 2);
    EXPECT_EQ(bed.spooler.openPrinters, 1);
    // Every call logs.
    EXPECT_EQ(CountOf(ReadLog(), "3D Printer V26.1: StartDocPort"), 2u);
}

TEST_F(StartDocTest, PrinterThatCannotBeOpenedStillStartsTheDocument) {
    bed.spooler.failOpenPrinter = true;
    EXPECT_TRUE(bed.StartDoc(8));
    EXPECT_EQ(bed.Document().printer.Get(), nullptr);
    EXPECT_EQ(bed.Document().jobId, 0u);
    EXPECT_TRUE(DocumentInProgress(bed.port));
}

TEST_F(StartDocTest, NullPrinterNameOpensNothingAndProceeds) {
    EXPECT_TRUE(bed.table->pfnStartDocPort(bed.Handle(), nullptr, 3, 1, nullptr));
    EXPECT_EQ(bed.spooler.openPrinterCalls, 0);
    EXPECT_EQ(bed.Document().printerName.Get(), nullptr);
    EXPECT_TRUE(DocumentInProgress(bed.port));
    bed.Write(JobStream(3, 3));
    EXPECT_TRUE(bed.EndDoc());
    EXPECT_FALSE(DocumentInProgress(bed.port));
}

TEST_F(StartDocTest, LongPrinterNameIsKeptWhole) {
    const std::wstring longName(300, L'p');
    bed.spooler.printerName = longName;
    EXPECT_TRUE(bed.StartDoc());
    EXPECT_EQ(std::wstring(bed.Document().printerName.Get()), longName);
}

} // namespace
} // namespace vela::test
