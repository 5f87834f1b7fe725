// Start of a document on an open port.
#pragma once

#include "core/MonitorState.h"

namespace vela {

// Records the port, printer and job of the document, resets the job's transfer
// state, opens the printer through the spooler for the job calls and recognises the
// spooler's test page.
BOOL StartDocPort(MonitorState& state, HANDLE port, LPWSTR printerName, DWORD jobId, DWORD level,
                  LPBYTE docInfo);

} // namespace vela
