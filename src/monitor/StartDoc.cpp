#include "monitor/StartDoc.h"

#include "VelaLib2/JobFlags.h"
#include "monitor/DebugLog.h"
#include "monitor/JobStream.h"
#include "monitor/Memory.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "ports/PortList.h"

#include <cwchar>
#include <memory>
#include <new>

namespace vela {
namespace {

constexpr size_t kPrintNameLimit = 128; // characters, terminator included

// Reads the job's document name; the spooler's test page is printed without
// streaming its bytes to a serial printer.
// False only when the job buffer cannot be allocated.
bool DetectTestPage(MonitorState& state, PortEntry* entry) {
    Spooler& spooler = *CurrentPlatform().spooler;
    DWORD needed = 0;
    if (spooler.GetJobW(entry->printerHandle, entry->jobId, 1, nullptr, 0, &needed) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return true;
    }
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[needed]);
    if (buffer == nullptr) {
        return false;
    }
    if (spooler.GetJobW(entry->printerHandle, entry->jobId, 1, buffer.get(), needed, &needed)) {
        const auto* job = reinterpret_cast<const JOB_INFO_1W*>(buffer.get());
        if (job->pDocument != nullptr && ::lstrcmpiW(job->pDocument, L"Test Page") == 0) {
            state.m_TestPage = 1;
        }
    }
    return true;
}

} // namespace

BOOL StartDocPort(MonitorState& state, HANDLE port, LPWSTR printerName, DWORD jobId,
                  DWORD /*level*/, LPBYTE /*docInfo*/) {
    auto* entry = static_cast<PortEntry*>(port);
    state.m_hPort = entry;
    state.m_JobId = jobId;
    TheJobTransferState() = JobTransferState{};
    TheJobFlags() = JobFlags{};
    WriteLog("\n\r3D Printer V26.1: StartDocPort\r\n");
    if (entry == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }

    {
        CriticalSectionLock guard(state.m_Lock);
        if ((entry->flags & kPortDocumentInProgress) != 0) {
            return TRUE;
        }
        entry->flags |= kPortDocumentInProgress;
    }
    entry->printerHandle = nullptr;
    // Some spoolers pass no printer name: the document then proceeds without
    // spooler job control, as with a printer that cannot be opened.
    FreeString(entry->printerName);
    entry->printerName = AllocString(printerName);
    if (printerName != nullptr) {
        std::wcsncpy(state.m_PrintName, printerName, kPrintNameLimit - 1);
        state.m_PrintName[kPrintNameLimit - 1] = L'\0';
    }
    if (entry->printerName != nullptr && CurrentPlatform().spooler->OpenPrinterW(
                                             entry->printerName, &entry->printerHandle, nullptr)) {
        entry->jobId = jobId;
        if (!DetectTestPage(state, entry)) {
            return FALSE;
        }
    } else {
        entry->printerHandle = nullptr;
    }
    return TRUE;
}

} // namespace vela
