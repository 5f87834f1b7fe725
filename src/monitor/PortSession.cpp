#include "monitor/PortSession.h"

#include "core/Memory.h"
#include "platform/Handles.h"
#include "platform/SeamResources.h"

#include <new>
#include <utility>

namespace vela {

PortSession::~PortSession() {
    // The handler stops (bounded) before the lock it is started under goes.
    serial.reset();
    ::DeleteCriticalSection(&serialLock);
}

PortHandle* HandleOf(HANDLE port) {
    auto* handle = static_cast<PortHandle*>(port);
    if (handle == nullptr || handle->signature != kPortHandleSignature) {
        return nullptr;
    }
    return handle;
}

PortEntry* EntryOf(HANDLE port) {
    PortHandle* handle = HandleOf(port);
    return handle != nullptr ? handle->entry : nullptr;
}

void ReleaseDocumentPrinter(PortEntry* entry) {
    if (entry->session != nullptr) {
        static_cast<PortSession*>(entry->session)->status.End();
    }
    // Taken off the entry, then closed as the call returns.
    const UniqueSpoolerPrinter printer(std::exchange(entry->printerHandle, nullptr));
    FreeString(entry->printerName);
    entry->printerName = nullptr;
    // The next document's prompt can only name its own job.
    entry->jobId = 0;
}

PortSession* SessionOf(MonitorState& state, PortEntry* entry) {
    if (entry == nullptr) {
        return nullptr;
    }
    // OpenPort makes it; the spooler's later calls for the port find it.
    if (entry->session != nullptr) {
        return static_cast<PortSession*>(entry->session);
    }
    CriticalSectionLock guard(state.lock);
    if (entry->session == nullptr) {
        entry->session = new (std::nothrow) PortSession(entry->name);
    }
    return static_cast<PortSession*>(entry->session);
}

bool OwnsDocument(MonitorState& state, const PortHandle& handle) {
    CriticalSectionLock guard(state.lock);
    const auto* session = static_cast<const PortSession*>(handle.entry->session);
    return session != nullptr && (handle.entry->flags & kPortDocumentInProgress) != 0 &&
           session->documentOwner == &handle;
}

PortCall::PortCall(MonitorState& state, PortSession& session) : state_(state), session_(session) {
    CriticalSectionLock guard(state_.lock);
    ++session_.callsInFlight;
}

PortCall::~PortCall() {
    CriticalSectionLock guard(state_.lock);
    --session_.callsInFlight;
}

} // namespace vela
