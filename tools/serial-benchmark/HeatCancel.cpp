#include "HeatCancel.h"

#include "platform/Platform.h"
#include "sim/FakeSpooler.h"
#include "sim/MonitorHarness.h"
#include "sim/SimulatedFirmware.h"

#include <cstdio>
#include <thread>

namespace vela::bench {
namespace {

constexpr wchar_t kPortName[] = L"HeatCancel:";

double Now() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool Received(const test::SimulatedFirmware& firmware, const std::string& command) {
    for (const std::string& line : firmware.Received()) {
        if (line.find(command) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

bool OpenBenchmarkDocument(test::MonitorHarness& harness, FakeSpooler& spooler, LPCWSTR portName,
                           LPMONITOR2* table, HANDLE* port) {
    *table = harness.Initialize();
    std::wstring printer = spooler.printerName;
    if (*table == nullptr ||
        !(*table)->pfnOpenPort(harness.MonitorHandle(), const_cast<LPWSTR>(portName), port) ||
        !(*table)->pfnStartDocPort(*port, &printer[0], 1, 1, nullptr)) {
        std::fprintf(stderr, "the port did not open or the firmware did not answer\n");
        return false;
    }
    return true;
}

int RunHeatCancel(const std::wstring& host, const std::wstring& firmwareDevice, double heatSeconds,
                  double deleteAfterSeconds) {
    test::FirmwareOptions options;
    options.heatingMs = static_cast<uint32_t>(heatSeconds * 1000);
    test::SimulatedFirmware firmware(options);
    if (!firmware.Start(firmwareDevice.c_str())) {
        std::fprintf(stderr, "cannot open the firmware's end of the line\n");
        return 2;
    }
    test::MonitorHarness harness;
    FakeSpooler spooler;
    harness.platform.spooler = &spooler;
    // The handler's waits on real time, as in the spooler.
    harness.platform.clock = Win32Platform().clock;
    harness.registry.SetPortValue(kPortName, host);
    if (!harness.Attach()) {
        return 2;
    }
    LPMONITOR2 table = nullptr;
    HANDLE port = nullptr;
    if (!OpenBenchmarkDocument(harness, spooler, kPortName, &table, &port)) {
        return 2;
    }
    std::string document = "M109 S200\n";
    for (int move = 0; move < 20; ++move) {
        document += "G1 X" + std::to_string(move) + " Y5\n";
    }
    DWORD written = 0;
    if (!table->pfnWritePort(port, reinterpret_cast<LPBYTE>(&document[0]),
                             static_cast<DWORD>(document.size()), &written)) {
        std::fprintf(stderr, "WritePort failed\n");
        return 2;
    }
    BOOL ended = FALSE;
    double endedAt = 0;
    std::thread end([&] {
        ended = table->pfnEndDocPort(port);
        endedAt = Now();
    });
    while (!Received(firmware, "M109")) {
        ::Sleep(10);
    }
    const double heatStarted = Now();
    ::Sleep(static_cast<DWORD>(deleteAfterSeconds * 1000));
    const double deleted = Now();
    spooler.jobStatus = JOB_STATUS_DELETING;
    end.join();
    table->pfnClosePort(port);
    firmware.Stop();
    const test::FirmwareStats stats = firmware.Stats();
    std::printf("heat-up:          %.1f s (M109 S200), job deleted %.1f s into it\n", heatSeconds,
                deleted - heatStarted);
    std::printf("deletion to end:  %.3f s (EndDocPort returned %s)\n", endedAt - deleted,
                ended ? "TRUE" : "FALSE");
    std::printf("heat wait broken: %s\n", stats.heatingWaitsBroken != 0 ? "yes (M108)" : "no");
    std::printf("executed:        ");
    for (const test::ExecutedLine& line : firmware.Executed()) {
        std::printf(" [%s%s]", line.number < 0 ? "unnumbered " : "", line.command.c_str());
    }
    std::printf("\n");
    return 0;
}

} // namespace vela::bench
