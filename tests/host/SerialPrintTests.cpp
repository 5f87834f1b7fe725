// The serial print's own logic: which lines the monitor will stream, and the port
// the host registers for a COM port.
#include "SerialPrint.h"

#include <gtest/gtest.h>

#include <string>

namespace vela::host {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(SerialPrintTest, CountsTheLinesTheMonitorStreams) {
    EXPECT_EQ(CountGcodeLines(Bytes("G28\nG1 X1 ; move\n; comment\n(note)\n\r\nM84\n")), 3u);
    EXPECT_EQ(CountGcodeLines({}), 0u);
}

TEST(SerialPrintTest, BytesAfterTheLastLineEndAreNotALineYet) {
    EXPECT_EQ(CountGcodeLines(Bytes("G28\nG1 X1")), 1u);
    EXPECT_EQ(CountGcodeLines(Bytes("G1 X1")), 0u);
}

TEST(SerialPrintTest, AnEmptyLineIsStillALine) {
    // The monitor sends a lone line end as a line of its own.
    EXPECT_EQ(CountGcodeLines(Bytes("\n\n")), 2u);
}

TEST(SerialPrintTest, PortAndDevicePathForAComPort) {
    EXPECT_EQ(SerialPortName(L"COM41"), L"Quarlend Serial COM41:");
    EXPECT_EQ(SerialDevicePath(L"COM41"), L"\\\\.\\COM41");
}

} // namespace
} // namespace vela::host
