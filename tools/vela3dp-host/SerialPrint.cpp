#include "SerialPrint.h"

#include "HostClock.h"
#include "HostMonitor.h"
#include "JobFile.h"
#include "LogLocation.h"
#include "ProgressDisplay.h"
#include "doubles/FakeSpooler.h"
#include "doubles/SimulatedFirmware.h"
#include "doubles/SimulatedUsbPrinter.h"
#include "monitor/MonitorState.h"
#include "protocol/LineQueue.h"

#include <cstdio>
#include <memory>

namespace vela::host {
namespace {

constexpr int kBarWidth = 40;
constexpr DWORD kJobId = 1;
constexpr DWORD kProgressIntervalMs = 100;
// The stream has stalled when nothing moves for this long.
constexpr DWORD kStallMs = 30000;
// Without simulated firmware nothing tells when the last line was acknowledged:
// once the queue is empty, the last line gets this long.
constexpr DWORD kLastLineGraceMs = 2000;
// A printer at 250000 baud with 8N1 framing moves 25000 bytes a second; each
// command takes the simulated firmware a little time of its own.
constexpr uint32_t kSimulatedLineBytesPerSecond = 25000;
constexpr uint32_t kSimulatedCommandMicroseconds = 1500;

std::string LineBar(uint32_t acknowledged, uint32_t sent, uint32_t total) {
    std::string bar = FormatProgressBar(acknowledged, total, kBarWidth);
    const size_t records = bar.find(" records");
    if (records != std::string::npos) {
        bar.replace(records, 8, " lines");
    }
    return bar + "  (" + std::to_string(sent) + " sent)";
}

// Waits while the protocol handler streams the queued lines, showing how far it
// got. True when every line is through.
bool FollowStream(LineQueue& queue, uint32_t total, test::SimulatedFirmware* firmware) {
    std::string shown;
    uint32_t lastProgress = 0;
    ULONGLONG lastChange = ::GetTickCount64();
    for (;;) {
        const uint32_t queued = queue.Count();
        const uint32_t sent = total > queued ? total - queued : 0;
        const uint32_t acknowledged =
            firmware != nullptr ? static_cast<uint32_t>(firmware->ExecutedNumberedCommands().size())
                                : (sent > 0 ? sent - 1 : 0);
        const std::string bar = LineBar(acknowledged, sent, total);
        if (bar != shown) {
            std::printf("\r  %s", bar.c_str());
            std::fflush(stdout);
            shown = bar;
        }
        if (firmware != nullptr ? acknowledged >= total : queued == 0) {
            break;
        }
        const uint32_t progress = sent + acknowledged;
        const ULONGLONG now = ::GetTickCount64();
        if (progress != lastProgress) {
            lastProgress = progress;
            lastChange = now;
        } else if (now - lastChange > kStallMs) {
            std::printf("\n  the stream has not moved for %lu s: giving up\n", kStallMs / 1000);
            return false;
        }
        ::Sleep(kProgressIntervalMs);
    }
    if (firmware == nullptr) {
        ::Sleep(kLastLineGraceMs);
        std::printf("\r  %s", LineBar(total, total, total).c_str());
    }
    std::printf("\n");
    return true;
}

} // namespace

uint32_t CountGcodeLines(const std::vector<uint8_t>& bytes) {
    if (bytes.empty()) {
        return 0;
    }
    // The monitor's own splitting, on a queue of the host's.
    LineQueue lines;
    lines.AppendBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return lines.Count();
}

std::wstring SerialPortName(const std::wstring& comPort) {
    return L"Quarlend Serial " + comPort + L":";
}

std::wstring SerialDevicePath(const std::wstring& comPort) {
    return L"\\\\.\\" + comPort;
}

int PrintOnSerialPrinter(const HostArguments& arguments) {
    std::vector<uint8_t> gcode;
    if (!ReadWholeFile(arguments.path, gcode)) {
        std::fprintf(stderr, "Cannot read the G-code file %ls\n", arguments.path.c_str());
        return 2;
    }
    const uint32_t total = CountGcodeLines(gcode);
    const bool simulated = !arguments.firmwarePort.empty();
    std::printf("Printing %ls on the serial printer at %ls%s\n", arguments.path.c_str(),
                arguments.serialPort.c_str(), simulated ? "" : " (a real printer)");
    std::printf("  %u G-code lines to send (comments and empty lines dropped), %llu bytes\n", total,
                static_cast<unsigned long long>(gcode.size()));
    if (!gcode.empty() && gcode.back() != '\n') {
        std::printf("  the file's last line has no line end: the monitor holds it back\n");
    }

    std::unique_ptr<test::SimulatedFirmware> firmware;
    if (simulated) {
        test::FirmwareOptions options;
        options.bytesPerSecond = kSimulatedLineBytesPerSecond;
        options.commandMicroseconds = kSimulatedCommandMicroseconds;
        firmware = std::make_unique<test::SimulatedFirmware>(options);
        const std::wstring firmwareDevice = SerialDevicePath(arguments.firmwarePort);
        if (!firmware->Start(firmwareDevice.c_str())) {
            std::fprintf(stderr,
                         "Cannot open %ls for the simulated firmware: it must be the other end "
                         "of a connected pair of ports\n",
                         arguments.firmwarePort.c_str());
            return 2;
        }
        test::PurgeSerialDevice(SerialDevicePath(arguments.serialPort).c_str());
        std::printf("  simulated firmware answering on %ls (%u bytes/s each way)\n",
                    arguments.firmwarePort.c_str(), kSimulatedLineBytesPerSecond);
    }

    // No USB printer here: the same bytes go to the USB path too, and it must find
    // none rather than a real one. Time for the end of the document's one poll
    // passes at once.
    HostClock clock(0.0);
    test::SimulatedUsbPrinter noUsbPrinter(clock);
    noUsbPrinter.attachedPrinters = 0;
    FakeSpooler spooler;
    spooler.printerName = L"Vela3dp Serial Printer";
    spooler.documentName = arguments.path;
    test::FakeNotifications notifications;
    Platform platform = Win32Platform();
    platform.usb = &noUsbPrinter;
    platform.deviceSetup = &noUsbPrinter;
    platform.spooler = &spooler;
    platform.clock = &clock;
    platform.notifications = &notifications;

    const bool logFolder = EnsureLogFolder();
    const std::wstring portName = SerialPortName(arguments.serialPort);
    HostMonitor monitor(platform);
    monitor.RegisterPort(portName, SerialDevicePath(arguments.serialPort));
    // Loaded as the spooler loads it; its device discovery reports on standard output.
    std::printf("Loading the monitor in this process:\n");
    if (!monitor.Load()) {
        std::fprintf(stderr, "Cannot load the monitor: %s\n", monitor.Error().c_str());
        return 2;
    }
    HANDLE port = monitor.OpenPort(portName);
    if (port == nullptr) {
        std::fprintf(stderr, "Cannot open the port: %s\n", monitor.Error().c_str());
        return 2;
    }
    std::printf("  port \"%ls\" (device %ls) opened: its protocol handler runs\n", portName.c_str(),
                SerialDevicePath(arguments.serialPort).c_str());
    LPMONITOR2 table = monitor.Table();
    std::wstring printerName = spooler.printerName;
    if (!table->pfnStartDocPort(port, &printerName[0], kJobId, 1, nullptr)) {
        std::fprintf(stderr, "StartDocPort failed (error %lu)\n", ::GetLastError());
        monitor.ClosePort(port);
        return 2;
    }
    bool queued = true;
    for (size_t offset = 0; offset < gcode.size() && queued;) {
        const size_t left = gcode.size() - offset;
        const DWORD size = static_cast<DWORD>(left < arguments.piece ? left : arguments.piece);
        DWORD written = 0;
        queued = table->pfnWritePort(port, gcode.data() + offset, size, &written) && written > 0;
        offset += written;
    }
    if (!queued) {
        std::printf("  WritePort refused the bytes (error %lu)\n", ::GetLastError());
    }
    std::printf("Streaming: one numbered, checksummed line at a time, the next on \"ok\"\n");
    // ClosePort stops the handler at once, queued lines or not: the host keeps the
    // document open until the printer has them all.
    const bool streamed =
        queued && FollowStream(TheMonitorState().m_LineQueue, total, firmware.get());
    table->pfnEndDocPort(port);
    const bool closed = monitor.ClosePort(port);
    monitor.Unload();

    uint32_t acknowledged = 0;
    if (firmware) {
        acknowledged = static_cast<uint32_t>(firmware->ExecutedNumberedCommands().size());
        const test::FirmwareStats stats = firmware->Stats();
        firmware->Stop();
        std::printf("Result: %u of %u lines acknowledged by the firmware; %u checksum errors, "
                    "%u resend requests\n",
                    acknowledged, total, stats.checksumErrors, stats.resendRequests);
    } else {
        std::printf("Result: %s\n",
                    streamed ? "every line was sent to the printer" : "the stream stopped short");
    }
    if (!closed) {
        std::printf("ClosePort reported that the protocol handler did not stop.\n");
    }
    if (logFolder) {
        std::printf("Debug log: %s\n", DescribeLogPath().c_str());
    }
    const bool complete = firmware ? acknowledged >= total : streamed;
    return complete && closed ? 0 : 1;
}

} // namespace vela::host
