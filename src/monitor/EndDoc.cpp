#include "monitor/EndDoc.h"

#include "VelaLib2/JobFlags.h"
#include "VelaLib2/PrinterDevice.h"
#include "monitor/DebugLog.h"
#include "monitor/JobStream.h"
#include "monitor/Memory.h"
#include "monitor/RemoveModelPrompt.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "ports/PortList.h"

#include <memory>
#include <new>

namespace vela {
namespace {

constexpr int32_t kStatusPrinting = 2;

enum class JobCheck { Continue, Cancelled, OutOfMemory };

// One poll's reading of the printer: status, and the head position when idle.
void PollPrinter(PrinterDevice& device, bool& running) {
    WriteLog("V26.4 Print is Runing,    ");
    CurrentPlatform().clock->Sleep(kSupervisionPollMs);
    running = device.IsRunning();
    int32_t status = 0;
    device.ReadParameter(parameter::kPrinterStatus, &status);
    device.Link().CloseDevice();
    WriteLogFormatted("Printer status: %d \r\n", status);
    if (status == kStatusPrinting) {
        return;
    }
    device.ReadStatus();
    device.WriteParameter(parameter::kParameter148, 999);
    const double* scales = device.Info().axisScales;
    const double x = static_cast<double>(device.ReadAxisPosition(0)) / scales[0];
    const double y = static_cast<double>(device.ReadAxisPosition(1)) / scales[1];
    const double z = -static_cast<double>(device.ReadAxisPosition(2)) / scales[2];
    device.WriteParameter(parameter::kParameter148, 0);
    device.Link().CloseDevice();
    WriteLogFormatted("Printer status: %d;  Pos:(X%.2f Y%.2f Z%.2f) scale: %.2f %.2f %.2f\r\n",
                      status, x, y, z, scales[0], scales[1], scales[2]);
}

// Whether the user deleted or restarted the spooler job meanwhile.
JobCheck CheckSpoolerJob(const PortEntry* entry) {
    Spooler& spooler = *CurrentPlatform().spooler;
    HANDLE printer = entry != nullptr ? entry->printerHandle : nullptr;
    const DWORD jobId = entry != nullptr ? entry->jobId : 0;
    DWORD needed = 0;
    if (spooler.GetJobW(printer, jobId, 1, nullptr, 0, &needed) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        WriteLog("Can't get job1\r\n");
        return JobCheck::Continue;
    }
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[needed]);
    if (buffer == nullptr) {
        WriteLog("Can't allocate memory for job\r\n");
        return JobCheck::OutOfMemory;
    }
    if (!spooler.GetJobW(printer, jobId, 1, buffer.get(), needed, &needed)) {
        WriteLog("Can't get job2\r\n");
        return JobCheck::Continue;
    }
    WriteLog("Get print job\r\n");
    const auto* job = reinterpret_cast<const JOB_INFO_1W*>(buffer.get());
    if ((job->Status & (JOB_STATUS_DELETING | JOB_STATUS_RESTART)) != 0) {
        WriteLog("The job is deleting\r\n");
        return JobCheck::Cancelled;
    }
    return JobCheck::Continue;
}

void LogLocalTime() {
    SYSTEMTIME now{};
    CurrentPlatform().clock->GetLocalTime(&now);
    WriteLogFormatted("%02u:%02u:%02u", static_cast<unsigned>(now.wHour) % 100u,
                      static_cast<unsigned>(now.wMinute) % 100u,
                      static_cast<unsigned>(now.wSecond) % 100u);
}

bool DocumentInProgress(MonitorState& state, const PortEntry* entry) {
    if (entry == nullptr) {
        return false;
    }
    CriticalSectionLock guard(state.m_Lock);
    return (entry->flags & kPortDocumentInProgress) != 0;
}

} // namespace

BOOL EndDocPort(MonitorState& state, HANDLE port) {
    auto* entry = static_cast<PortEntry*>(port);
    PrinterDevice device;
    LogLocalTime();
    WriteLog("   End Doc port\r\n");

    bool running = true;
    bool cancelled = false;
    while (running) {
        PollPrinter(device, running);
        const JobCheck check = CheckSpoolerJob(entry);
        if (check == JobCheck::OutOfMemory) {
            break;
        }
        if (check == JobCheck::Cancelled) {
            cancelled = true;
            break;
        }
    }
    if (cancelled) {
        WriteLog("Beging cancel the print\r\n");
        device.AbortPrint();
        device.Link().CloseDevice();
    }

    if (!DocumentInProgress(state, entry)) {
        state.m_hPort = nullptr;
        state.m_JobId = 0;
        return TRUE;
    }

    const JobTransferState& transfer = TheJobTransferState();
    int completion = 0;
    if (transfer.sentCount == transfer.announcedCount) {
        completion = transfer.sentCount >= 1 ? 0 : 2;
    } else if (TheJobFlags().sendingDisabled != 0 && TheJobFlags().transferFailed == 0) {
        // The printer refused the records: it is left as it chose to be.
        completion = 2;
    } else {
        device.ResetPrinter();
        completion = 1;
    }
    device.Link().CloseDevice();
    WriteLogFormatted("3D Printer V26.4: EndDocPort, Totoal Send:%d, Max Cmd:%d\r\n",
                      transfer.sentCount, transfer.announcedCount);

    ::FlushFileBuffers(entry->deviceHandle);
    CurrentPlatform().spooler->SetJobW(entry->printerHandle, entry->jobId, 0, nullptr,
                                       JOB_CONTROL_SENT_TO_PRINTER);
    if (state.m_TestPage == 1) {
        state.m_TestPage = 0;
    }
    {
        CriticalSectionLock guard(state.m_Lock);
        entry->flags &= ~kPortDocumentInProgress;
    }
    if (completion == 0 && !cancelled) {
        PromptRemoveModel(state, entry, kRemoveModelTitle, kRemoveModelMessage);
    }
    if (entry->printerHandle != nullptr) {
        CurrentPlatform().spooler->ClosePrinter(entry->printerHandle);
        entry->printerHandle = nullptr;
    }
    FreeString(entry->printerName);
    entry->printerName = nullptr;
    state.m_hPort = nullptr;
    state.m_JobId = 0;
    return TRUE;
}

} // namespace vela
