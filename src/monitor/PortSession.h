// What an open port keeps for its documents: the state of the document in
// progress, the USB connection to the printer that carries the port's name, and,
// for a printer on a serial device, the protocol handler that keeps the device
// across documents. The spooler may open one port several times (two queues on
// one port): each OpenPort gets a PortHandle of its own, and a document belongs
// to the handle whose StartDocPort began it.
#pragma once

#include "monitor/PortDocument.h"
#include "usb/UsbTransport.h"
#include "ports/PortList.h"
#include "serial/ProtocolHandler.h"

#include <memory>

namespace vela {

constexpr DWORD kPortHandleSignature = 0x4850; // "PH" low byte first

// The spooler's port handle: one per OpenPort, released by its ClosePort.
struct PortHandle {
    // Cleared as the handle is freed, so that a second ClosePort finds no handle.
    DWORD signature = kPortHandleSignature;
    PortEntry* entry = nullptr;
    // Its last StartDocPort failed: its WritePort calls fail until the next one.
    bool startFailed = false;
};

struct PortSession final : PortOwned {
    explicit PortSession(const wchar_t* portName) : usb(portName) {
        ::InitializeCriticalSection(&serialLock);
    }
    ~PortSession() override;
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    // The port's one document at a time, and every fact about it.
    PortDocument document;
    std::unique_ptr<ProtocolHandler> serial;
    // The port's own connection: its documents reach only its printer.
    UsbTransport usb;
    // Held while the serial handler is made, started or stopped, so that a
    // ClosePort stopping it and a StartDocPort starting it take turns.
    CRITICAL_SECTION serialLock;
};

// The handle OpenPort gave the spooler; none for anything else.
PortHandle* HandleOf(HANDLE port);
// The port of a handle OpenPort gave; none for anything else.
PortEntry* EntryOf(HANDLE port);

// The port's session, made on first use; none only when memory is short.
PortSession* SessionOf(MonitorState& state, PortEntry* entry);

// The handle of a document call and its port's session; none, with the last error
// set, for a handle OpenPort did not give or when memory is short.
PortSession* SessionForCall(MonitorState& state, HANDLE port, PortHandle** handle);

} // namespace vela
