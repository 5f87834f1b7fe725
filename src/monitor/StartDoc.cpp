#include "monitor/StartDoc.h"

#include "core/Memory.h"
#include "monitor/PortSession.h"
#include "monitor/SpoolerJob.h"
#include "platform/DiagnosticLog.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "ports/PortList.h"
#include "ports/PortSettingsStore.h"
#include "serial/StreamWindow.h"

#include <memory>
#include <string>

namespace vela {
namespace {

// The data of the port's "Ports" value: a serial device path, or empty for a
// USB printer.
std::wstring ReadDevicePath(MonitorState& state, LPCWSTR portName) {
    DWORD size = 0;
    if (QueryPortValue(state, portName, nullptr, &size) != ERROR_SUCCESS || size == 0) {
        return std::wstring();
    }
    std::unique_ptr<WCHAR[]> path(new (std::nothrow) WCHAR[size / sizeof(WCHAR) + 1]());
    if (path == nullptr || QueryPortValue(state, portName, reinterpret_cast<LPBYTE>(path.get()),
                                          &size) != ERROR_SUCCESS) {
        return std::wstring();
    }
    return std::wstring(path.get());
}

static_assert(kMaxStreamWindowBytes == StreamWindow::kMaxBytes,
              "the port setting's range is the window's");

// How the serial handler streams for the port's setting: without a value of its
// own, one line at a time, whatever the firmware reports of its buffers.
StreamWindowSetting StreamWindowOf(const PortSettings& settings) {
    StreamWindowSetting window;
    window.bytes = settings.streamWindow;
    return window;
}

// Hands the document to the serial handler: the device is opened (once; it stays
// open across documents) and the firmware's line counter made to agree.
DWORD BeginSerialDocument(MonitorState& state, PortEntry* entry, PortSession& session,
                          const std::wstring& devicePath) {
    if (session.serial != nullptr && session.serial->DevicePath() != devicePath) {
        if (!session.serial->Stop()) {
            return ERROR_BUSY;
        }
        session.serial.reset();
    }
    if (session.serial == nullptr) {
        session.serial.reset(new (std::nothrow) ProtocolHandler(devicePath, TheProtocolTimings()));
        if (session.serial == nullptr) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    session.status.Show(JobPhase::WaitingForPrinter);
    // The handler takes the cancel lines and the window; speed, pause and resume
    // lines are not its to use yet.
    const PortSettings settings = ReadPortSettings(state, entry->name);
    const DWORD result =
        session.serial->BeginDocument(settings.cancelLines, StreamWindowOf(settings));
    if (result != 0) {
        LogFormatted(LogTo::DebugLog, "Serial printer on %ls not ready (error %lu): %s\r\n",
                     entry->name, static_cast<unsigned long>(result),
                     result == ERROR_NOT_READY ? "no answer to the handshake"
                                               : "the device cannot be opened");
    }
    return result;
}

// Undoes what StartDocPort did for a document that cannot start: the handle's
// WritePort calls fail until its next StartDocPort.
void AbandonDocument(MonitorState& state, PortHandle& handle, PortSession& session) {
    ReleaseDocumentPrinter(handle.entry);
    handle.startFailed = true;
    CriticalSectionLock guard(state.lock);
    handle.entry->flags &= ~kPortDocumentInProgress;
    session.documentOwner = nullptr;
}

enum class Claim { Claimed, Restarted, Busy };

// Makes the handle the owner of the port's document. A document of another handle
// is never joined: its bytes would mix with this one's on the printer.
Claim ClaimDocument(MonitorState& state, PortHandle& handle, PortSession& session) {
    CriticalSectionLock guard(state.lock);
    PortEntry* entry = handle.entry;
    if ((entry->flags & kPortDocumentInProgress) != 0) {
        return session.documentOwner == &handle ? Claim::Restarted : Claim::Busy;
    }
    entry->flags |= kPortDocumentInProgress;
    session.documentOwner = &handle;
    return Claim::Claimed;
}

} // namespace

BOOL StartDocPort(MonitorState& state, HANDLE port, LPWSTR printerName, DWORD jobId,
                  DWORD /*level*/, LPBYTE /*docInfo*/) {
    PortHandle* handle = HandleOf(port);
    PortEntry* entry = handle != nullptr ? handle->entry : nullptr;
    Log(LogTo::DebugLog, "\n\r3D Printer V26.1: StartDocPort\r\n");
    PortSession* session = SessionOf(state, entry);
    if (entry == nullptr || session == nullptr) {
        ::SetLastError(entry == nullptr ? ERROR_INVALID_HANDLE : ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    const PortCall call(state, *session);
    handle->startFailed = false;
    switch (ClaimDocument(state, *handle, *session)) {
    case Claim::Busy:
        // The spooler tries the job again later; the other document goes on.
        LogFormatted(LogTo::DebugLog,
                     "StartDocPort on %ls: the printer is busy with another queue's document\r\n",
                     entry->name);
        handle->startFailed = true;
        ::SetLastError(ERROR_BUSY);
        return FALSE;
    case Claim::Restarted:
        // The handle's earlier document was never ended: it ends here, and this
        // one starts afresh with its own printer, job and counters.
        LogFormatted(LogTo::DebugLog,
                     "StartDocPort on %ls: the document in progress was never ended\r\n",
                     entry->name);
        ReleaseDocumentPrinter(entry);
        break;
    case Claim::Claimed:
        break;
    }
    session->transfer = JobTransferState{};
    session->jobFlags = JobFlags{};
    session->testPage = false;
    session->serialStarted = false;
    session->usbCancelled = false;
    entry->printerHandle = nullptr;
    entry->jobId = 0;
    // Some spoolers pass no printer name: the document then proceeds without
    // spooler job control, as with a printer that cannot be opened.
    FreeString(entry->printerName);
    entry->printerName = AllocString(printerName);
    if (entry->printerName != nullptr && CurrentPlatform().spooler->OpenPrinterW(
                                             entry->printerName, &entry->printerHandle, nullptr)) {
        entry->jobId = jobId;
        bool testPage = false;
        if (!ReadJobIsTestPage(entry->printerHandle, entry->jobId, &testPage)) {
            AbandonDocument(state, *handle, *session);
            ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        session->testPage = testPage;
    } else {
        entry->printerHandle = nullptr;
    }
    session->status.Begin(entry->printerHandle, entry->jobId);

    // The port's kind holds for the whole document.
    const std::wstring devicePath = ReadDevicePath(state, entry->name);
    session->serialDocument = !devicePath.empty();
    if (session->serialDocument && !session->testPage) {
        DWORD result = 0;
        {
            CriticalSectionLock serialGuard(session->serialLock);
            result = BeginSerialDocument(state, entry, *session, devicePath);
        }
        if (result != 0) {
            AbandonDocument(state, *handle, *session);
            ::SetLastError(result);
            return FALSE;
        }
        session->serialStarted = true;
    }
    return TRUE;
}

} // namespace vela
