// Serial printers printing through Wine's own spooler, each alone and then all at
// once from one program thread each: each port's lines per second against the same
// port printing alone, and this process's CPU time (the spooler, winprint and the
// monitor; the firmwares run in a process of their own) per 1,000 lines. The
// firmwares pace their side like a 250000-baud line (25000 bytes a second, 0.2 ms a
// command); every run fails unless each firmware executed its document's lines
// once and in order. Run it with run.sh, which links the four pty pairs.
#include "FirmwareProcess.h"

#include "sim/FirmwareInterpreter.h"
#include "sim/WineSpooler.h"
#include "serial/LineFraming.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace vela;
using namespace vela::test::spooler;

constexpr int kMaxPrinters = 4;
constexpr double kLinkBytesPerSecond = 25000;
constexpr double kCommandSeconds = 0.0002;

struct Options {
    int lines = 5000;
    int printers = kMaxPrinters;
    bool pacing = true;
};

PrinterSetup BenchPrinter(int index) {
    const std::wstring number = std::to_wstring(index + 1);
    return PrinterSetup{L"Vela Bench " + number, L"Vela Bench " + number + L":",
                        L"\\\\.\\COM" + std::to_wstring(61 + 2 * index)};
}

std::wstring FirmwareDevice(int index) {
    return L"\\\\.\\COM" + std::to_wstring(62 + 2 * index);
}

// A sliced model's moves, distinct for each printer, with a comment each layer;
// the firmware runs the greeting, the moves and the final wait.
struct Document {
    std::string gcode;
    uint64_t digest = test::kDigestStart;
    double linkSeconds = 0;
};

Document MakeDocument(int printer, int lines) {
    Document document;
    document.digest = test::DigestCommand(document.digest, "M110 N0");
    char line[96];
    for (int index = 1; index <= lines; ++index) {
        if (index % 500 == 1) {
            document.gcode += "; layer " + std::to_string(index / 500) + "\n";
        }
        std::snprintf(line, sizeof(line), "G1 X%d.%03d Y%d.%02d E%d.%04d F%d", index % 180,
                      index * 7 % 1000, (index + printer * 31) % 180, index % 100, index / 400,
                      index % 9973, 1800 + printer);
        document.gcode += std::string(line) + "\n";
        document.digest = test::DigestCommand(document.digest, line);
        // One line in flight: the framed line, its "ok", the command's time.
        const std::string text = std::string(line) + "\n";
        uint8_t framed[kWriteBufferSize];
        uint32_t length = 0;
        FrameLine(index, reinterpret_cast<const uint8_t*>(text.data()),
                  static_cast<uint32_t>(text.size()), framed, sizeof(framed), &length);
        document.linkSeconds += (length + 3) / kLinkBytesPerSecond + kCommandSeconds;
    }
    document.digest = test::DigestCommand(document.digest, "M400");
    return document;
}

double ProcessCpuSeconds() {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](const FILETIME& time) {
        return static_cast<double>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime) /
               1e7;
    };
    return seconds(kernel) + seconds(user);
}

struct RunResult {
    bool ok = false;
    double seconds[kMaxPrinters] = {};
    double cpuSeconds = 0;
};

// The given printers at once, from one thread each; checked against the firmwares.
RunResult Run(bench::FirmwareProcess& firmwares, const std::vector<Document>& documents,
              const std::vector<int>& printers) {
    RunResult result;
    if (!firmwares.Reset()) {
        std::fprintf(stderr, "the firmware process did not start afresh\n");
        return result;
    }
    PrintOutcome outcomes[kMaxPrinters];
    const double cpuBefore = ProcessCpuSeconds();
    {
        std::vector<std::thread> programs;
        for (const int index : printers) {
            programs.emplace_back([index, &documents, &outcomes] {
                outcomes[index] =
                    PrintDocument(BenchPrinter(index).printer, documents[index].gcode, 4096);
            });
        }
        for (std::thread& program : programs) {
            program.join();
        }
    }
    result.cpuSeconds = ProcessCpuSeconds() - cpuBefore;
    std::vector<bench::FirmwareReport> reports;
    if (!firmwares.Report(&reports)) {
        std::fprintf(stderr, "the firmware process did not report\n");
        return result;
    }
    result.ok = true;
    for (const int index : printers) {
        result.seconds[index] = outcomes[index].endSeconds;
        if (!outcomes[index].Printed()) {
            std::fprintf(stderr, "printer %d: %s failed with error %lu\n", index + 1,
                         outcomes[index].failedCall.c_str(),
                         static_cast<unsigned long>(outcomes[index].error));
            result.ok = false;
        } else if (reports[index].digest != documents[index].digest ||
                   reports[index].executedTwice != 0) {
            std::fprintf(stderr,
                         "printer %d: the firmware did not run the document once and in "
                         "order\n",
                         index + 1);
            result.ok = false;
        }
    }
    return result;
}

int Benchmark(const Options& options) {
    std::vector<PrinterSetup> setups;
    std::vector<std::wstring> devices;
    std::vector<Document> documents;
    for (int index = 0; index < options.printers; ++index) {
        setups.push_back(BenchPrinter(index));
        devices.push_back(FirmwareDevice(index));
        documents.push_back(MakeDocument(index, options.lines));
    }
    // The DLLs are in the build folder, two folders above this program's.
    std::string problem = EnsureMonitor(ProgramFolder(2));
    if (problem.empty()) {
        problem = EnsurePrinters(setups);
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "installation: %s\n", problem.c_str());
        return 2;
    }
    bench::FirmwareProcess firmwares;
    if (!firmwares.Start(devices, options.pacing)) {
        std::fprintf(stderr, "the firmware process did not start\n");
        return 2;
    }
    std::vector<RunResult> alone;
    double aloneCpu = 0;
    for (int index = 0; index < options.printers; ++index) {
        alone.push_back(Run(firmwares, documents, {index}));
        aloneCpu += alone.back().cpuSeconds;
        if (!alone.back().ok) {
            return 1;
        }
    }
    std::vector<int> all;
    for (int index = 0; index < options.printers; ++index) {
        all.push_back(index);
    }
    const RunResult together = Run(firmwares, documents, all);
    if (!together.ok) {
        return 1;
    }
    firmwares.Quit();

    const double totalLines = static_cast<double>(options.lines) * options.printers;
    std::printf("printers:        %d, %d lines each, through Wine's spooler (EndDocPrinter)\n",
                options.printers, options.lines);
    std::printf("pacing:          %s\n", options.pacing ? "25000 bytes/s, 0.2 ms a command"
                                                        : "none (the spooler, monitor and Wine)");
    std::printf("port             alone lines/s   together lines/s   together/alone%s\n",
                options.pacing ? "   link limit lines/s" : "");
    for (int index = 0; index < options.printers; ++index) {
        const double aloneRate = options.lines / alone[index].seconds[index];
        const double togetherRate = options.lines / together.seconds[index];
        std::printf("%-16ls %15.0f %18.0f %16.3f", setups[index].port.c_str(), aloneRate,
                    togetherRate, togetherRate / aloneRate);
        // The limit of one line in flight on the paced link.
        if (options.pacing) {
            std::printf(" %20.0f", options.lines / documents[index].linkSeconds);
        }
        std::printf("\n");
    }
    std::printf("CPU per 1000 lines: %.1f ms alone, %.1f ms together (this process: spooler, "
                "winprint, monitor)\n",
                aloneCpu / totalLines * 1e6, together.cpuSeconds / totalLines * 1e6);
    std::printf("every line ran once and in order on its own printer's firmware\n");
    return 0;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int index = 1; index < argc; ++index) {
        const std::string option = argv[index];
        if (option == "--lines" && index + 1 < argc) {
            options.lines = std::atoi(argv[++index]);
        } else if (option == "--printers" && index + 1 < argc) {
            options.printers = std::atoi(argv[++index]);
        } else if (option == "--no-pacing") {
            options.pacing = false;
        } else {
            return false;
        }
    }
    return options.lines > 0 && options.printers > 0 && options.printers <= kMaxPrinters;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--serve-firmware") == 0) {
        std::vector<std::wstring> devices;
        bool pacing = true;
        for (int index = 2; index < argc; ++index) {
            if (std::strcmp(argv[index], "--no-pacing") == 0) {
                pacing = false;
            } else {
                devices.emplace_back(argv[index], argv[index] + std::strlen(argv[index]));
            }
        }
        return vela::bench::ServeFirmware(devices, pacing);
    }
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: spooler-benchmark [--lines N] [--printers 1..4] "
                             "[--no-pacing]\n");
        return 2;
    }
    return Benchmark(options);
}
