// The job-wide flags of the printer path. They outlive the short-lived
// PrinterDevice objects with the port's document; StartDocPort clears them.
#pragma once

#include <cstdint>

namespace vela {

struct JobFlags {
    // Set by the document's first SendCommands that is not refused at once:
    // the printer has been prepared (or the attempt made) for this document,
    // and the stream's 4-byte command count has been taken.
    int32_t printerPrepared = 0;
    // Once set, SendCommands refuses everything until the next document.
    int32_t sendingDisabled = 0;
    // Set with sendingDisabled when the link to the printer failed rather than the
    // printer refusing: records may be missing from a printer that was prepared.
    int32_t transferFailed = 0;
    // StartPrint has been asked for: it is asked once per document.
    int32_t startRequested = 0;
    // The printer accepted the start: only a started print is supervised to the
    // remove-model prompt.
    int32_t printStarted = 0;
};

} // namespace vela
