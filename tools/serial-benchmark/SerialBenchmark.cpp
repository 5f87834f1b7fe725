// Streams a G-code file through the protocol handler to the simulated firmware,
// which paces its side at 250000 baud (10 bits a byte) and 0.2 ms a command (or
// as long as --command-us says), and compares the rate with the link's own limit
// for one line in flight: (framed line + "ok\n") at 25000 bytes/s plus the
// command's time, for every line.
#include "HeatCancel.h"
#include "UsbBenchmarkBed.h"
#include "sim/FakeSpooler.h"
#include "sim/MonitorHarness.h"
#include "sim/SimulatedFirmware.h"
#include "platform/Handles.h"
#include "serial/LineFraming.h"
#include "serial/LineQueue.h"
#include "serial/ProtocolHandler.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace vela;

constexpr uint32_t kLinkBytesPerSecond = 25000;
constexpr uint32_t kCommandMicroseconds = 200;
constexpr wchar_t kPortName[] = L"Benchmark:";

struct Options {
    int lines = 10000;
    std::string file;
    std::wstring host = L"\\\\.\\COM31";
    std::wstring firmware = L"\\\\.\\COM32";
    bool pacing = true;
    // The firmware's receive side modelled: 128-byte ring, 4 command slots.
    bool faithful = false;
    // The cheapest host there can be, instead of the handler: what the rig allows.
    bool baseline = false;
    // The baseline through overlapped I/O, as the handler does it (one reply read
    // waits for a byte, the rest is read as held): the I/O model's own cost.
    bool overlappedBaseline = false;
    // How the firmware words its acknowledgement.
    test::OkFormat okFormat = test::OkFormat::Plain;
    // The port's "StreamWindow" setting (-1: none).
    long window = -1;
    // The share of numbered lines the firmware takes as damaged, and of those the
    // share whose damage draws no word (a number damaged into the last accepted
    // one, or a damaged line end), as measured against real firmware.
    double corrupt = 0.0;
    double silent = 0.04;
    // The poke after a fixed 5 s, as before the wait followed the link.
    bool fixedPoke = false;
    // How long the firmware takes for a command. Moves that take longer than
    // their line on the wire keep a board's receive buffer holding the next line.
    uint32_t commandMicroseconds = kCommandMicroseconds;
    // A cancel during a heat-up of this many seconds instead of a stream (0: none).
    double heatCancelSeconds = 0;
};

bool ParseOkText(const std::string& text, test::OkFormat& format) {
    if (text == "ok") {
        format = test::OkFormat::Plain;
    } else if (text == "ok {n}") {
        format = test::OkFormat::LineNumber;
    } else if (text == "ok N{n} P{p} B{b}") {
        format = test::OkFormat::BufferState;
    } else {
        return false;
    }
    return true;
}

std::wstring Widen(const char* text) {
    return std::wstring(text, text + std::strlen(text));
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int index = 1; index < argc; ++index) {
        const std::string option = argv[index];
        const bool hasValue = index + 1 < argc;
        if (option == "--lines" && hasValue) {
            options.lines = std::atoi(argv[++index]);
        } else if (option == "--file" && hasValue) {
            options.file = argv[++index];
        } else if (option == "--host" && hasValue) {
            options.host = Widen(argv[++index]);
        } else if (option == "--firmware" && hasValue) {
            options.firmware = Widen(argv[++index]);
        } else if (option == "--no-pacing") {
            options.pacing = false;
        } else if (option == "--faithful") {
            options.faithful = true;
        } else if (option == "--baseline") {
            options.baseline = true;
        } else if (option == "--baseline-overlapped") {
            options.baseline = true;
            options.overlappedBaseline = true;
        } else if (option == "--ok-text" && hasValue) {
            if (!ParseOkText(argv[++index], options.okFormat)) {
                return false;
            }
        } else if (option == "--window" && hasValue) {
            options.window = std::atol(argv[++index]);
        } else if (option == "--corrupt" && hasValue) {
            options.corrupt = std::atof(argv[++index]);
        } else if (option == "--silent" && hasValue) {
            options.silent = std::atof(argv[++index]);
        } else if (option == "--fixed-poke") {
            options.fixedPoke = true;
        } else if (option == "--heat-cancel" && hasValue) {
            options.heatCancelSeconds = std::atof(argv[++index]);
        } else if (option == "--command-us" && hasValue) {
            options.commandMicroseconds = static_cast<uint32_t>(std::atol(argv[++index]));
        } else {
            return false;
        }
    }
    return options.lines > 0;
}

// A plausible slice of a sliced model: extrusion moves with a few travel moves,
// fan and temperature commands and comments between them.
std::string GenerateGcode(int lines) {
    std::string gcode = "; generated for the serial benchmark\n";
    char line[96];
    unsigned state = 12345;
    for (int index = 0; index < lines; ++index) {
        state = state * 1103515245u + 12345u;
        const unsigned random = (state >> 8) % 1000;
        if (index % 500 == 0) {
            std::snprintf(line, sizeof(line), "G1 Z%.3f F600 ; layer %d\n", 0.2 + index / 500 * 0.2,
                          index / 500);
        } else if (random < 60) {
            std::snprintf(line, sizeof(line), "G0 X%.3f Y%.3f F9000\n", random * 0.211,
                          (index % 997) * 0.173);
        } else if (random < 63) {
            std::snprintf(line, sizeof(line), "M106 S%u\n", random % 256);
        } else {
            std::snprintf(line, sizeof(line), "G1 X%.3f Y%.3f E%.5f\n", 20 + random * 0.157,
                          20 + (index % 1009) * 0.149, 0.01 + random * 0.00003);
        }
        gcode += line;
    }
    return gcode;
}

// The lines as the queue keeps them, and what the link needs to carry them.
struct LinkLimit {
    std::vector<std::string> commands;
    std::vector<std::string> framed;
    uint64_t framedBytes = 0;
    double seconds = 0;
};

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    const size_t last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

LinkLimit MeasureLimit(const std::string& gcode, uint32_t commandMicroseconds) {
    LinkLimit limit;
    LineQueue queue;
    queue.AppendBytes(reinterpret_cast<const uint8_t*>(gcode.data()),
                      static_cast<uint32_t>(gcode.size()));
    uint8_t framed[kWriteBufferSize];
    for (int32_t number = 1;; ++number) {
        LineRecord* taken = nullptr;
        if (FAILED(queue.Dequeue(&taken)) || taken == nullptr) {
            break;
        }
        std::unique_ptr<LineRecord> line(taken);
        uint32_t length = 0;
        if (!FrameLine(number, line->Bytes(), line->Length(), framed, sizeof(framed), &length)) {
            continue;
        }
        limit.commands.push_back(
            Trim(std::string(reinterpret_cast<const char*>(line->Bytes()), line->Length() - 1)));
        limit.framed.emplace_back(reinterpret_cast<const char*>(framed), length);
        limit.framedBytes += length;
        limit.seconds +=
            static_cast<double>(length + 3) / kLinkBytesPerSecond + commandMicroseconds / 1e6;
    }
    return limit;
}

// One line in flight and no protocol handling: each line is written and its "ok"
// line read before the next goes; each read takes what the driver holds, or waits
// for one byte. Synchronous I/O, or overlapped I/O waited for at once (the
// handler's I/O model). False when a reply is not an "ok".
bool RunBaselineHost(const std::wstring& device, const LinkLimit& limit, bool overlappedIo) {
    UniqueHandle host(::CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, overlappedIo ? FILE_FLAG_OVERLAPPED : 0,
                                    nullptr));
    UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!host.Valid() || !event.Valid()) {
        return false;
    }
    COMMTIMEOUTS timeouts{};
    ::SetCommTimeouts(host.Get(), &timeouts);
    const auto transfer = [&](bool write, void* bytes, DWORD count, DWORD* done) {
        if (!overlappedIo) {
            return (write ? ::WriteFile(host.Get(), bytes, count, done, nullptr)
                          : ::ReadFile(host.Get(), bytes, count, done, nullptr)) != FALSE;
        }
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.Get();
        const BOOL started = write ? ::WriteFile(host.Get(), bytes, count, nullptr, &overlapped)
                                   : ::ReadFile(host.Get(), bytes, count, nullptr, &overlapped);
        return (started || ::GetLastError() == ERROR_IO_PENDING) &&
               ::GetOverlappedResult(host.Get(), &overlapped, done, TRUE);
    };
    char reply[256];
    DWORD held = 0;
    for (const std::string& line : limit.framed) {
        DWORD count = 0;
        std::string out = line;
        if (!transfer(true, &out[0], static_cast<DWORD>(out.size()), &count)) {
            return false;
        }
        for (;;) {
            const char* end = static_cast<const char*>(std::memchr(reply, '\n', held));
            if (end != nullptr) {
                const DWORD used = static_cast<DWORD>(end - reply) + 1;
                if (used < 3 || std::memcmp(reply, "ok", 2) != 0) {
                    return false;
                }
                std::memmove(reply, reply + used, held - used);
                held -= used;
                break;
            }
            DWORD errors = 0;
            COMSTAT status{};
            ::ClearCommError(host.Get(), &errors, &status);
            const DWORD room = sizeof(reply) - held;
            const DWORD ask = status.cbInQue == 0     ? 1
                              : status.cbInQue < room ? status.cbInQue
                                                      : room;
            if (held == sizeof(reply) || !transfer(false, reply + held, ask, &count) ||
                count == 0) {
                return false;
            }
            held += count;
        }
    }
    return true;
}

double Seconds() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct DocumentRun {
    bool printed = false;
    double seconds = 0.0;
    uint64_t commitBefore = 0;
    uint64_t commitPeak = 0;
};

// The file as the spooler sends it: OpenPort, StartDocPort, WritePort in 4096-byte
// pieces, EndDocPort, ClosePort. Time runs from the first WritePort to the end of
// EndDocPort, which returns once the firmware has run every line.
DocumentRun PrintThroughTheTable(const std::wstring& host, const std::string& gcode, long window) {
    DocumentRun run;
    test::MonitorHarness harness;
    FakeSpooler spooler;
    harness.platform.spooler = &spooler;
    // The serial line's time-outs on real time, as in the spooler.
    harness.platform.clock = Win32Platform().clock;
    harness.registry.SetPortValue(kPortName, host);
    if (window >= 0) {
        harness.registry.SetPortSetting(kPortName, L"StreamWindow", static_cast<DWORD>(window));
    }
    if (!harness.Attach()) {
        return run;
    }
    LPMONITOR2 table = nullptr;
    HANDLE port = nullptr;
    if (!bench::OpenBenchmarkDocument(harness, spooler, kPortName, &table, &port)) {
        return run;
    }
    run.commitBefore = bench::PrivateBytes();
    run.commitPeak = run.commitBefore;
    const double started = Seconds();
    bool written = true;
    constexpr size_t kPiece = 4096;
    for (size_t offset = 0; written && offset < gcode.size(); offset += kPiece) {
        std::string piece = gcode.substr(offset, kPiece);
        DWORD count = 0;
        written = table->pfnWritePort(port, reinterpret_cast<LPBYTE>(&piece[0]),
                                      static_cast<DWORD>(piece.size()), &count) != FALSE;
        const uint64_t commit = bench::PrivateBytes();
        run.commitPeak = commit > run.commitPeak ? commit : run.commitPeak;
    }
    const bool ended = table->pfnEndDocPort(port) != FALSE;
    run.seconds = Seconds() - started;
    run.printed = written && ended && table->pfnClosePort(port);
    return run;
}

int Run(const Options& options) {
    if (options.heatCancelSeconds > 0) {
        return bench::RunHeatCancel(options.host, options.firmware, options.heatCancelSeconds, 8.0);
    }
    std::string gcode;
    if (!options.file.empty()) {
        std::ifstream file(options.file, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", options.file.c_str());
            return 2;
        }
        gcode.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    } else {
        gcode = GenerateGcode(options.lines);
    }
    const LinkLimit limit = MeasureLimit(gcode, options.commandMicroseconds);
    const size_t lines = limit.commands.size();

    test::FirmwareOptions firmwareOptions;
    firmwareOptions.trackLinesInFlight = false;
    // Only counts and a digest: the firmware's records are not the monitor's memory.
    firmwareOptions.recordLines = false;
    if (options.pacing) {
        firmwareOptions.bytesPerSecond = kLinkBytesPerSecond;
        firmwareOptions.commandMicroseconds = options.commandMicroseconds;
    }
    firmwareOptions.faithfulReceive = options.faithful;
    firmwareOptions.okFormat = options.okFormat;
    firmwareOptions.corruptShare = options.corrupt;
    firmwareOptions.silentLossShare = options.silent;
    test::SimulatedFirmware firmware(firmwareOptions);
    if (!firmware.Start(options.firmware.c_str())) {
        std::fprintf(stderr, "cannot open the firmware's end of the line\n");
        return 2;
    }

    // What the firmware runs: the monitor greets it first and ends with M400.
    std::vector<std::string> expected = limit.commands;
    DocumentRun run;
    if (options.baseline) {
        const double started = Seconds();
        run.printed = RunBaselineHost(options.host, limit, options.overlappedBaseline) &&
                      firmware.WaitForNumberedExecuted(lines, 30 * 60 * 1000);
        run.seconds = Seconds() - started;
    } else {
        if (options.fixedPoke) {
            TheProtocolTimings().send.shortestPokeAfterMs = kPokeAfterMs;
        }
        run = PrintThroughTheTable(options.host, gcode, options.window);
        expected.insert(expected.begin(), "M110 N0");
        expected.push_back("M400");
    }
    firmware.Stop();
    uint64_t expectedDigest = test::kDigestStart;
    for (const std::string& command : expected) {
        expectedDigest = test::DigestCommand(expectedDigest, command);
    }
    const test::FirmwareStats stats = firmware.Stats();
    // Every numbered line once and in order, whatever the mode. Cut lines run
    // unchecked are the documented risk of a window on a link that corrupts lines,
    // reported; anywhere else (one line in flight, a clean link) they are a fault.
    const bool windowed = options.window > 0;
    const bool cutLinesAllowed = windowed && options.corrupt > 0.0;
    if (!run.printed || firmware.ExecutedDigest() != expectedDigest) {
        std::fprintf(stderr,
                     "the firmware did not execute every numbered line once and in order\n");
        return 1;
    }
    if (stats.cutLinesRun != 0 && !cutLinesAllowed) {
        std::fprintf(stderr, "the firmware ran %u cut lines unchecked\n", stats.cutLinesRun);
        return 1;
    }
    const double elapsed = run.seconds;
    const double rate = lines / elapsed;
    const double limitRate = lines / limit.seconds;
    std::printf("lines:            %zu (%.1f framed bytes a line, %.1f MB)\n", lines,
                static_cast<double>(limit.framedBytes) / lines, gcode.size() / 1048576.0);
    std::printf("host:             %s\n",
                options.overlappedBaseline
                    ? "baseline through overlapped I/O (write, then read \"ok\")"
                : options.baseline ? "baseline (synchronous write, then read \"ok\")"
                                   : "monitor (OpenPort .. WritePort .. EndDocPort)");
    if (options.pacing) {
        std::printf("pacing:           25000 bytes/s, %.1f ms a command\n",
                    options.commandMicroseconds / 1000.0);
    } else {
        std::printf("pacing:           none (the host and Wine alone)\n");
    }
    std::printf("time:             %.3f s\n", elapsed);
    std::printf("rate:             %.0f lines/s\n", rate);
    std::printf("link limit:       %.0f lines/s (one line in flight)\n", limitRate);
    std::printf("ratio to limit:   %.3f\n", rate / limitRate);
    static const char* const kOkTexts[] = {"ok", "ok {n}", "ok N{n} P{p} B{b}"};
    std::printf("ok text:          %s\n", kOkTexts[static_cast<int>(options.okFormat)]);
    if (options.window >= 0) {
        std::printf("StreamWindow:     %ld\n", options.window);
    }
    std::printf("receive side:     %s\n",
                options.faithful ? "modelled (128-byte ring, 4 command slots)" : "line by line");
    std::printf("resend requests:  %u\n", stats.resendRequests);
    std::printf("lost to overflow: %u lines\n", stats.linesLostToOverflow);
    std::printf("damaged lines:    %.1f %% taken as damaged; %u checksum errors\n",
                options.corrupt * 100, stats.checksumErrors);
    std::printf("silent losses:    %u dropped as a repeat, %u held for their line end "
                "(%.0f %% of the damaged lines)\n",
                stats.silentlyDropped, stats.heldForTheirEnd, options.silent * 100);
    std::printf("gaps:             %u over 1 s between numbered lines, the longest %.3f s\n",
                stats.gapsOverSecond, stats.longestGapMs / 1000.0);
    std::printf("poke:             %s\n",
                options.fixedPoke ? "after a fixed 5 s" : "after the link's own silence");
    std::printf("numbered lines:   each ran once and in order (%u numbered twice)\n",
                stats.linesExecutedTwice);
    std::printf("cut lines run:    %u (the rest of a line cut by the firmware's drop, run "
                "unchecked: a command run twice or damaged)%s\n",
                stats.cutLinesRun, cutLinesAllowed ? ", the risk of a window" : "");
    std::printf("sent again:       %u lines the firmware had accepted\n",
                stats.acceptedLinesSentAgain);
    if (!options.baseline) {
        std::printf("commit growth:    %.2f MB at the peak while streaming\n",
                    static_cast<double>(run.commitPeak - run.commitBefore) / 1048576.0);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(
            stderr,
            "usage: serial-benchmark [--lines N | --file PATH] [--no-pacing] [--faithful]\n"
            "                        [--baseline | --baseline-overlapped]\n"
            "                        [--host DEVICE] [--firmware DEVICE]\n"
            "                        [--ok-text \"ok\" | \"ok {n}\" | \"ok N{n} P{p} B{b}\"]\n"
            "                        [--window BYTES] [--corrupt SHARE] [--silent SHARE] "
            "[--fixed-poke] [--command-us N]\n"
            "                        [--heat-cancel SECONDS]\n");
        return 2;
    }
    return Run(options);
}
