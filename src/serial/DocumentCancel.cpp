// The document thread's early ends: a cancel (the job deleted, the port closing,
// the monitor stopping), the cancel lines after a refused line, and the watch on a
// write that never completes.
#include "serial/DocumentRun.h"

#include "platform/DiagnosticLog.h"

#include <string>

namespace vela {

void DocumentRun::BeginCancel(uint64_t now) {
    // The spooler's thread may be adding a piece: the lines of it, and the partial
    // line it carries, go with the queue.
    outgoing_.Close();
    // A line in flight may be a heating or dwell wait: M108 ends it now, instead
    // of when the printer is hot.
    breakDue_ = LineInFlight();
    // A line framed for the window and not yet sent goes with the queue.
    framedLength_ = 0;
    cancelledAt_ = LineNumber();
    cancel_ = CancelStep::AwaitInFlight;
    cancelDeadline_ = now + control_.timings.cancelOkWaitMs;
}

void DocumentRun::WatchWrite(uint64_t now) {
    if (!channels_.write.pending) {
        writeWatched_ = false;
        return;
    }
    if (!writeWatched_) {
        writeWatched_ = true;
        writeSince_ = now;
        return;
    }
    if (Remaining(writeSince_, control_.timings.send.handshakeLimitMs, now) == 0 && !writeStuck_) {
        writeStuck_ = true;
        Log(LogTo::Debugger, "The serial device took no bytes within 20 s: the document fails\n");
    }
}

void DocumentRun::CancelAfterRejection(uint64_t now) {
    failedWith_ = Failure();
    failedLine_ = FailureLine();
    cancelledAt_ = LineNumber();
    outgoing_.Close();
    framedLength_ = 0;
    // The first cancel line sets the firmware's counter, which firmware takes
    // whatever number the line carries: numbered past the rejected line, it is
    // not refused for a fault that follows that number.
    const int64_t next = failedLine_ > 0 ? failedLine_ + 1 : LineNumber() + 1;
    windowed_ = false;
    machine_.ContinueAt(static_cast<int32_t>(next), now);
    // The last resend request's "ok" may still be on its way: taken for a cancel
    // line's, it would send the next one too early. It is waited for as a
    // cancel waits for the line in flight.
    counterResetDue_ = true;
    breakDue_ = false;
    breakOkOwed_ = !rejectionOkSeen_;
    senderIdle_ = false;
    cancel_ = CancelStep::AwaitInFlight;
    cancelDeadline_ = now + control_.timings.cancelOkWaitMs;
}

void DocumentRun::StartCancelLines(uint64_t now) {
    std::string lines;
    const bool inFlight = LineInFlight();
    // Whether every answer owed came is unsure: the counter is set again.
    const bool unsure = counterResetDue_ || inFlight || breakDue_ || breakOkOwed_;
    // A document none of whose lines went out has done nothing to undo: the
    // printer, perhaps heating for its own reasons, is left as it is.
    const bool touched = linesTaken_ > quietLinesTaken_ || (inFlight && quietLinesTaken_ == 0);
    breakDue_ = false;
    breakOkOwed_ = false;
    if (windowed_) {
        // The cancel lines go one at a time, numbered on from the window's lines.
        windowed_ = false;
        machine_.ContinueAt(window_.NextNewNumber(), now);
    } else if (inFlight) {
        machine_.Abandon();
    }
    if (unsure) {
        // Taken for a cancel line's, a late "ok" would let the last cancel line
        // pass for answered before the printer had it: the end settles it.
        machine_.AnswerMayStillCome();
    }
    if ((touched || autoReportOn_) && unsure) {
        // An "ok" never came: the firmware's counter is set again by the first
        // cancel line, whatever became of the line in flight.
        lines += "M110\n";
    }
    if (touched) {
        CriticalSectionLock guard(control_.lock);
        for (const std::string& line : control_.cancelLines) {
            lines += line + "\n";
        }
    }
    if (autoReportOn_) {
        lines += kStopReportsLine;
    }
    outgoing_.Close();
    if (!lines.empty()) {
        // Whole lines of their own, never joined to what the spooler's thread carries.
        outgoing_.EnqueueLines(reinterpret_cast<const uint8_t*>(lines.data()),
                               static_cast<uint32_t>(lines.size()));
    }
    cancel_ = CancelStep::Sending;
}

} // namespace vela
