// A port's open period: the spooler opens it when a queue connects to it and
// closes it when no queue uses it any more; documents come in between.
#include "monitor/PortOpenClose.h"

#include "platform/DiagnosticLog.h"
#include "monitor/PortSession.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "ports/PortList.h"

namespace vela {

BOOL OpenPort(MonitorState& state, HANDLE monitor, LPWSTR name, PHANDLE port) {
    if (name == nullptr || port == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *port = nullptr;
    // Held from here to ClosePort, so that "DeletePort" cannot free it meanwhile.
    PortEntry* entry = HoldPortEntry(state, static_cast<MonitorContext*>(monitor), name);
    if (entry == nullptr) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    // The device of a serial printer is opened by its first document: a queue
    // connects to its port whether the printer is on or not.
    if (SessionOf(state, entry) == nullptr) {
        ReleasePortEntryHold(state, entry);
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    *port = entry;
    return TRUE;
}

BOOL ClosePort(MonitorState& state, HANDLE port) {
    auto* entry = static_cast<PortEntry*>(port);
    if (entry == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    PortSession* session = SessionOf(state, entry);
    bool stopped = true;
    if (session != nullptr && session->serial != nullptr) {
        // Lines a document left behind are cleared, a line being written is
        // finished, and the device is closed.
        stopped = session->serial->Stop();
        if (stopped) {
            session->serial.reset();
            session->serialStarted = false;
        }
    }
    // A document the spooler never ended goes with the port: the next StartDocPort
    // starts a new one instead of joining it.
    bool abandoned = false;
    {
        CriticalSectionLock guard(state.lock);
        abandoned = (entry->flags & kPortDocumentInProgress) != 0;
        entry->flags &= ~kPortDocumentInProgress;
    }
    if (abandoned) {
        LogFormatted(LogTo::DebugLog,
                     "ClosePort on %ls: the document in progress was never ended\r\n", entry->name);
        ReleaseDocumentPrinter(entry);
    }
    // The spooler lets go of the port whatever became of the handler.
    ReleasePortEntryHold(state, entry);
    if (!stopped) {
        ::SetLastError(ERROR_TIMEOUT);
        return FALSE;
    }
    return TRUE;
}

} // namespace vela
