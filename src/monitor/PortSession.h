// What an open port keeps for its documents: the state of the document in
// progress, the USB connection to the printer that carries the port's name, and,
// for a printer on a serial device, the protocol handler that keeps the device
// across documents. The spooler may open one port several times (two queues on
// one port): each OpenPort gets a PortHandle of its own, and a document belongs
// to the handle whose StartDocPort began it.
#pragma once

#include "usb/UsbTransport.h"
#include "usb/JobFlags.h"
#include "monitor/JobStatus.h"
#include "monitor/WritePort.h"
#include "ports/PortList.h"
#include "serial/ProtocolHandler.h"

#include <memory>

namespace vela {

constexpr DWORD kPortHandleSignature = 0x4850; // "PH" low byte first

// The spooler's port handle: one per OpenPort, released by its ClosePort.
struct PortHandle {
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

    // The document in progress; StartDocPort starts them afresh.
    JobTransferState transfer;
    JobFlags jobFlags;
    // The job's status text in the print queue.
    JobStatus status;
    // The spooler's test page: not streamed to a serial printer.
    bool testPage = false;
    // The document goes to the serial handler (the port's value names a device).
    bool serialDocument = false;
    // The serial handler accepted the document (handshake answered).
    bool serialStarted = false;
    // The USB document's transfer ended because its job was cancelled.
    bool usbCancelled = false;
    std::unique_ptr<ProtocolHandler> serial;
    // The port's own connection: its documents reach only its printer.
    UsbTransport usb;

    // The handle whose StartDocPort began the document in progress. Changed with
    // the entry's document flag, under the monitor lock.
    const PortHandle* documentOwner = nullptr;
    // Document calls under way (StartDocPort, WritePort, EndDocPort), under the
    // monitor lock: Shutdown leaves their printer and serial handler to them.
    LONG callsInFlight = 0;
    // Shutdown asked the document in progress to end (Interlocked).
    LONG shutdownRequested = 0;
    // Held while the serial handler is made, started or stopped, so that a
    // ClosePort stopping it and a StartDocPort starting it take turns.
    CRITICAL_SECTION serialLock;
};

// The handle OpenPort gave the spooler; none for anything else.
PortHandle* HandleOf(HANDLE port);
// The port of a handle OpenPort gave; none for anything else.
PortEntry* EntryOf(HANDLE port);

// Clears the job's status text, closes the printer the document opened through
// the spooler and frees the copy of its name: the end of every document, however
// it ends.
void ReleaseDocumentPrinter(PortEntry* entry);

// The port's session, made on first use; none only when memory is short.
PortSession* SessionOf(MonitorState& state, PortEntry* entry);

// Whether the handle began the port's document in progress.
bool OwnsDocument(MonitorState& state, const PortHandle& handle);

// One document call of a handle: counted while it runs, so that Shutdown does not
// use the printer or the serial handler beside it.
class PortCall {
  public:
    PortCall(MonitorState& state, PortSession& session);
    ~PortCall();
    PortCall(const PortCall&) = delete;
    PortCall& operator=(const PortCall&) = delete;

  private:
    MonitorState& state_;
    PortSession& session_;
};

} // namespace vela
