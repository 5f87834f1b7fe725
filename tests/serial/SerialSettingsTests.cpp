// The line settings the handler puts on the device.
#include "serial/SerialSettings.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vela {
namespace {

TEST(SerialSettings, LineSettingsForTheFirmware) {
    DCB dcb;
    std::memset(&dcb, 0xFF, sizeof(dcb));
    dcb.DCBlength = sizeof(DCB);
    ApplyHandlerLineSettings(dcb);
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 250000u);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fParity, 1u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fDsrSensitivity, 0u);
    EXPECT_EQ(dcb.fTXContinueOnXoff, 1u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fErrorChar, 0u);
    EXPECT_EQ(dcb.fNull, 0u);
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fAbortOnError, 0u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
}

TEST(SerialSettings, OtherDeviceFieldsKeepTheirValues) {
    DCB dcb;
    std::memset(&dcb, 0xFF, sizeof(dcb));
    ApplyHandlerLineSettings(dcb);
    EXPECT_EQ(dcb.XonLim, 0xFFFF);
    EXPECT_EQ(dcb.XoffLim, 0xFFFF);
    EXPECT_EQ(static_cast<unsigned char>(dcb.XonChar), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(dcb.XoffChar), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(dcb.ErrorChar), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(dcb.EofChar), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(dcb.EvtChar), 0xFF);
}

TEST(SerialSettings, ReadsEndAMillisecondAfterTheLastByteAndWritesKeepTheirTimeouts) {
    COMMTIMEOUTS timeouts{7, 2, 3, 4, 5};
    ApplyHandlerTimeouts(timeouts);
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 1u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 4u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 5u);
}

} // namespace
} // namespace vela
