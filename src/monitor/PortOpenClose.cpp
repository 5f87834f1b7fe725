// A port's open period: the spooler opens it when a queue connects to it and
// closes it when no queue uses it any more; documents come in between. Two queues
// on one port open it twice, and each handle ends only what it started.
#include "monitor/PortOpenClose.h"

#include "platform/DiagnosticLog.h"
#include "monitor/PortSession.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "ports/PortList.h"

#include <memory>
#include <new>

namespace vela {
namespace {

// Lines a document left behind are cleared, a line being written is finished, and
// the device is closed. Under the session's serial lock.
bool StopSerialHandler(PortSession& session) {
    if (session.serial == nullptr) {
        return true;
    }
    if (!session.serial->Stop()) {
        return false;
    }
    session.serial.reset();
    session.serialStarted = false;
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
    std::unique_ptr<PortHandle> handle(HandleOf(port));
    if (handle == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    PortEntry* entry = handle->entry;
    PortSession* session = SessionOf(state, entry);
    bool stopped = true;
    if (session != nullptr) {
        // Held throughout, so that a StartDocPort of another handle starts the
        // handler only after this one has stopped it.
        CriticalSectionLock serialGuard(session->serialLock);
        // A document the spooler never ended goes with the handle that began it:
        // the next StartDocPort starts a new one instead of joining it. Another
        // handle's document is left alone.
        if (OwnsDocument(state, *handle)) {
            LogFormatted(LogTo::DebugLog,
                         "ClosePort on %ls: the document in progress was never ended\r\n",
                         entry->name);
            stopped = StopSerialHandler(*session);
            ReleaseDocumentPrinter(entry);
            CriticalSectionLock guard(state.lock);
            entry->flags &= ~kPortDocumentInProgress;
            session->documentOwner = nullptr;
        }
        // The handler keeps the device across documents while any queue has the
        // port open, and stops with the last one.
        bool lastHandle = false;
        {
            CriticalSectionLock guard(state.lock);
            lastHandle = entry->spoolerOpens <= 1 && (entry->flags & kPortDocumentInProgress) == 0;
        }
        if (lastHandle) {
            stopped = StopSerialHandler(*session) && stopped;
        }
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
