// The protocol handler: one background thread per monitor that streams the
// outgoing G-code lines to a printer on a serial device. OpenPort starts it and
// ClosePort stops it; two named events coordinate the two.
#pragma once

#include "monitor/MonitorState.h"
#include "platform/Handles.h"
#include "protocol/SendState.h"

#include <atomic>

namespace vela {

constexpr wchar_t kStartShutdownEventName[] = L"ProtocolHandlerThreadStartShutdown";
constexpr wchar_t kEndShutdownEventName[] = L"ProtocolHandlerThreadEndShutdown";

// HRESULT_FROM_WIN32(ERROR_INVALID_STATE): a handler already exists.
constexpr DWORD kHandlerAlreadyExists = 0x8007139F;
constexpr DWORD kStopWaitMs = 60000;

struct ProtocolTimings {
    DWORD stopWaitMs = kStopWaitMs;
    SendTimings send;
};

// The block given to the thread: filled by the start, read by the thread.
struct ProtocolHandlerParams {
    // Set by the stop to ask the thread to end.
    UniqueHandle startShutdown;
    // Set by the thread when it has ended on a stop request; while it exists no
    // second handler may start.
    UniqueHandle endShutdown;
    // Allocated by the start with AllocMem; the thread takes it and releases it.
    LPWSTR devicePath = nullptr;
    // The monitor's outgoing queue, borrowed.
    LineQueue* outgoing = nullptr;
    // The running handler has a serial device to stream to.
    std::atomic<bool> hasDevicePath{false};
    // Not changed by the start or stop; tests shorten them.
    ProtocolTimings timings;
};

ProtocolHandlerParams& TheProtocolHandlerParams();

// Starts the thread for the port, whose device path is the data of its "Ports"
// value. 0 on success; kHandlerAlreadyExists while a handler exists;
// ERROR_INVALID_HANDLE when the thread cannot be created.
DWORD StartProtocolHandler(MonitorState& state, LPCWSTR portName);

// Asks the thread to end and waits for it to signal or exit, up to the stop wait.
// True when it has ended: the events and the thread handle are then closed and
// forgotten. False, changing nothing, when no handler was started or it does not
// end in time.
bool StopProtocolHandler(MonitorState& state);

// True while a started handler has a serial device path: only then is there
// anyone to take lines from the outgoing queue.
bool ProtocolHandlerHasSerialDevice();

} // namespace vela
