// Pauses and the printer's own buttons: a pause holds the document's new lines
// once those in flight are answered (a pause is no silence: nothing is owed),
// and a cancel on the printer ends the document as a deleted job does.
#include "serial/DocumentRun.h"

#include "platform/DiagnosticLog.h"

#include <string>

namespace vela {

void DocumentRun::OnPrinterAction(PrinterAction action, uint64_t now) {
    switch (action) {
    case PrinterAction::Cancel:
        if (handshakeAnswered_ && cancel_ == CancelStep::None && Failure() == SendFailure::None) {
            Log(LogTo::Debugger, "Cancelled on the printer\n");
            cancelledOnPrinter_ = true;
            BeginCancel(now);
        }
        break;
    case PrinterAction::Pause:
        if (!printerPaused_) {
            Log(LogTo::Debugger, "Paused on the printer\n");
            printerPaused_ = true;
            pausedAtLine_ = queuePaused_ ? pausedAtLine_ : LastLineSent();
        }
        break;
    case PrinterAction::Resume:
        if (printerPaused_) {
            Log(LogTo::Debugger, "Resumed on the printer\n");
            printerPaused_ = false;
        }
        break;
    case PrinterAction::None:
    case PrinterAction::Other:
        break;
    }
}

int32_t DocumentRun::LastLineSent() const {
    // Between lines the number is already the next one's.
    const int32_t number = LineInFlight() ? LineNumber() : LineNumber() - 1;
    return number > 0 ? number : 0;
}

uint32_t DocumentRun::UntilJobLook(uint64_t now) const {
    if (!control_.pauses.probe || !handshakeAnswered_ || cancel_ != CancelStep::None) {
        return 0xFFFFFFFFu;
    }
    return Remaining(lastJobLookAt_, control_.timings.watchIntervalMs, now);
}

void DocumentRun::LookAtJob(uint64_t now) {
    if (UntilJobLook(now) != 0) {
        return;
    }
    lastJobLookAt_ = now;
    Publish();
    DocumentProgress progress;
    {
        CriticalSectionLock guard(control_.lock);
        progress = control_.progress;
    }
    const JobState state = control_.pauses.probe->Look(progress);
    if (state == JobState::Cancelled) {
        // Deleted while no spooler thread waits in the monitor (a paused job's):
        // cancelled as the spooler's side would.
        BeginCancel(now);
        return;
    }
    const bool paused = state == JobState::Paused;
    if (paused && !queuePaused_) {
        Log(LogTo::Debugger, "The job is paused\n");
        pausedAtLine_ = printerPaused_ ? pausedAtLine_ : LastLineSent();
        queuePaused_ = true;
        QueueAhead(control_.pauses.pauseLines);
    } else if (!paused && queuePaused_) {
        Log(LogTo::Debugger, "The job is resumed\n");
        queuePaused_ = false;
        QueueAhead(control_.pauses.resumeLines);
    }
}

bool DocumentRun::QueueAhead(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        // A line without a command would be passed over, and the document's
        // next line taken for one of these.
        if (line.find_first_not_of(" \t") != std::string::npos) {
            text += line + "\n";
        }
    }
    if (!text.empty() &&
        FAILED(outgoing_.EnqueueLinesFirst(reinterpret_cast<const uint8_t*>(text.data()),
                                           static_cast<uint32_t>(text.size())))) {
        Log(LogTo::Debugger, "The thread's own lines could not be queued\n");
        return false;
    }
    return !text.empty();
}

bool DocumentRun::HoldsNewLines() {
    if (cancel_ != CancelStep::None || (!printerPaused_ && !queuePaused_)) {
        return false;
    }
    // A line framed for the window was taken before the pause: it goes first.
    return framedLength_ == 0 && !outgoing_.NextIsAhead();
}

} // namespace vela
