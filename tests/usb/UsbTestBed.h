// A simulated printer installed behind the USB and device-setup seams, with time on a fake clock,
// and the job state of a fresh document.
#pragma once

#include "usb/UsbTransport.h"
#include "usb/JobFlags.h"
#include "sim/FakePlatform.h"
#include "sim/JobStream.h"
#include "sim/SimulatedUsbPrinter.h"
#include "monitor/WritePort.h"

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

} // namespace vela::test
