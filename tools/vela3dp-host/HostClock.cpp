#include "HostClock.h"

namespace vela::host {

DWORD ScaledWait(DWORD printerMilliseconds, double realPerPrinterTime) {
    if (!(realPerPrinterTime > 0.0)) {
        return 0;
    }
    const double real = static_cast<double>(printerMilliseconds) * realPerPrinterTime + 0.5;
    return real >= 4294967295.0 ? 0xFFFFFFFEu : static_cast<DWORD>(real);
}

HostClock::HostClock(double realPerPrinterTime) : realPerPrinterTime_(realPerPrinterTime) {}

void HostClock::Sleep(DWORD milliseconds) {
    if (beforeSleep) {
        beforeSleep(milliseconds);
    }
    const DWORD real = ScaledWait(milliseconds, realPerPrinterTime_);
    if (real > 0) {
        ::Sleep(real);
    }
    FakeClock::Sleep(milliseconds);
}

void HostClock::GetLocalTime(LPSYSTEMTIME time) {
    ::GetLocalTime(time);
}

} // namespace vela::host
