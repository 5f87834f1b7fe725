// Printer time for a demonstration: every wait of the monitor advances the
// simulated printer's clock by the full amount but takes only a fraction of it in
// real time, so a print of minutes is watched in seconds.
#pragma once

#include "sim/FakePlatform.h"

#include <functional>

namespace vela::host {

class HostClock final : public test::FakeClock {
  public:
    // realPerPrinterTime: real milliseconds per millisecond of printer time (0: no
    // real waiting at all).
    explicit HostClock(double realPerPrinterTime);

    // Called before each wait with its length in printer time.
    std::function<void(DWORD)> beforeSleep;

    void Sleep(DWORD milliseconds) override;
    // The real time of day, so the monitor's log carries true times.
    void GetLocalTime(LPSYSTEMTIME time) override;

  private:
    double realPerPrinterTime_;
};

// The real wait for a wait of the given printer time, in whole milliseconds.
DWORD ScaledWait(DWORD printerMilliseconds, double realPerPrinterTime);

} // namespace vela::host
