#include "monitor/PortSession.h"

#include "platform/Handles.h"

#include <new>

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

PortSession* SessionForCall(MonitorState& state, HANDLE port, PortHandle** handle) {
    *handle = HandleOf(port);
    if (*handle == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    PortSession* session = SessionOf(state, (*handle)->entry);
    if (session == nullptr) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return session;
}

} // namespace vela
