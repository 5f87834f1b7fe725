#include "SerialPrint.h"

#include "HostMonitor.h"
#include "JobFile.h"
#include "LogLocation.h"
#include "ProgressDisplay.h"
#include "QueueStatus.h"
#include "sim/FakeSpooler.h"
#include "sim/SimulatedFirmware.h"
#include "sim/SimulatedUsbPrinter.h"
#include "core/MonitorState.h"
#include "monitor/PortSession.h"
#include "monitor/SerialDocumentLog.h"
#include "serial/LineQueue.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

namespace vela::host {
namespace {

constexpr int kBarWidth = 40;
constexpr DWORD kJobId = 1;
constexpr DWORD kProgressIntervalMs = 100;
// A printer at 250000 baud with 8N1 framing moves 25000 bytes a second; each
// command takes the simulated firmware a little time of its own.
constexpr uint32_t kSimulatedLineBytesPerSecond = 25000;
constexpr uint32_t kSimulatedCommandMicroseconds = 1500;

std::string LineBar(uint32_t acknowledged, uint32_t lineNumber, uint32_t total) {
    std::string bar =
        FormatProgressBar(acknowledged < total ? acknowledged : total, total, kBarWidth);
    const size_t records = bar.find(" records");
    if (records != std::string::npos) {
        bar.replace(records, 8, " lines");
    }
    return bar + "  (line N" + std::to_string(lineNumber) + ")";
}

// Shows the monitor's own progress while the spooler's calls run on the main
// thread: the lines the firmware has acknowledged, what the monitor is doing, and
// the job's status texts in the queue.
class ProgressFollower {
  public:
    ProgressFollower(HANDLE port, uint32_t total, QueueStatusLines& statuses, FakeSpooler& spooler,
                     const HostArguments& arguments)
        : session_(DocumentOf(port)), total_(total), statuses_(statuses), spooler_(spooler),
          pauseAtLine_(arguments.pauseAtLine),
          pauseMs_(static_cast<ULONGLONG>(arguments.pauseSeconds * 1000)),
          thread_([this] { Follow(); }) {}
    ~ProgressFollower() { Finish(); }
    ProgressFollower(const ProgressFollower&) = delete;
    ProgressFollower& operator=(const ProgressFollower&) = delete;

    void Finish() {
        if (thread_.joinable()) {
            running_ = false;
            thread_.join();
            Show();
            std::printf("\n");
        }
    }

  private:
    void Follow() {
        while (running_) {
            Show();
            PauseWhenDue();
            ::Sleep(kProgressIntervalMs);
        }
    }
    // The user pauses the job in the queue at the line asked for, and lets it go
    // on later: the monitor sees the job's status as the spooler keeps it.
    void PauseWhenDue() {
        if (pauseAtLine_ == 0 || session_.serial == nullptr) {
            return;
        }
        const DocumentProgress progress = session_.serial->Progress();
        const ULONGLONG now = ::GetTickCount64();
        if (pausedAt_ == 0 && static_cast<uint32_t>(progress.lineNumber) >= pauseAtLine_) {
            pausedAt_ = now;
            spooler_.jobStatus = spooler_.jobStatus | JOB_STATUS_PAUSED;
            std::printf("\n  (the job is paused in the queue)\n");
            shown_.clear();
        } else if (pausedAt_ != 0 && !resumed_ && now - pausedAt_ >= pauseMs_) {
            resumed_ = true;
            spooler_.jobStatus = spooler_.jobStatus & ~static_cast<DWORD>(JOB_STATUS_PAUSED);
            std::printf("\n  (the job goes on in the queue)\n");
            shown_.clear();
        }
    }
    void Show() {
        const std::vector<std::string> lines = statuses_.Take();
        for (const std::string& line : lines) {
            // A status line ends the bar's line; the bar follows it again.
            std::printf("%s%s\n", shown_.empty() ? "" : "\n", line.c_str());
            shown_.clear();
        }
        if (session_.serial == nullptr) {
            return;
        }
        const DocumentProgress progress = session_.serial->Progress();
        std::string bar = LineBar(static_cast<uint32_t>(progress.linesAcknowledged),
                                  static_cast<uint32_t>(progress.lineNumber), total_);
        if (progress.finishing) {
            bar += "  finishing moves (M400)";
        }
        if (bar != shown_) {
            std::printf("\r  %s", bar.c_str());
            std::fflush(stdout);
            shown_ = bar;
        }
    }

    const PortSession& session_;
    const uint32_t total_;
    QueueStatusLines& statuses_;
    FakeSpooler& spooler_;
    const uint32_t pauseAtLine_;
    const ULONGLONG pauseMs_;
    ULONGLONG pausedAt_ = 0;
    bool resumed_ = false;
    std::string shown_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

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

    std::unique_ptr<test::SimulatedFirmware> firmware;
    if (simulated) {
        test::FirmwareOptions options;
        // 8N1 framing: ten bits a byte.
        options.bytesPerSecond = arguments.firmwareBaud != 0 ? arguments.firmwareBaud / 10
                                                             : kSimulatedLineBytesPerSecond;
        options.commandMicroseconds = kSimulatedCommandMicroseconds;
        // Its temperatures every half second, as a board with auto-report sends
        // them: the queue's status shows them.
        options.temperatureReportMs = 500;
        if (arguments.firmwareBaud != 0) {
            // It hears the printer's end of the line at the speed that end is set to,
            // as the device itself says.
            auto printerEnd = std::make_shared<UniqueHandle>(
                ::CreateFileW(SerialDevicePath(arguments.serialPort).c_str(),
                              GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            options.baudRate = arguments.firmwareBaud;
            options.hostBaudRate = [printerEnd]() -> uint32_t {
                DCB dcb{};
                dcb.DCBlength = sizeof(dcb);
                return ::GetCommState(printerEnd->Get(), &dcb) ? dcb.BaudRate : 0;
            };
        }
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
        std::printf("  simulated firmware answering on %ls (%u bytes/s each way)",
                    arguments.firmwarePort.c_str(), options.bytesPerSecond);
        if (arguments.firmwareBaud != 0) {
            std::printf(", talking at %u baud only", arguments.firmwareBaud);
        }
        std::printf("\n");
    }

    // No USB printer here: a serial document never reaches one anyway. The serial
    // line's time-outs run on real time.
    test::FakeClock unused;
    test::SimulatedUsbPrinter noUsbPrinter(unused);
    noUsbPrinter.attachedPrinters = 0;
    FakeSpooler spooler;
    QueueStatusLines statuses;
    spooler.onStatus = [&statuses](const wchar_t* text) { statuses.Add(text); };
    spooler.printerName = L"Vela3dp Serial Printer";
    spooler.documentName = arguments.path;
    test::FakeNotifications notifications;
    Platform platform = Win32Platform();
    platform.usb = &noUsbPrinter;
    platform.deviceSetup = &noUsbPrinter;
    platform.spooler = &spooler;
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
    std::printf("  port \"%ls\" (device %ls) opened\n", portName.c_str(),
                SerialDevicePath(arguments.serialPort).c_str());
    LPMONITOR2 table = monitor.Table();
    std::wstring printerName = spooler.printerName;
    std::printf("StartDocPort: the monitor opens the device and greets the firmware "
                "(\"M110 N0\")\n");
    const ULONGLONG greetingStart = ::GetTickCount64();
    if (!table->pfnStartDocPort(port, &printerName[0], kJobId, 1, nullptr)) {
        std::fprintf(stderr, "StartDocPort failed (error %lu): %s\n", ::GetLastError(),
                     ::GetLastError() == ERROR_NOT_READY ? "the printer does not answer"
                                                         : "the device cannot be opened");
        monitor.ClosePort(port);
        monitor.Unload();
        return 2;
    }
    const DocumentProgress greeted = DocumentOf(port).serial->Progress();
    std::printf("  the printer answered at %u baud after %.1f s (speeds tried, the port on "
                "automatic: %s)\n",
                greeted.baudRate, static_cast<double>(::GetTickCount64() - greetingStart) / 1000.0,
                RatesText(greeted.ratesTried).c_str());
    std::printf("Streaming: one numbered, checksummed line at a time, the next on \"ok\"\n");
    ProgressFollower follower(port, total, statuses, spooler, arguments);
    bool queued = true;
    for (size_t offset = 0; offset < gcode.size() && queued;) {
        const size_t left = gcode.size() - offset;
        const DWORD size = static_cast<DWORD>(left < arguments.piece ? left : arguments.piece);
        DWORD written = 0;
        queued = table->pfnWritePort(port, gcode.data() + offset, size, &written) && written > 0;
        offset += written;
    }
    const DWORD writeError = queued ? 0 : ::GetLastError();
    // EndDocPort returns once the printer has acknowledged every line and finished
    // its moves (or the document failed); the spooler then closes the port.
    table->pfnEndDocPort(port);
    const DocumentProgress outcome = DocumentOf(port).serial->Progress();
    follower.Finish();
    if (!queued) {
        std::printf("  WritePort refused the bytes (error %lu)\n", writeError);
    }
    const bool streamed = queued && outcome.outcome == DocumentOutcome::Completed;
    std::printf("  the monitor reports the document as %s\n", DescribeOutcome(outcome).c_str());
    const bool closed = monitor.ClosePort(port);
    monitor.Unload();

    uint32_t acknowledged = 0;
    if (firmware) {
        // The firmware's count includes the monitor's greeting and its final M400.
        const size_t executed = firmware->ExecutedNumberedCommands().size();
        acknowledged = static_cast<uint32_t>(executed >= 2 ? executed - 2 : 0);
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
    const bool complete = streamed && (!firmware || acknowledged >= total);
    return complete && closed ? 0 : 1;
}

} // namespace vela::host
