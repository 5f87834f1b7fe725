// The text the print queue shows beside a job: what the monitor is doing with the
// document, built from its phase and numbers, without I/O.
#pragma once

#include "serial/DocumentControl.h"
#include "usb/PrinterStates.h"

#include <cstddef>
#include <cstdint>

namespace vela {

enum class JobPhase {
    None,              // nothing to show
    WaitingForPrinter, // a serial printer's handshake
    Sending,           // records go to a USB printer: count of total
    Printing,          // a USB printer runs the job: printerStatus
    NotResponding,     // a USB printer's polls fail
    RemoveModel,       // the remove-model prompt waits for the user
    Cancelling,
    CancelledOnPrinter, // the user cancelled on the printer's screen
    PausedAtLine,       // the job is paused in the queue: new lines wait from line count
    PausedOnPrinter,    // the user paused on the printer's screen
    NoAnswer,           // a serial printer answered at none of the speeds tried: rates
    PrintingLine,       // a serial printer: line count, and temperatures when reported
    Finishing,          // a serial printer finishes its moves
    Rejected,           // a serial document failed at line count
    StoppedAnswering,
    PrinterRestarted,
    Halted,
    Disconnected,
    // A failed document's reason, kept in the queue with the job.
    PortClosed,     // the port closed before the document ended
    Restarted,      // a new document began on the handle before this one ended
    MonitorStopped, // the monitor was shut down in the middle of the document
    LinesSkipped,   // a serial document's lines too long to send were left out
    NotTakingData,  // a serial device took no bytes within its limit
    LinkFailed,     // a USB printer's link failed during the transfer
    JobRefused,     // a USB printer refused the job or would not start it
    JobIncomplete,  // records of a USB job are missing
    StartRefused,   // a USB printer took every record but would not start them
};

struct JobStatusFacts {
    JobPhase phase = JobPhase::None;
    // Records sent, or a line number.
    int64_t count = 0;
    // Records the job announces.
    int64_t total = 0;
    // The USB printer's status.
    PrinterStatus printerStatus = PrinterStatus::PrinterSystemError;
    TemperatureReading temperatures;
    RatesTried rates;
    // A serial document: where the last line the printer acknowledged ends in the
    // document's bytes, the job's size (0: unknown), and how long it has printed
    // since the printer acknowledged its first line, pauses left out.
    uint64_t bytesDone = 0;
    uint64_t documentBytes = 0;
    uint64_t printingMs = 0;
};

// The time left is estimated once the rate has had this long to settle.
constexpr uint64_t kJobEstimateAfterMs = 3 * 60 * 1000;

// Room for the longest text with its terminator.
constexpr size_t kJobStatusChars = 128;

// The text for the facts, NUL-terminated (empty for JobPhase::None).
void FormatJobStatus(const JobStatusFacts& facts, wchar_t (&text)[kJobStatusChars]);

// What a serial document's progress shows: its failure, a cancel, the final moves
// or the line reached; JobPhase::None once it completed or stopped.
JobStatusFacts SerialDocumentFacts(const DocumentProgress& progress);

} // namespace vela
