// The one way a port's document ends, whatever ends it; the caller holds the
// document's turn. EndDocPort's end finishes the document: a serial printer gets
// the last line and "M400", a USB print is supervised to its end (aborted when
// the job is deleted). Every other end (ClosePort, a second StartDocPort, Shutdown)
// cuts it short: a serial printer's queue and partial line are dropped and the
// cancel lines sent; a started USB print is aborted, once, and a prepared printer
// that did not start is reset with its heaters off. Only a document that printed
// is reported so; any other is kept in the queue, failed, with its reason.
#pragma once

#include "monitor/PortDocument.h"
#include "monitor/PortSession.h"

namespace vela {

// Ends the document for the reason: the printer is left safe and the spooler is
// told what happened. TRUE when the document printed (or its job was deleted by
// the user); FALSE with ERROR_NOT_READY when it did not print.
BOOL EndPortDocument(MonitorState& state, PortEntry* entry, PortSession& session,
                     DocumentEnd reason);

// Closes the printer the document opened through the spooler and forgets the job.
void ReleaseDocumentPrinter(PortDocument& document);

} // namespace vela
