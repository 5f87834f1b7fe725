// The monitor loaded in this process with the simulated USB printer behind a
// modelled link, and documents run through its table as the spooler runs them.
#pragma once

#include "HostMonitor.h"
#include "ModelledUsbLink.h"
#include "sim/FakeSpooler.h"
#include "sim/SimulatedUsbPrinter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vela::bench {

// The link of the benchmarks: 0.125 ms a transfer, 2 ms a connection set-up.
constexpr uint32_t kTransferMicros = 125;
constexpr uint32_t kConnectionMicros = 2000;

struct JobMeasure {
    uint64_t writeCalls = 0;
    // Of the WritePort calls alone (supervision excluded).
    uint64_t modelledMicros = 0;
    uint64_t transfers = 0;
    uint64_t connections = 0;
    uint64_t transferMicros = 0;
    uint64_t connectionMicros = 0;
    double wallSeconds = 0.0;
    int32_t sent = 0;
    int32_t announced = 0;
};

class UsbBenchmarkBed {
  public:
    UsbBenchmarkBed();
    ~UsbBenchmarkBed();
    UsbBenchmarkBed(const UsbBenchmarkBed&) = delete;
    UsbBenchmarkBed& operator=(const UsbBenchmarkBed&) = delete;

    // False, with the reason in Error(), when the monitor cannot be loaded.
    bool Load();
    // One document: OpenPort, StartDocPort, WritePort in pieces, EndDocPort,
    // ClosePort. False when a call failed.
    bool RunJob(std::vector<uint8_t>& stream, uint32_t piece, JobMeasure& measure);
    void Unload();
    const std::string& Error() const { return error_; }

    test::FakeClock clock;
    test::SimulatedUsbPrinter printer;
    ModelledUsbLink link;
    FakeSpooler spooler;
    test::FakeNotifications notifications;

  private:
    Platform Assemble();

    host::HostMonitor monitor_;
    std::string error_;
};

// The process's private bytes (its commit charge), or 0 when unknown.
uint64_t PrivateBytes();
// 10 MB in whole records: the benchmarks' job size for the given megabytes.
int32_t RecordsForMegabytes(uint32_t megabytes);
double WallSeconds();

} // namespace vela::bench
