// End of document: supervises the physical print until the printer is done.
#pragma once

#include "core/MonitorState.h"
#include "monitor/PrintSupervision.h"

namespace vela {

// Ends the handle's document as the spooler asks: a USB print is supervised until
// the printer is done (aborted when the job is deleted), a serial document until
// its last line and "M400" are acknowledged; then the job is reported as sent and,
// after a complete print, the user asked to remove the model. FALSE with
// ERROR_NOT_READY for a document that did not print (kept in the queue in error),
// ERROR_INVALID_PARAMETER when the handle has no document.
BOOL EndDocPort(MonitorState& state, HANDLE port);

} // namespace vela
