// Which printer a port's connection reaches, with one, none or two printers of
// the maker attached.
#include "UsbTestBed.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vela::test {
namespace {

struct PortCase {
    const char* what;
    int32_t attached;
    int32_t detached; // listed by device setup but not attached; -1 for none
    std::wstring port;
    int32_t reached; // the printer the connection reaches; -1 for none
};

TEST(PortPrinter, EachPortReachesOnlyItsOwnPrinter) {
    const std::wstring handAdded = L"Workshop:";
    const std::vector<PortCase> cases = {
        {"first of two", 2, -1, SimulatedUsbPrinter::PortName(0), 0},
        {"second of two", 2, -1, SimulatedUsbPrinter::PortName(1), 1},
        {"name in other letter case", 2, -1, L"QUARLEND2:", 1},
        {"stale port of an unplugged printer", 2, 1, SimulatedUsbPrinter::PortName(1), -1},
        {"hand-added port, one printer", 1, -1, handAdded, 0},
        {"hand-added port, two printers", 2, -1, handAdded, -1},
        {"hand-added port, its only printer unplugged", 1, 0, handAdded, -1},
        {"hand-added port, no printer listed", 0, -1, handAdded, -1},
    };
    for (const PortCase& c : cases) {
        SCOPED_TRACE(c.what);
        UsbTestBed bed;
        bed.printer.attachedPrinters = c.attached;
        bed.printer.detachedPrinter = c.detached;
        UsbTransport link(c.port.c_str());
        const uint8_t request[] = {'F'};
        EXPECT_EQ(link.Exchange(request, 1, nullptr, nullptr), c.reached >= 0);
        for (int32_t printer = 0; printer < 2; ++printer) {
            EXPECT_EQ(bed.printer.CodesOf(printer), printer == c.reached ? "F" : "") << printer;
        }
        if (c.reached >= 0) {
            EXPECT_EQ(bed.printer.openedPath, SimulatedUsbPrinter::DevicePath(c.reached));
        } else {
            // A failed lookup opens nothing: no other printer is tried.
            EXPECT_EQ(bed.printer.opens, 0);
        }
        link.CloseDevice();
        EXPECT_EQ(bed.printer.openInfoSets, 0);
        EXPECT_EQ(bed.printer.openKeys, 0);
    }
}

TEST(PortPrinter, TwoConnectionsAtOnceEachKeepTheirOwnPrinter) {
    UsbTestBed bed;
    bed.printer.attachedPrinters = 2;
    UsbTransport first(SimulatedUsbPrinter::PortName(0).c_str());
    UsbTransport second(SimulatedUsbPrinter::PortName(1).c_str());
    const uint8_t request[] = {'F'};
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(first.Exchange(request, 1, nullptr, nullptr));
        ASSERT_TRUE(second.Exchange(request, 1, nullptr, nullptr));
    }
    EXPECT_EQ(bed.printer.CodesOf(0), "FFF");
    EXPECT_EQ(bed.printer.CodesOf(1), "FFF");
    // Each connected once and kept its handles.
    EXPECT_EQ(bed.printer.opens, 2);
    EXPECT_EQ(bed.printer.liveInterfaces, 2);
    first.CloseDevice();
    second.CloseDevice();
    EXPECT_EQ(bed.printer.openDeviceHandles, 0);
}

} // namespace
} // namespace vela::test
