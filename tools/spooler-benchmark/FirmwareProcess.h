// The simulated firmwares of the spooler benchmark run in a process of their own,
// so that the printing process's CPU time is the spooler's and the monitor's alone.
// The benchmark starts the same program with --serve-firmware and talks to it over
// its standard input and output, one line a request:
//   "reset"   the firmwares start afresh (nothing executed yet); answer "ready"
//   "report"  one line a firmware: "<digest of the numbered commands executed> <lines
//             executed twice>"
//   "quit"    (or the end of the input) the firmwares stop and the process ends
// It answers "ready" once its firmwares serve their ends of the lines.
#pragma once

#include "platform/Handles.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vela::bench {

struct FirmwareReport {
    uint64_t digest = 0;
    uint32_t executedTwice = 0;
};

// The firmware side: serves the devices until "quit"; the process's exit code.
int ServeFirmware(const std::vector<std::wstring>& devices, bool pacing);

// The benchmark's side: the firmware process, started and spoken to.
class FirmwareProcess {
  public:
    ~FirmwareProcess();
    // Starts this program with --serve-firmware for the devices; true once ready.
    bool Start(const std::vector<std::wstring>& devices, bool pacing);
    bool Reset();
    bool Report(std::vector<FirmwareReport>* reports);
    // Asks it to end and waits for its exit.
    void Quit();

  private:
    bool Send(const std::string& line);
    bool ReadLine(std::string* line);

    UniqueHandle process_;
    UniqueHandle toChild_;
    UniqueHandle fromChild_;
    std::string pending_;
    size_t count_ = 0;
};

} // namespace vela::bench
