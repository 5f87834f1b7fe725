// EnumPortsW through Wine's spooler, which loads every monitor and merges their
// lists: the monitor's ports once each beside the local monitor's.
#include "spooler/SpoolerTestBed.h"

#include <map>

namespace vela::test::spooler {
namespace {

class EnumPortsTest : public SpoolerTest {};

TEST_F(EnumPortsTest, ListsTheMonitorsPortsOnceAtBothLevels) {
    std::vector<std::wstring> ours;
    for (const SerialPrinter& printer : kSerialPrinters) {
        ours.push_back(printer.setup.port);
    }
    ours.push_back(kUsbPrinter.port);
    ours.push_back(kScreenPrinter.port);
    for (const DWORD level : {1u, 2u}) {
        SCOPED_TRACE(testing::Message() << "level " << level);
        std::vector<PortRecord> ports;
        ASSERT_EQ(EnumeratePorts(level, &ports), 0u);
        std::map<std::wstring, int> seen;
        std::map<std::wstring, std::wstring> monitorOf;
        for (const PortRecord& port : ports) {
            ++seen[port.name];
            monitorOf[port.name] = port.monitor;
            if (level == 2 && port.monitor == kMonitorName) {
                EXPECT_EQ(port.description, L"Vela3dp Print Monitor Port");
                EXPECT_EQ(port.type, static_cast<DWORD>(PORT_TYPE_WRITE | PORT_TYPE_READ));
            }
        }
        for (const std::wstring& name : ours) {
            EXPECT_EQ(seen[name], 1) << std::string(name.begin(), name.end());
            if (level == 2) {
                EXPECT_EQ(monitorOf[name], kMonitorName);
            }
        }
        // The local monitor's ports are still there.
        EXPECT_EQ(seen[L"FILE:"], 1);
    }
}

} // namespace
} // namespace vela::test::spooler
