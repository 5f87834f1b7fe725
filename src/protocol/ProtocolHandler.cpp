#include "protocol/ProtocolHandler.h"

#include "monitor/Memory.h"
#include "ports/PortList.h"
#include "protocol/ProtocolThread.h"

#include <mutex>

namespace vela {
namespace {

ProtocolHandlerParams protocolHandlerParams;
// OpenPort and ClosePort of different ports run on different spooler threads: a
// start that ran into a stop closed the new events and the stop failed.
std::mutex handlerStartStop;

// Manual-reset, non-signalled. A leftover object of the same name is reset.
UniqueHandle CreateShutdownEvent(LPCWSTR name) {
    UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, name));
    if (event.Valid()) {
        ::ResetEvent(event.Get());
    }
    return event;
}

// The data of the port's value, or none when it cannot be read.
LPWSTR ReadDevicePath(MonitorState& state, LPCWSTR portName) {
    DWORD size = 0;
    if (QueryPortValue(state, portName, nullptr, &size) != ERROR_SUCCESS || size == 0) {
        return nullptr;
    }
    auto* path = static_cast<LPWSTR>(AllocMem(size));
    if (path == nullptr) {
        return nullptr;
    }
    if (QueryPortValue(state, portName, reinterpret_cast<LPBYTE>(path), &size) != ERROR_SUCCESS) {
        FreeMem(path);
        return nullptr;
    }
    return path;
}

} // namespace

ProtocolHandlerParams& TheProtocolHandlerParams() {
    return protocolHandlerParams;
}

DWORD StartProtocolHandler(MonitorState& state, LPCWSTR portName) {
    std::lock_guard<std::mutex> guard(handlerStartStop);
    ProtocolHandlerParams& params = protocolHandlerParams;
    if (params.endShutdown.Valid()) {
        return kHandlerAlreadyExists;
    }
    UniqueHandle startShutdown = CreateShutdownEvent(kStartShutdownEventName);
    UniqueHandle endShutdown = CreateShutdownEvent(kEndShutdownEventName);
    if (!startShutdown.Valid() || !endShutdown.Valid()) {
        return ::GetLastError();
    }
    params.startShutdown = std::move(startShutdown);
    params.endShutdown = std::move(endShutdown);
    params.outgoing = &state.m_LineQueue;
    params.devicePath = ReadDevicePath(state, portName);
    params.hasDevicePath = params.devicePath != nullptr && params.devicePath[0] != L'\0';

    DWORD threadId = 0;
    HANDLE thread = ::CreateThread(nullptr, 0, ProtocolHandlerThread, &params, 0, &threadId);
    if (thread == nullptr) {
        // The events stay: a later start is refused until a stop clears them.
        FreeMem(params.devicePath);
        params.devicePath = nullptr;
        params.hasDevicePath = false;
        return ERROR_INVALID_HANDLE;
    }
    state.m_hThread = thread;
    state.m_ThreadId = threadId;
    return 0;
}

bool StopProtocolHandler(MonitorState& state) {
    std::lock_guard<std::mutex> guard(handlerStartStop);
    ProtocolHandlerParams& params = protocolHandlerParams;
    if (!params.startShutdown.Valid() || !params.endShutdown.Valid()) {
        return false;
    }
    ::SetEvent(params.startShutdown.Get());
    // The thread signals when it ends on the request; one that ended during its
    // set-up never does, but its exit tells the same.
    HANDLE ended[2] = {params.endShutdown.Get(), state.m_hThread};
    const DWORD count = state.m_hThread != nullptr ? 2 : 1;
    const DWORD result = ::WaitForMultipleObjects(count, ended, FALSE, params.timings.stopWaitMs);
    if (result >= WAIT_OBJECT_0 + count) {
        return false;
    }
    UniqueHandle thread(state.m_hThread);
    state.m_hThread = nullptr;
    state.m_ThreadId = 0;
    params.endShutdown.Reset();
    params.startShutdown.Reset();
    params.hasDevicePath = false;
    return true;
}

bool ProtocolHandlerHasSerialDevice() {
    return protocolHandlerParams.hasDevicePath;
}

} // namespace vela
