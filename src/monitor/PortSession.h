// What an open port keeps for its documents: the state of the document in
// progress, the USB connection to the printer that carries the port's name, and,
// for a printer on a serial device, the protocol handler that keeps the device
// across documents.
#pragma once

#include "usb/UsbTransport.h"
#include "usb/JobFlags.h"
#include "monitor/JobStatus.h"
#include "monitor/WritePort.h"
#include "ports/PortList.h"
#include "serial/ProtocolHandler.h"

#include <memory>

namespace vela {

struct PortSession final : PortOwned {
    explicit PortSession(const wchar_t* portName) : usb(portName) {}

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
    std::unique_ptr<ProtocolHandler> serial;
    // The port's own connection: its documents reach only its printer.
    UsbTransport usb;
};

// Clears the job's status text, closes the printer the document opened through
// the spooler and frees the copy of its name: the end of every document, however
// it ends.
void ReleaseDocumentPrinter(PortEntry* entry);

// The port's session, made on first use; none only when memory is short.
PortSession* SessionOf(MonitorState& state, PortEntry* entry);

} // namespace vela
