// A started USB print, watched until the printer is done with it.
#pragma once

#include "monitor/PortDocument.h"
#include "usb/PrinterDevice.h"

namespace vela {

// The poll period of the print supervision.
constexpr DWORD kSupervisionPollMs = 5000;

// Polls the printer until it leaves its running state, logging its status and,
// while idle, the head position; true when the job was deleted or the document
// asked to end meanwhile (the caller aborts the print).
bool SupervisePrint(PrinterDevice& device, PortDocument& document);

} // namespace vela
