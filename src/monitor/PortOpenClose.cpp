// A port's open period: the spooler opens it when a queue connects to it and
// closes it when no queue uses it any more; documents come in between. Two queues
// on one port open it twice, and each handle ends only what it started.
#include "monitor/PortOpenClose.h"

#include "platform/DiagnosticLog.h"
#include "monitor/DocumentEnding.h"
#include "monitor/PortSession.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "ports/PortList.h"

#include <new>

namespace vela {
namespace {

// The line is closed with the port's last handle. Under the session's serial lock.
bool StopSerialHandler(PortSession& session) {
    if (session.serial == nullptr) {
        return true;
    }
    if (!session.serial->Stop()) {
        return false;
    }
    session.serial.reset();
    return true;
}

// Ends the handle's own document, as any document ends: a call of it still under
// way is asked to finish first. False when that call did not finish in time.
bool EndHandlesDocument(MonitorState& state, PortHandle& handle, PortSession& session) {
    PortDocument& document = session.document;
    switch (document.TakeOver(&handle, DocumentEnd::PortClosed, TheProtocolTimings().stopWaitMs)) {
    case PortDocument::Takeover::Nothing:
        return true;
    case PortDocument::Takeover::StillRunning:
        return false;
    case PortDocument::Takeover::Taken:
        break;
    }
    LogFormatted(LogTo::DebugLog, "ClosePort on %ls: the document in progress was never ended\r\n",
                 handle.entry->name);
    DocumentTurn turn(document);
    turn.LeaveIn(DocumentState::Idle);
    EndPortDocument(state, handle.entry, session, DocumentEnd::PortClosed);
    return true;
}

} // namespace

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
    auto* handle = new (std::nothrow) PortHandle;
    if (handle == nullptr || SessionOf(state, entry) == nullptr) {
        delete handle;
        ReleasePortEntryHold(state, entry);
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    handle->entry = entry;
    *port = handle;
    return TRUE;
}

BOOL ClosePort(MonitorState& state, HANDLE port) {
    PortHandle* handle = HandleOf(port);
    if (handle == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // A second ClosePort of the same handle finds no handle from here on.
    handle->signature = 0;
    PortEntry* entry = handle->entry;
    PortSession* session = SessionOf(state, entry);
    bool stopped = true;
    if (session != nullptr) {
        if (!EndHandlesDocument(state, *handle, *session)) {
            // A call of the document never returned: the handle stays with it
            // (not freed under it), and so do the port and its line.
            LogFormatted(LogTo::DebugLog,
                         "ClosePort on %ls: a call of the document did not return in time\r\n",
                         entry->name);
            ::SetLastError(ERROR_TIMEOUT);
            return FALSE;
        }
        // The handler keeps the device across documents while any queue has the
        // port open, and stops with the last one. Held throughout, so that a
        // StartDocPort of another handle starts the handler only after this one
        // has stopped it.
        CriticalSectionLock serialGuard(session->serialLock);
        bool lastHandle = false;
        {
            CriticalSectionLock guard(state.lock);
            lastHandle = entry->spoolerOpens <= 1 && !session->document.InProgress();
        }
        if (lastHandle) {
            stopped = StopSerialHandler(*session);
        }
    }
    delete handle;
    // The spooler lets go of the port whatever became of the handler.
    ReleasePortEntryHold(state, entry);
    if (!stopped) {
        ::SetLastError(ERROR_TIMEOUT);
        return FALSE;
    }
    return TRUE;
}

} // namespace vela
