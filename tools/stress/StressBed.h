// The monitor as the stress threads reach it: its own code linked in-process,
// attached and initialised as the spooler does, and called only through the
// MONITOR2 table.
#pragma once

#include "PortModel.h"
#include "StressTally.h"
#include "sim/FakeSpooler.h"
#include "sim/MonitorHarness.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace vela::stress {

// The comm configuration kept in memory: random "SetDefaultCommConfig" inputs
// must not change the machine's settings.
class MemoryCommConfig : public CommConfig {
  public:
    BOOL GetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG config, LPDWORD size) override;
    BOOL SetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG config, DWORD size) override;

  private:
    std::mutex mutex_;
    COMMCONFIG stored_{};
};

struct StressBed {
    StressBed();
    // Attach and InitializePrintMonitor2 with one stored and one discovered port.
    bool Load();

    // Both EnumPorts calls of one listing (sized, then filled, again while the list
    // grows); the names, with every record checked.
    std::vector<std::wstring> Enumerate(DWORD level, StressTally& tally);
    DWORD Xcv(HANDLE xcv, LPCWSTR command, const void* input, DWORD inputSize, void* output,
              DWORD outputSize, DWORD* needed);

    // The job calls of documents (Wine's spooler has none); ports enumerate on
    // Wine's spooler through it.
    FakeSpooler spooler;
    test::MonitorHarness harness;
    MemoryCommConfig commConfig;
    LPMONITOR2 table = nullptr;
    HANDLE monitor = nullptr;
    PortModel model;
    StressTally tally;
    std::atomic<bool> stop{false};
    // The two ends of a serial pair for the hostile documents; none: no documents.
    std::wstring serialHost;
    std::wstring serialFirmware;
};

} // namespace vela::stress
