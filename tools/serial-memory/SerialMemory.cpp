// Whether the monitor keeps memory from one serial document to the next: many
// short documents on one serial port, each as the spooler sends it (OpenPort,
// StartDocPort, WritePort, EndDocPort, ClosePort), against the simulated firmware.
// The process heaps' busy blocks and the private bytes are taken after a warm-up
// and after the last document; their growth per document is what the monitor
// keeps. --bare-threads runs as many bare CreateThread cycles instead (each
// document has a thread of its own): the growth that is Wine's own.
//
// --abandon closes the port in the middle of each document instead (no EndDocPort),
// as a spooler that gives up on a port does.
//
//   bench-serial-memory [--documents N] [--warm-up W] [--lines L] [--bare-threads]
//                       [--abandon] [--host DEVICE] [--firmware DEVICE]
#include "BenchOptions.h"
#include "HeapCensus.h"
#include "UsbBenchmarkBed.h"
#include "sim/FakeSpooler.h"
#include "sim/MonitorHarness.h"
#include "sim/SimulatedFirmware.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using namespace vela;

constexpr wchar_t kPortName[] = L"SerialMemory:";

struct Options {
    uint32_t documents = 1000;
    uint32_t warmUp = 50;
    uint32_t lines = 20;
    bool bareThreads = false;
    bool abandon = false;
    std::wstring host = L"\\\\.\\COM61";
    std::wstring firmware = L"\\\\.\\COM62";
};

std::wstring Widen(const char* text) {
    return std::wstring(text, text + std::strlen(text));
}

bool ParseOptions(int argc, char** argv, Options& options) {
    using bench::NumberOption;
    if (!NumberOption(argc, argv, "--documents", 1, 1000000, 1000, &options.documents) ||
        !NumberOption(argc, argv, "--warm-up", 0, 100000, 50, &options.warmUp) ||
        !NumberOption(argc, argv, "--lines", 1, 100000, 20, &options.lines)) {
        return false;
    }
    for (int index = 1; index < argc; ++index) {
        const std::string option = argv[index];
        if (option == "--bare-threads") {
            options.bareThreads = true;
        } else if (option == "--abandon") {
            options.abandon = true;
        } else if (option == "--host" && index + 1 < argc) {
            options.host = Widen(argv[++index]);
        } else if (option == "--firmware" && index + 1 < argc) {
            options.firmware = Widen(argv[++index]);
        }
    }
    return options.warmUp < options.documents;
}

std::string MakeDocument(uint32_t lines) {
    std::string text = "; a short serial document\n";
    char line[64];
    for (uint32_t index = 0; index < lines; ++index) {
        std::snprintf(line, sizeof(line), "G1 X%u.%02u Y%u E0.%03u ; move\n", index % 200,
                      index % 100, index % 150, index % 1000);
        text += line;
    }
    return text;
}

struct Reading {
    bench::HeapCensus heap;
    uint64_t privateBytes = 0;
};

Reading Read() {
    Reading reading;
    bench::TakeHeapCensus(reading.heap);
    reading.privateBytes = bench::PrivateBytes();
    return reading;
}

double PerCycle(uint64_t after, uint64_t before, uint32_t cycles) {
    return (static_cast<double>(after) - static_cast<double>(before)) / cycles;
}

void PrintReading(const char* label, const Reading& reading) {
    std::printf("  %-26s heap %10llu bytes in %7llu blocks (%u heaps), private %8.2f MB\n", label,
                static_cast<unsigned long long>(reading.heap.busyBytes),
                static_cast<unsigned long long>(reading.heap.busyBlocks), reading.heap.heaps,
                static_cast<double>(reading.privateBytes) / (1024.0 * 1024.0));
}

DWORD WINAPI DoNothing(LPVOID) {
    return 0;
}

// One cycle of the bare loop: a thread that ends at once, waited for and closed.
bool EndOneThread() {
    HANDLE thread = ::CreateThread(nullptr, 256 * 1024, DoNothing, nullptr,
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        return false;
    }
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
    return true;
}

// The monitor in this process with the fake spooler and the real clock, its
// serial port on the monitor's end of the line.
class SerialBed {
  public:
    explicit SerialBed(const std::wstring& host) {
        harness_.platform.spooler = &spooler_;
        harness_.platform.clock = Win32Platform().clock;
        harness_.registry.SetPortValue(kPortName, host);
    }
    ~SerialBed() { harness_.Unload(); }

    bool Load() {
        if (!harness_.Attach()) {
            return false;
        }
        table_ = harness_.Initialize();
        return table_ != nullptr;
    }

    // One document from OpenPort to ClosePort; false when a call failed or the
    // remove-model prompt did not come. Abandoned: closed after its bytes, without
    // EndDocPort, and without a prompt.
    bool PrintOne(std::string& document, DWORD jobId, bool abandon) {
        HANDLE port = nullptr;
        std::wstring printer = spooler_.printerName;
        if (!table_->pfnOpenPort(harness_.MonitorHandle(), const_cast<LPWSTR>(kPortName), &port)) {
            return false;
        }
        bool printed = table_->pfnStartDocPort(port, &printer[0], jobId, 1, nullptr) != FALSE;
        DWORD written = 0;
        printed = printed &&
                  table_->pfnWritePort(port, reinterpret_cast<LPBYTE>(&document[0]),
                                       static_cast<DWORD>(document.size()), &written) != FALSE &&
                  written == document.size();
        if (!abandon) {
            printed = table_->pfnEndDocPort(port) != FALSE && printed;
        }
        printed = table_->pfnClosePort(port) != FALSE && printed;
        printed = printed && spooler_.prompts.size() == (abandon ? 0u : 1u);
        // The fake spooler's own records are not the monitor's memory.
        spooler_.prompts.clear();
        spooler_.setJobCalls.clear();
        spooler_.ClearStatusTexts();
        return printed;
    }

  private:
    FakeSpooler spooler_;
    test::MonitorHarness harness_;
    LPMONITOR2 table_ = nullptr;
};

int Run(const Options& options) {
    test::FirmwareOptions firmwareOptions;
    // Only counts and a digest: the firmware's records are not the monitor's memory.
    firmwareOptions.recordLines = false;
    firmwareOptions.trackLinesInFlight = false;
    test::SimulatedFirmware firmware(firmwareOptions);
    SerialBed bed(options.host);
    if (!options.bareThreads) {
        if (!firmware.Start(options.firmware.c_str())) {
            std::fprintf(stderr, "cannot open the firmware's end of the line\n");
            return 2;
        }
        if (!bed.Load()) {
            std::fprintf(stderr, "cannot load the monitor\n");
            return 2;
        }
    }
    std::string document = MakeDocument(options.lines);
    std::printf("serial memory: %u %s (%u of warm-up)%s\n", options.documents,
                options.bareThreads ? "bare CreateThread cycles" : "documents", options.warmUp,
                options.bareThreads ? ""
                : options.abandon   ? ", each OpenPort .. WritePort .. ClosePort (abandoned)"
                                    : ", each OpenPort .. EndDocPort .. ClosePort");
    Reading warm;
    Reading start = Read();
    PrintReading("before the first", start);
    const double wallStart = bench::WallSeconds();
    for (uint32_t cycle = 1; cycle <= options.documents; ++cycle) {
        const bool ran =
            options.bareThreads ? EndOneThread() : bed.PrintOne(document, cycle, options.abandon);
        if (!ran) {
            std::fprintf(stderr, "cycle %u did not run completely\n", cycle);
            return 1;
        }
        if (cycle == options.warmUp) {
            warm = Read();
            PrintReading("after the warm-up", warm);
        } else if (cycle % 100 == 0 || cycle == options.documents) {
            char label[48];
            std::snprintf(label, sizeof(label), "after %u", cycle);
            PrintReading(label, Read());
        }
    }
    const Reading end = Read();
    const double wall = bench::WallSeconds() - wallStart;
    if (options.warmUp == 0) {
        warm = start;
    }
    const uint32_t measured = options.documents - options.warmUp;
    std::printf("  growth per cycle after the warm-up: heap %+.1f bytes, %+.3f blocks; "
                "private %+.1f bytes\n",
                PerCycle(end.heap.busyBytes, warm.heap.busyBytes, measured),
                PerCycle(end.heap.busyBlocks, warm.heap.busyBlocks, measured),
                PerCycle(end.privateBytes, warm.privateBytes, measured));
    std::printf(
        "  growth over the %u measured cycles: heap %+lld bytes in %+lld blocks\n", measured,
        static_cast<long long>(end.heap.busyBytes) - static_cast<long long>(warm.heap.busyBytes),
        static_cast<long long>(end.heap.busyBlocks) - static_cast<long long>(warm.heap.busyBlocks));
    std::printf("  wall time %.1f s\n", wall);
    firmware.Stop();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: bench-serial-memory [--documents N] [--warm-up W] [--lines L]\n"
                     "                           [--bare-threads] [--host DEVICE] "
                     "[--firmware DEVICE]\n");
        return 2;
    }
    return Run(options);
}
