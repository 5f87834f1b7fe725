#include "monitor/StartDoc.h"

#include "core/Memory.h"
#include "monitor/DocumentEnding.h"
#include "monitor/PortSession.h"
#include "monitor/SerialDocumentLog.h"
#include "monitor/SpoolerJob.h"
#include "platform/DiagnosticLog.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "ports/PortList.h"
#include "ports/PortSettingsStore.h"
#include "serial/SerialSettings.h"
#include "serial/StreamWindow.h"

#include <memory>
#include <string>

namespace vela {
namespace {

// The data of the port's "Ports" value: a serial device path, or empty for a USB
// printer (so is a port with no value, one of an attached printer). Any other
// failure to read it fails the document: taken for USB, a serial port's G-code
// would be framed as records for whatever USB printer is attached. Read under the
// monitor lock, which Shutdown takes to let go of the registry.
DWORD ReadDevicePath(MonitorState& state, LPCWSTR portName, std::wstring* path) {
    path->clear();
    CriticalSectionLock guard(state.lock);
    DWORD size = 0;
    DWORD result = QueryPortValue(state, portName, nullptr, &size);
    if (result == ERROR_FILE_NOT_FOUND) {
        return 0;
    }
    if (result != ERROR_SUCCESS) {
        return result;
    }
    std::unique_ptr<WCHAR[]> data(new (std::nothrow) WCHAR[size / sizeof(WCHAR) + 1]());
    if (data == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    result = QueryPortValue(state, portName, reinterpret_cast<LPBYTE>(data.get()), &size);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    *path = data.get();
    return 0;
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

// On automatic, the speed the printer answered at is kept for the next document
// when it is new.
void NoteSpeedFound(MonitorState& state, const PortEntry* entry, const PortSettings& settings,
                    uint32_t rate) {
    if (rate == 0) {
        return;
    }
    LogFormatted(LogTo::DebugLog, "Serial printer on %ls answers at %lu baud%s\r\n", entry->name,
                 static_cast<unsigned long>(rate),
                 settings.baudRate == kAutomaticBaudRate ? " (found automatically)" : "");
    if (settings.baudRate != kAutomaticBaudRate || rate == settings.detectedBaudRate) {
        return;
    }
    DWORD written = 0;
    {
        CriticalSectionLock guard(state.lock);
        written = RememberDetectedBaudRate(state, entry->name, rate);
    }
    if (written != 0) {
        LogFormatted(LogTo::DebugLog, "The speed found for %ls cannot be kept (error %lu)\r\n",
                     entry->name, static_cast<unsigned long>(written));
    }
}

// Hands the document to the serial handler: the device is opened (once; it stays
// open across documents) and the firmware's line counter made to agree.
DWORD BeginSerialDocument(MonitorState& state, PortEntry* entry, PortSession& session,
                          const std::wstring& devicePath) {
    PortDocument& document = session.document;
    if (session.serial != nullptr && session.serial->DevicePath() != devicePath) {
        document.SetHandler(nullptr);
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
    document.status.Show(JobPhase::WaitingForPrinter);
    // The handler takes the speed, the cancel lines and the window; pause and
    // resume lines are not its to use yet.
    PortSettings settings;
    {
        CriticalSectionLock guard(state.lock);
        settings = ReadPortSettings(state, entry->name);
    }
    // From here an end asked for by ClosePort or Shutdown interrupts the document
    // at once; the greeting hears of it (or of the job's deletion) through the watch.
    document.SetHandler(session.serial.get());
    SpoolerJobWatch watch(entry, document);
    DocumentPauses pauses;
    pauses.pauseLines = settings.pauseLines;
    pauses.resumeLines = settings.resumeLines;
    if (document.printer.Valid()) {
        document.probe.reset(new (std::nothrow) SpoolerJobProbe(document));
        pauses.probe = document.probe;
    }
    const DWORD result = session.serial->BeginDocument(
        settings.cancelLines, StreamWindowOf(settings),
        LineSpeed{settings.baudRate, settings.detectedBaudRate}, std::move(pauses), watch);
    const DocumentProgress progress = session.serial->Progress();
    if (result == 0) {
        NoteSpeedFound(state, entry, settings, progress.baudRate);
        if (progress.firmwareNamed) {
            LogFormatted(
                LogTo::DebugLog, "Firmware %s on %ls%s\r\n", progress.firmware.name, entry->name,
                progress.firmware.autoReportsTemperatures ? " (reports temperatures on its own)"
                                                          : "");
        }
    } else if (result == ERROR_NOT_READY && progress.failure == SendFailure::NotReady) {
        JobStatusFacts facts;
        facts.phase = JobPhase::NoAnswer;
        facts.rates = progress.ratesTried;
        wchar_t text[kJobStatusChars];
        FormatJobStatus(facts, text);
        LogFormatted(LogTo::DebugLog, "Serial printer on %ls not ready: %ls\r\n", entry->name,
                     text);
        document.status.Fail(text);
    } else {
        LogFormatted(LogTo::DebugLog, "Serial printer on %ls not ready (error %lu): %s\r\n",
                     entry->name, static_cast<unsigned long>(result),
                     result == ERROR_NOT_READY ? "the greeting was given up"
                                               : "the device cannot be opened");
    }
    return result;
}

// Undoes what StartDocPort did for a document that cannot start: the handle's
// WritePort calls fail until its next StartDocPort.
BOOL RefuseDocument(PortHandle& handle, PortDocument& document, DWORD error) {
    document.status.End();
    ReleaseDocumentPrinter(document);
    handle.startFailed = true;
    ::SetLastError(error);
    return FALSE;
}

} // namespace

BOOL StartDocPort(MonitorState& state, HANDLE port, LPWSTR printerName, DWORD jobId,
                  DWORD /*level*/, LPBYTE /*docInfo*/) {
    Log(LogTo::DebugLog, "\n\r3D Printer V26.1: StartDocPort\r\n");
    PortHandle* handle = nullptr;
    PortSession* session = SessionForCall(state, port, &handle);
    if (session == nullptr) {
        return FALSE;
    }
    PortEntry* entry = handle->entry;
    PortDocument& document = session->document;
    handle->startFailed = false;
    switch (document.ClaimFor(handle)) {
    case PortDocument::Claim::Busy:
        // The spooler tries the job again later; the other document goes on.
        LogFormatted(LogTo::DebugLog,
                     "StartDocPort on %ls: the printer is busy with another queue's document\r\n",
                     entry->name);
        handle->startFailed = true;
        ::SetLastError(ERROR_BUSY);
        return FALSE;
    case PortDocument::Claim::Closing:
        handle->startFailed = true;
        ::SetLastError(ERROR_NOT_READY);
        return FALSE;
    case PortDocument::Claim::Restarted:
        // The handle's earlier document was never ended: it ends here, as any
        // document ends, and this one starts afresh with its own printer and job.
        LogFormatted(LogTo::DebugLog,
                     "StartDocPort on %ls: the document in progress was never ended\r\n",
                     entry->name);
        EndPortDocument(state, entry, *session, DocumentEnd::Restarted);
        break;
    case PortDocument::Claim::Started:
        break;
    }
    // The claim gave this call the document's turn.
    DocumentTurn turn(document);
    turn.LeaveIn(DocumentState::Idle);
    document.transfer = JobTransferState{};
    document.jobFlags = JobFlags{};
    document.serialStarted = false;
    document.usbCancelled = false;
    document.usbAborted = false;
    ReleaseDocumentPrinter(document);
    // Some spoolers pass no printer name: the document then proceeds without
    // spooler job control, as with a printer that cannot be opened.
    document.printerName.Reset(AllocString(printerName));
    HANDLE printer = nullptr;
    if (document.printerName.Valid() &&
        CurrentPlatform().spooler->OpenPrinterW(document.printerName.Get(), &printer, nullptr)) {
        document.printer.Reset(printer);
        document.jobId = jobId;
        bool testPage = false;
        if (!ReadJobIsTestPage(document.printer.Get(), document.jobId, &testPage)) {
            return RefuseDocument(*handle, document, ERROR_NOT_ENOUGH_MEMORY);
        }
        document.testPage = testPage;
    }
    document.status.Begin(document.printer.Get(), document.jobId);

    // The port's kind holds for the whole document.
    std::wstring devicePath;
    const DWORD read = ReadDevicePath(state, entry->name, &devicePath);
    if (read != 0) {
        LogFormatted(LogTo::DebugLog,
                     "StartDocPort on %ls: the port's device cannot be read (error %lu)\r\n",
                     entry->name, static_cast<unsigned long>(read));
        return RefuseDocument(*handle, document, read);
    }
    document.serial = !devicePath.empty();
    if (document.serial && !document.testPage) {
        DWORD result = 0;
        {
            CriticalSectionLock serialGuard(session->serialLock);
            result = BeginSerialDocument(state, entry, *session, devicePath);
        }
        if (result != 0) {
            return RefuseDocument(*handle, document,
                                  document.EndRequested() != DocumentEnd::None
                                      ? static_cast<DWORD>(ERROR_NOT_READY)
                                      : result);
        }
        document.serialStarted = true;
    }
    const DocumentEnd requested = document.EndRequested();
    if (requested != DocumentEnd::None) {
        // ClosePort or Shutdown came while the printer was greeted.
        EndPortDocument(state, entry, *session, requested);
        handle->startFailed = true;
        ::SetLastError(ERROR_NOT_READY);
        return FALSE;
    }
    turn.LeaveIn(DocumentState::Streaming);
    return TRUE;
}

} // namespace vela
