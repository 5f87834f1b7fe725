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

// Undoes what StartDocPort did for a document that cannot start.
void AbandonDocument(MonitorState& state, PortEntry* entry) {
    ReleaseDocumentPrinter(entry);
    CriticalSectionLock guard(state.lock);
    entry->flags &= ~kPortDocumentInProgress;
}

} // namespace

BOOL StartDocPort(MonitorState& state, HANDLE port, LPWSTR printerName, DWORD jobId,
                  DWORD /*level*/, LPBYTE /*docInfo*/) {
    auto* entry = static_cast<PortEntry*>(port);
    Log(LogTo::DebugLog, "\n\r3D Printer V26.1: StartDocPort\r\n");
    PortSession* session = SessionOf(state, entry);
    if (entry == nullptr || session == nullptr) {
        ::SetLastError(entry == nullptr ? ERROR_INVALID_HANDLE : ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    session->transfer = JobTransferState{};
    session->jobFlags = JobFlags{};

    {
        CriticalSectionLock guard(state.lock);
        if ((entry->flags & kPortDocumentInProgress) != 0) {
            return TRUE;
        }
        entry->flags |= kPortDocumentInProgress;
    }
    session->testPage = false;
    session->serialStarted = false;
    entry->printerHandle = nullptr;
    // Some spoolers pass no printer name: the document then proceeds without
    // spooler job control, as with a printer that cannot be opened.
    FreeString(entry->printerName);
    entry->printerName = AllocString(printerName);
    if (entry->printerName != nullptr && CurrentPlatform().spooler->OpenPrinterW(
                                             entry->printerName, &entry->printerHandle, nullptr)) {
        entry->jobId = jobId;
        bool testPage = false;
        if (!ReadJobIsTestPage(entry->printerHandle, entry->jobId, &testPage)) {
            AbandonDocument(state, entry);
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
        const DWORD result = BeginSerialDocument(state, entry, *session, devicePath);
        if (result != 0) {
            AbandonDocument(state, entry);
            ::SetLastError(result);
            return FALSE;
        }
        session->serialStarted = true;
    }
    return TRUE;
}

} // namespace vela
