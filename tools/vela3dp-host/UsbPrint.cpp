#include "UsbPrint.h"

#include "HostClock.h"
#include "HostMonitor.h"
#include "JobFile.h"
#include "LogLocation.h"
#include "PrinterTap.h"
#include "ProgressDisplay.h"
#include "QueueStatus.h"
#include "usb/JobFlags.h"
#include "sim/FakeSpooler.h"
#include "sim/SimulatedUsbPrinter.h"
#include "monitor/EndDoc.h"
#include "monitor/WritePort.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace vela::host {

const wchar_t kUsbPortName[] = L"Quarlend1:";

namespace {

constexpr int kBarWidth = 40;
constexpr DWORD kJobId = 1;

// The spooler's printer and job calls, telling the host when the monitor checks
// the job: the last step of every supervision poll.
class HostSpooler final : public FakeSpooler {
  public:
    std::function<void()> onJobCheck;

    BOOL GetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD size,
                 LPDWORD needed) override {
        if (onJobCheck) {
            onJobCheck();
        }
        return FakeSpooler::GetJobW(printer, jobId, level, job, size, needed);
    }
};

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Where the program leaves the head: the last record's coordinates, as motor steps.
void ParkHeadAtProgramEnd(const std::vector<uint8_t>& stream, const JobSummary& summary,
                          test::SimulatedUsbPrinter& printer) {
    if (summary.wholeRecords == 0) {
        return;
    }
    const uint8_t* last =
        stream.data() + kJobHeaderSize + (summary.wholeRecords - 1) * kJobRecordSize;
    double xyz[3] = {};
    if (!RecordCoordinates(last, xyz)) {
        return;
    }
    for (int axis = 0; axis < 3; ++axis) {
        const double steps = xyz[axis] * printer.info.axisScales[axis];
        // The printer counts Z downwards.
        printer.positions[axis] = static_cast<int32_t>(std::lround(axis == 2 ? -steps : steps));
    }
}

// Prints the queue's status texts set since the last call; true when there were any.
bool PrintQueueStatus(QueueStatusLines& statuses) {
    const std::vector<std::string> lines = statuses.Take();
    for (const std::string& line : lines) {
        std::printf("%s\n", line.c_str());
    }
    return !lines.empty();
}

// WritePort in pieces, as the spooler delivers a job, with a progress bar of the
// records the monitor has sent and the queue's status texts below it as they come.
// False when the monitor refused the bytes.
bool SendJob(LPMONITOR2 table, HANDLE port, std::vector<uint8_t>& stream, uint32_t piece,
             QueueStatusLines& statuses) {
    std::string shown;
    size_t offset = 0;
    bool accepted = true;
    while (offset < stream.size()) {
        const size_t remaining = stream.size() - offset;
        const DWORD size = static_cast<DWORD>(remaining < piece ? remaining : piece);
        DWORD written = 0;
        if (!table->pfnWritePort(port, stream.data() + offset, size, &written) || written == 0) {
            std::printf("\n  WritePort refused the bytes at offset %llu (error %lu)\n",
                        static_cast<unsigned long long>(offset), ::GetLastError());
            accepted = false;
            break;
        }
        offset += written < size ? written : size;
        if (!shown.empty() && statuses.Pending()) {
            // A status line ends the bar's line; the bar follows it again.
            std::printf("\n");
            shown.clear();
        }
        if (PrintQueueStatus(statuses)) {
            shown.clear();
        }
        const JobTransferState& transfer = DocumentOf(port).document.transfer;
        const std::string bar =
            FormatProgressBar(transfer.sentCount, transfer.announcedCount, kBarWidth);
        if (bar != shown) {
            std::printf("\r  %s", bar.c_str());
            std::fflush(stdout);
            shown = bar;
        }
    }
    std::printf("\n");
    return accepted;
}

void ShowPrompts(const FakeSpooler& spooler) {
    if (spooler.prompts.empty()) {
        std::printf("No remove-model prompt: the monitor asks for it only after a complete "
                    "job.\n");
        return;
    }
    for (const FakeSpooler::Prompt& prompt : spooler.prompts) {
        std::printf("Remove-model prompt, shown in the user's session (the simulated user "
                    "pressed OK):\n");
        std::printf("  title:   %ls\n", prompt.title.c_str());
        std::printf("  message: %ls\n", prompt.message.c_str());
    }
}

} // namespace

int PrintOnUsbPrinter(const HostArguments& arguments) {
    std::vector<uint8_t> stream;
    if (!ReadWholeFile(arguments.path, stream)) {
        std::fprintf(stderr, "Cannot read the job file %ls\n", arguments.path.c_str());
        return 2;
    }
    const JobSummary summary = SummarizeJob(stream);
    std::printf("Printing %ls on the simulated USB printer\n", arguments.path.c_str());
    if (summary.hasHeader) {
        std::printf("  job: %d records announced, %llu bytes (%llu whole records",
                    summary.announced, static_cast<unsigned long long>(stream.size()),
                    static_cast<unsigned long long>(summary.wholeRecords));
        if (summary.trailingBytes != 0) {
            std::printf(" and %u bytes more", summary.trailingBytes);
        }
        std::printf("), sent in pieces of %u bytes\n", arguments.piece);
    } else {
        std::printf("  job: only %llu bytes, not even the 4-byte record count\n",
                    static_cast<unsigned long long>(stream.size()));
    }

    // The world the monitor runs in: Win32 for what the host really has, the
    // simulated printer behind the USB seam, a spooler that knows the printer and
    // the job, and printer time shown faster than real time.
    HostClock clock(arguments.printSeconds / (kSimulatedPrintMs / 1000.0));
    test::SimulatedUsbPrinter printer(clock);
    printer.programDurationMs = kSimulatedPrintMs;
    printer.keepTraffic = false;
    ParkHeadAtProgramEnd(stream, summary, printer);
    const double scales[3] = {printer.info.axisScales[0], printer.info.axisScales[1],
                              printer.info.axisScales[2]};
    PrinterTap tap(printer, scales);
    HostSpooler spooler;
    QueueStatusLines statuses;
    spooler.onStatus = [&statuses](const wchar_t* text) { statuses.Add(text); };
    spooler.printerName = L"Vela3dp Simulated Printer";
    spooler.documentName = FileNameOf(arguments.path);
    test::FakeNotifications notifications;
    Platform platform = Win32Platform();
    platform.usb = &tap;
    platform.deviceSetup = &printer;
    platform.spooler = &spooler;
    platform.clock = &clock;
    platform.notifications = &notifications;

    const bool logFolder = EnsureLogFolder();
    HostMonitor monitor(platform);
    monitor.RegisterPort(kUsbPortName, L"");
    // Loaded as the spooler loads it; its device discovery reports on standard output.
    std::printf("Loading the monitor in this process:\n");
    if (!monitor.Load()) {
        std::fprintf(stderr, "Cannot load the monitor: %s\n", monitor.Error().c_str());
        return 2;
    }
    HANDLE port = monitor.OpenPort(kUsbPortName);
    if (port == nullptr) {
        std::fprintf(stderr, "Cannot open the port: %s\n", monitor.Error().c_str());
        return 2;
    }
    LPMONITOR2 table = monitor.Table();
    std::wstring printerName = spooler.printerName;
    DOC_INFO_1W document{};
    document.pDocName = &spooler.documentName[0];
    std::printf("  port %ls opened, printer \"%ls\", job %lu\n", kUsbPortName, printerName.c_str(),
                kJobId);
    if (!table->pfnStartDocPort(port, &printerName[0], kJobId, 1,
                                reinterpret_cast<LPBYTE>(&document))) {
        std::fprintf(stderr, "StartDocPort failed (error %lu)\n", ::GetLastError());
        monitor.ClosePort(port);
        return 2;
    }

    std::printf("Transfer: records the monitor has sent to the printer\n");
    SendJob(table, port, stream, arguments.piece, statuses);
    std::printf("  the printer holds %lld records; its program %s\n",
                static_cast<long long>(printer.recordCount),
                printer.programStarted ? "was started" : "was not started");

    std::printf("Supervision: the monitor polls the printer every %lu s of printer time "
                "(the print takes %u s of printer time, shown in %.1f s)\n",
                kSupervisionPollMs / 1000, kSimulatedPrintMs / 1000, arguments.printSeconds);
    int poll = 0;
    const ULONGLONG supervisionStart = clock.now;
    clock.beforeSleep = [&](DWORD milliseconds) {
        if (milliseconds == kSupervisionPollMs) {
            PrintQueueStatus(statuses);
            ++poll;
            tap.BeginPoll();
        }
    };
    spooler.onJobCheck = [&]() {
        if (tap.Watching()) {
            const PollReading reading = tap.EndPoll();
            std::printf("  %s\n", FormatPoll(poll, clock.now - supervisionStart, reading).c_str());
            std::fflush(stdout);
        }
    };
    table->pfnEndDocPort(port);
    clock.beforeSleep = nullptr;
    spooler.onJobCheck = nullptr;
    if (tap.Watching()) {
        std::printf("  %s\n",
                    FormatPoll(poll, clock.now - supervisionStart, tap.EndPoll()).c_str());
    }
    PrintQueueStatus(statuses);
    const JobTransferState transfer = DocumentOf(port).document.transfer;
    const bool refused = DocumentOf(port).document.jobFlags.sendingDisabled != 0;
    ShowPrompts(spooler);

    if (!monitor.ClosePort(port)) {
        std::printf("ClosePort reported that the port's protocol handler did not stop.\n");
    }
    monitor.Unload();

    std::printf("Result: %s\n",
                DescribeTransfer(transfer.sentCount, transfer.announcedCount, refused).c_str());
    if (logFolder) {
        std::printf("Debug log: %s\n", DescribeLogPath().c_str());
    } else {
        std::printf("Debug log: none (C:\\temp could not be created)\n");
    }
    return TransferComplete(transfer.sentCount, transfer.announcedCount) ? 0 : 1;
}

} // namespace vela::host
