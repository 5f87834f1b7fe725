// The device operations of the simulated firmware's thread on its end of a serial
// line, and the clock it paces itself by. Synchronous I/O: under Wine it costs a
// fraction of overlapped I/O, and a real printer answers no faster.
#pragma once

#include "platform/Win32Headers.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vela::test {

// Microseconds of the performance counter.
int64_t NowMicroseconds();

class FirmwareLink {
  public:
    // Waits end early when stop or wake is set; wake is how another thread gets
    // the firmware's attention (a reset).
    FirmwareLink(HANDLE device, HANDLE stop, HANDLE wake);
    FirmwareLink(const FirmwareLink&) = delete;
    FirmwareLink& operator=(const FirmwareLink&) = delete;

    // The board talks at rate (0: any); while the host's end is set to another,
    // received bytes are noise: dropped, each line answered with noise, counted.
    void SetSpeed(uint32_t rate, std::function<uint32_t()> hostRate,
                  std::function<void(uint32_t lines)> onNoise);

    // Waits up to the device's read time-out for a byte, then takes whatever else
    // has arrived. False when stop or wake is set.
    bool ReadSome(std::string& into);
    // Takes what has arrived without waiting for more.
    bool ReadAvailable(std::string& into);
    // Throws away whatever has arrived.
    void DropInput();
    bool Write(const std::string& bytes);
    // Wait for a time, or until the performance counter reaches a time; false when
    // stop or wake is set.
    bool Pause(DWORD milliseconds);
    bool WaitUntil(int64_t microseconds);
    bool Interrupted() const;
    bool Stopping() const;

  private:
    // True when the bytes were noise, answered and dropped.
    bool TakeNoise(const std::string& bytes);
    // Appends what has arrived, as it arrived.
    bool ReadArrived(std::string& into);

    HANDLE device_;
    uint32_t rate_ = 0;
    std::function<uint32_t()> hostRate_;
    std::function<void(uint32_t lines)> onNoise_;
    HANDLE stop_;
    HANDLE wake_;
};

} // namespace vela::test
