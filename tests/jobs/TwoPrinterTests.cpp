// Two printers of the maker attached, each with the port discovery made for it:
// each port's documents, supervision and aborts reach its own printer only.
#include "JobTestBed.h"

#include "usb/JobFlags.h"

#include <algorithm>
#include <string>

namespace vela::test {
namespace {

class TwoPrinterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bed.printer.attachedPrinters = 2;
        bed.Load();
        second = FindPortEntry(bed.harness.Context()->firstPort,
                               SimulatedUsbPrinter::PortName(1).c_str());
        ASSERT_NE(second, nullptr);
    }
    // A whole document on the port; the printer is the port's.
    void Print(PortEntry* port, int32_t records) {
        bed.port = port;
        ASSERT_TRUE(bed.StartDoc());
        bed.Write(JobStream(records, records));
        bed.EndDoc();
    }
    static size_t Count(const std::string& codes, char code) {
        return static_cast<size_t>(std::count(codes.begin(), codes.end(), code));
    }

    JobTestBed bed;
    PortEntry* second = nullptr;
};

TEST_F(TwoPrinterTest, EachPortsDocumentReachesItsOwnPrinter) {
    PortEntry* first = bed.port;
    Print(second, 9);
    EXPECT_EQ(bed.printer.CodesOf(0), "");
    // The records, the start and the supervision's reads, all on the second.
    EXPECT_EQ(Count(bed.printer.CodesOf(1), '/'), 4u);
    EXPECT_NE(bed.printer.CodesOf(1).find('X'), std::string::npos);
    const size_t secondPackets = bed.printer.CodesOf(1).size();
    // The simulated printers share their firmware: ready for a print again.
    bed.printer.parameters[16] = 1;
    Print(first, 6);
    EXPECT_EQ(Count(bed.printer.CodesOf(0), '/'), 3u);
    EXPECT_EQ(bed.printer.CodesOf(1).size(), secondPackets);
    EXPECT_EQ(bed.spooler.prompts.size(), 2u);
}

TEST_F(TwoPrinterTest, DeletedJobAbortsOnlyThePortsPrinter) {
    bed.spooler.statusChangeAtCall = 3; // the first is StartDocPort's own read
    Print(second, 9);
    EXPECT_EQ(bed.printer.CodesOf(0), "");
    EXPECT_EQ(Count(bed.printer.CodesOf(1), 's'), 4u);
    EXPECT_TRUE(bed.spooler.prompts.empty());
}

TEST_F(TwoPrinterTest, StalePortOfAnUnpluggedPrinterFailsWithoutTouchingTheOther) {
    bed.printer.detachedPrinter = 1;
    Print(second, 9);
    EXPECT_EQ(bed.printer.CodesOf(0), "");
    EXPECT_EQ(bed.printer.opens, 0);
    EXPECT_NE(static_cast<PortSession*>(second->session)->document.jobFlags.sendingDisabled, 0);
    EXPECT_TRUE(bed.spooler.prompts.empty());
}

TEST_F(TwoPrinterTest, ShutdownAbortsThroughThePortWithADocumentInProgress) {
    bed.port = second;
    ASSERT_TRUE(bed.StartDoc());
    bed.Write(JobStream(9, 9));
    const size_t firstPackets = bed.printer.CodesOf(0).size();
    bed.harness.Shutdown();
    EXPECT_EQ(bed.printer.CodesOf(0).size(), firstPackets);
    EXPECT_EQ(Count(bed.printer.CodesOf(1), 's'), 4u);
}

} // namespace
} // namespace vela::test
