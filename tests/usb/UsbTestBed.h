// A simulated printer installed behind the USB and device-setup seams, with time on a fake clock,
// and the job state of a fresh document.
#pragma once

#include "usb/UsbTransport.h"
#include "usb/JobFlags.h"
#include "sim/FakePlatform.h"
#include "sim/SimulatedUsbPrinter.h"
#include "monitor/WritePort.h"

#include <cstdint>
#include <vector>

namespace vela::test {

class UsbTestBed {
  public:
    UsbTestBed() : printer(clock) {
        Platform platform = Win32Platform();
        platform.usb = &printer;
        platform.deviceSetup = &printer;
        platform.clock = &clock;
        InstallPlatform(platform);
    }
    ~UsbTestBed() {
        // Released while its printer is still the platform's.
        link.CloseDevice();
        InstallPlatform(Win32Platform());
    }
    UsbTestBed(const UsbTestBed&) = delete;
    UsbTestBed& operator=(const UsbTestBed&) = delete;

    FakeClock clock;
    SimulatedUsbPrinter printer;
    // A connection with no port name: it reaches the one attached printer.
    UsbTransport link;
};

// count records whose bytes are first, first + 1, ... (each record distinct).
inline std::vector<uint8_t> MakeRecords(int32_t count, uint8_t first = 1) {
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * 20);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(first + i);
    }
    return bytes;
}

// A job stream: the announced count, then the records.
inline std::vector<uint8_t> MakeJob(int32_t announced, const std::vector<uint8_t>& records) {
    const auto bits = static_cast<uint32_t>(announced);
    std::vector<uint8_t> job(4 + records.size());
    for (size_t i = 0; i < 4; ++i) {
        job[i] = static_cast<uint8_t>(bits >> (8 * i));
    }
    for (size_t i = 0; i < records.size(); ++i) {
        job[4 + i] = records[i];
    }
    return job;
}

} // namespace vela::test
