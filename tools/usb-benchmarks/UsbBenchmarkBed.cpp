#include "UsbBenchmarkBed.h"

#include "JobFile.h"
#include "monitor/WritePort.h"
#include "monitor/PortSession.h"

#include <psapi.h>

namespace vela::bench {
namespace {

constexpr wchar_t kPortName[] = L"Quarlend1:";
constexpr DWORD kJobId = 1;

} // namespace

UsbBenchmarkBed::UsbBenchmarkBed()
    : printer(clock), link(printer, clock, kTransferMicros, kConnectionMicros),
      monitor_(Assemble()) {
    // The printer only counts what arrives: the monitor is what is measured.
    printer.keepTraffic = false;
    // Each program is done by the first poll: supervision is not what is measured.
    printer.programDurationMs = 0;
    spooler.printerName = L"Vela3dp Benchmark Printer";
    spooler.documentName = L"benchmark.job";
}

UsbBenchmarkBed::~UsbBenchmarkBed() {
    Unload();
}

Platform UsbBenchmarkBed::Assemble() {
    Platform platform = Win32Platform();
    platform.usb = &link;
    platform.deviceSetup = &printer;
    platform.spooler = &spooler;
    platform.clock = &clock;
    platform.notifications = &notifications;
    return platform;
}

bool UsbBenchmarkBed::Load() {
    monitor_.RegisterPort(kPortName, L"");
    if (!monitor_.Load()) {
        error_ = monitor_.Error();
        return false;
    }
    return true;
}

void UsbBenchmarkBed::Unload() {
    monitor_.Unload();
}

bool UsbBenchmarkBed::RunJob(std::vector<uint8_t>& stream, uint32_t piece, JobMeasure& measure) {
    LPMONITOR2 table = monitor_.Table();
    HANDLE port = monitor_.OpenPort(kPortName);
    if (table == nullptr || port == nullptr) {
        error_ = monitor_.Error();
        return false;
    }
    // The simulated printer stays at "Finish Printing" after a job; the person who
    // takes the model off readies it for the next one.
    printer.parameters[16] = 1;
    std::wstring printerName = spooler.printerName;
    if (!table->pfnStartDocPort(port, &printerName[0], kJobId, 1, nullptr)) {
        error_ = "StartDocPort failed";
        monitor_.ClosePort(port);
        return false;
    }
    const uint64_t transfersBefore = link.transfers;
    const uint64_t connectionsBefore = link.connections;
    const uint64_t transferMicrosBefore = link.transferMicros;
    const uint64_t connectionMicrosBefore = link.connectionMicros;
    const uint64_t start = link.NowMicros();
    const double wallStart = WallSeconds();
    bool written = true;
    for (size_t offset = 0; offset < stream.size(); offset += piece) {
        const size_t left = stream.size() - offset;
        const DWORD size = static_cast<DWORD>(left < piece ? left : piece);
        DWORD done = 0;
        ++measure.writeCalls;
        if (!table->pfnWritePort(port, stream.data() + offset, size, &done) || done != size) {
            error_ = "WritePort refused the bytes";
            written = false;
            break;
        }
    }
    measure.wallSeconds += WallSeconds() - wallStart;
    measure.modelledMicros += link.NowMicros() - start;
    measure.transfers += link.transfers - transfersBefore;
    measure.connections += link.connections - connectionsBefore;
    measure.transferMicros += link.transferMicros - transferMicrosBefore;
    measure.connectionMicros += link.connectionMicros - connectionMicrosBefore;
    const PortEntry* entry = EntryOf(port);
    const auto& transfer = static_cast<PortSession*>(entry->session)->document.transfer;
    measure.sent = transfer.sentCount;
    measure.announced = transfer.announcedCount;

    table->pfnEndDocPort(port);
    const bool closed = monitor_.ClosePort(port);
    if (!closed && written) {
        error_ = "ClosePort failed";
    }
    // What the doubles recorded of this job is not the monitor's memory.
    std::vector<FakeSpooler::Prompt>().swap(spooler.prompts);
    std::vector<FakeSpooler::SetJobCall>().swap(spooler.setJobCalls);
    spooler.ClearStatusTexts();
    std::vector<DWORD>().swap(clock.sleeps);
    return written && closed;
}

uint64_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(),
                                reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                sizeof(counters))) {
        return 0;
    }
    // Wine leaves PrivateUsage at 0 but keeps the same commit charge in
    // PagefileUsage, which on Windows equals PrivateUsage.
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

int32_t RecordsForMegabytes(uint32_t megabytes) {
    const uint64_t bytes = static_cast<uint64_t>(megabytes) * 1024u * 1024u;
    return static_cast<int32_t>(bytes / host::kJobRecordSize);
}

double WallSeconds() {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER now{};
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace vela::bench
