// The one way a port's document ends, whatever ends it. The caller holds the
// document's turn.
//
// | ended by                      | serial printer                          | USB printer                                   | spooler told                  |
// |-------------------------------|-----------------------------------------|-----------------------------------------------|-------------------------------|
// | EndDocPort                    | last line, "M400", supervised to the end | supervised; aborted if the job goes           | printed, or failed with why   |
// | ClosePort, restart, Shutdown  | queue and partial line dropped, cancel lines | a started print aborted (once), a prepared printer reset with heaters off | failed with why (retained) |
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
