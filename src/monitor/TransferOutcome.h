// How a document's transfer ends, from its counters and flags: no I/O.
#pragma once

#include "usb/JobFlags.h"
#include "monitor/WritePort.h"
#include "serial/DocumentControl.h"

namespace vela {

enum class TransferOutcome {
    // Every announced record went out and the printer started: the user is asked
    // to remove the model after the print.
    Complete,
    // Nothing was announced, or the printer refused the records: it is left as it
    // chose to be.
    LeftAsIs,
    // Records are missing or the printer would not start them: it is reset.
    Reset,
};

TransferOutcome SettleTransfer(const JobTransferState& transfer, const JobFlags& flags);

// Whether a serial document ends with the remove-model prompt: only when its
// handler reports that the firmware acknowledged the document's last line and
// the final "M400". The spooler's test page never goes to the printer.
bool SerialDocumentReachedPrinter(const DocumentProgress& progress, bool testPage);

} // namespace vela
