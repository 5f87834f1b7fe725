// The document thread: its loop, the replies, the requests from the spooler's
// side, cancel and the outcome.
#include "serial/DocumentRun.h"

#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace vela {

void DocumentRun::Run() {
    // Whatever the firmware said between documents is not an answer to this one.
    CurrentPlatform().serialDevices->PurgeComm(channels_.Device(), PURGE_RXCLEAR);
    const uint64_t start = Now();
    rates_.Begin(control_.speed.fixed, control_.speed.remembered, control_.timings.rateRoundMs,
                 control_.timings.send.handshakeLimitMs, start);
    machine_.StartHandshake(start);
    IoChannel& read = channels_.read;
    IoChannel& write = channels_.write;
    for (;;) {
        // Only an outstanding operation's event says anything: one that completed
        // at once leaves its event set, and the next operation resets it.
        HANDLE waitList[3] = {control_.wake.Get()};
        DWORD count = 1;
        if (read.pending) {
            waitList[count++] = read.event.Get();
        }
        if (write.pending) {
            waitList[count++] = write.event.Get();
        }
        const bool bytesWaiting = !read.pending && read.transferred > 0;
        const DWORD wait = bytesWaiting || passedOver_ ? 0
                           : write.pending             ? kLoopWaitMs
                                                       : WaitTime(Now());
        passedOver_ = false;
        clock_.WaitForMultipleObjects(count, waitList, FALSE, wait);
        deviceLost_ |= !channels_.Collect(read);
        deviceLost_ |= !channels_.Collect(write);
        const uint64_t now = Now();
        deviceLost_ |= !HandleReplies(now);
        SearchRate(now);
        LookAtJob(now);
        if (Settle(now)) {
            return;
        }
        // The next line goes out before the next read is asked for: the write is
        // what the firmware waits for.
        deviceLost_ |= !Send(now);
        deviceLost_ |= !channels_.StartRead(kReadChunkBytes, expectedReply_);
        Publish();
    }
}

uint32_t DocumentRun::WaitTime(uint64_t now) const {
    if (Failure() != SendFailure::None || deviceLost_) {
        return 0;
    }
    uint32_t wait = windowed_ ? window_.WaitTime(now) : machine_.WaitTime(now);
    if (!handshakeAnswered_ && machine_.Handshaking()) {
        const uint32_t round = rates_.WaitTime(now);
        wait = round < wait ? round : wait;
    }
    const uint32_t look = UntilJobLook(now);
    wait = look < wait ? look : wait;
    if (cancel_ == CancelStep::AwaitInFlight) {
        uint64_t left = cancelDeadline_ > now ? cancelDeadline_ - now : 0;
        if (senderIdle_ && breakOkOwed_) {
            const uint32_t grace =
                Remaining(senderIdleSince_, control_.timings.send.resendOkWaitMs, now);
            left = grace < left ? grace : left;
        }
        wait = left < wait ? static_cast<uint32_t>(left) : wait;
    }
    return wait;
}

bool DocumentRun::HandleReplies(uint64_t now) {
    IoChannel& read = channels_.read;
    while (!read.pending && read.transferred > 0) {
        machine_.OnBytesReceived(now);
        window_.OnBytesReceived(now);
        const uint32_t count = read.transferred;
        read.transferred = 0;
        for (uint32_t taken = 0; taken < count;) {
            const uint8_t* line = nullptr;
            uint32_t length = 0;
            taken += replies_.Take(read.buffer + taken, count - taken, &line, &length);
            if (line == nullptr) {
                continue;
            }
            OnReply(line, length, now);
        }
        // The rest of a reply is usually in already: read it now, not after a wait.
        // When the bytes ended with a line, the next line goes out first: the
        // read after the write takes whatever else is held.
        if (!replies_.Partial()) {
            break;
        }
        if (!channels_.StartRead(kReadChunkBytes, 0)) {
            return false;
        }
    }
    return true;
}

bool DocumentRun::TakeBreakOk(const uint8_t* line, uint32_t length) {
    // Whichever comes first, the "ok" of the line in flight or the M108's, the
    // second finds the sender with nothing out.
    if (cancel_ != CancelStep::AwaitInFlight || !breakOkOwed_ || !SenderIdle() ||
        ClassifyReply(line, length) != ReplyKind::Ok || IsTemperatureReport(line, length)) {
        return false;
    }
    breakOkOwed_ = false;
    return true;
}

void DocumentRun::OnReply(const uint8_t* line, uint32_t length, uint64_t now) {
    if (!handshakeAnswered_ && machine_.Handshaking() && !TakeGreetingReply(line, length, now)) {
        return;
    }
    if (!handshakeAnswered_ && !control_.identityAsked) {
        const bool named = control_.identity.named;
        NoteFirmwareLine(line, length, &control_.identity);
        firmwareNamed_ |= !named && control_.identity.named;
    }
    const PrinterAction action = ParsePrinterAction(line, length);
    if (action != PrinterAction::None) {
        Log(LogTo::Debugger, DebuggerText(line, length).c_str());
        OnPrinterAction(action, now);
        return;
    }
    ParseTemperatures(line, length, &temperatures_);
    if (Failure() == SendFailure::Rejected && failedWith_ == SendFailure::None &&
        ClassifyReply(line, length) == ReplyKind::Ok) {
        // The rejecting resend request's own "ok", read with it.
        rejectionOkSeen_ = true;
    }
    if (TakeBreakOk(line, length)) {
        return;
    }
    if (ClassifyReply(line, length) == ReplyKind::Ok) {
        // The next "ok" is most likely as long: a read of that many bytes takes it
        // whole, where a shorter read needs a second.
        expectedReply_ = length < kShortestReply          ? kShortestReply
                         : length > kLongestExpectedReply ? kLongestExpectedReply
                                                          : length;
    }
    if (windowed_ ? window_.OnReply(line, length, now) : machine_.OnReply(line, length, now)) {
        Log(LogTo::Debugger, DebuggerText(line, length).c_str());
    }
    if (windowed_ && window_.FellBack() && !fallbackReported_) {
        fallbackReported_ = true;
        Log(LogTo::Debugger, "Ten resend requests in a row: one line in flight from now on\n");
    }
}

bool DocumentRun::Settle(uint64_t now) {
    bool stop = false;
    bool cancel = false;
    bool end = false;
    {
        CriticalSectionLock guard(control_.lock);
        stop = control_.stopRequested;
        cancel = control_.cancelRequested;
        end = control_.endRequested;
    }
    if (stop) {
        outgoing_.Close();
        FinishPendingWrite();
        Finish(DocumentOutcome::Stopped);
        return true;
    }
    WatchWrite(now);
    if (Failure() == SendFailure::Rejected && !deviceLost_ && !writeStuck_ &&
        failedWith_ == SendFailure::None && cancel_ == CancelStep::None) {
        CancelAfterRejection(now);
    }
    if (deviceLost_ || writeStuck_ || Failure() != SendFailure::None) {
        outgoing_.Close();
        FinishPendingWrite();
        Finish(DocumentOutcome::Failed);
        return true;
    }
    if (!handshakeAnswered_) {
        if (cancel) {
            // Nothing of the document has gone out: nothing to cancel on the printer.
            outgoing_.Close();
            FinishPendingWrite();
            Finish(DocumentOutcome::Cancelled);
            return true;
        }
        if (machine_.Handshaking()) {
            return false;
        }
        handshakeAnswered_ = true;
        control_.identityAsked = true;
        if (control_.identity.autoReportsTemperatures) {
            // Reports every 2 s keep the queue's temperatures live; stopped again
            // before the final moves and after the cancel lines.
            autoReportOn_ = QueueAhead({kStartReportsLine});
            reportLineQueued_ = autoReportOn_;
        }
        // The speed found is in the progress before StartDocPort reads it.
        Publish();
        ::SetEvent(control_.handshaken.Get());
    }
    if (cancel && cancel_ == CancelStep::None) {
        BeginCancel(now);
    }
    if (cancel_ == CancelStep::AwaitInFlight) {
        // The cancel lines wait for the line in flight and the M108 to be answered:
        // an "ok" still owed would otherwise be taken for a cancel line's.
        const bool idle = !LineInFlight() && !breakDue_;
        if (idle && !senderIdle_) {
            senderIdle_ = true;
            senderIdleSince_ = now;
        }
        const bool answered = idle && !breakOkOwed_;
        const bool graceOver =
            idle && Remaining(senderIdleSince_, control_.timings.send.resendOkWaitMs, now) == 0;
        if (answered || graceOver || now >= cancelDeadline_) {
            StartCancelLines(now);
        }
    }
    const bool senderDone =
        windowed_ ? window_.Idle() && framedLength_ == 0 : machine_.State() == SendState::SendNext;
    const bool drained = outgoing_.Count() == 0 && senderDone && !channels_.write.pending;
    if (cancel_ == CancelStep::Sending && drained) {
        if (machine_.AnswersOutstanding()) {
            // A poke's answer, which comes after every earlier answer, shows that
            // the last cancel line was answered, not only an "ok" owed from before.
            machine_.SettleAnswers();
            return false;
        }
        Finish(failedWith_ != SendFailure::None ? DocumentOutcome::Failed
                                                : DocumentOutcome::Cancelled);
        return true;
    }
    if (cancel_ == CancelStep::None && end && drained) {
        if (!windowed_ && machine_.AnswersOutstanding()) {
            // An "ok" owed to an earlier line may still come, or may have been
            // taken for a later line's: a poke's answer, which comes after it,
            // settles that before the last lines are judged.
            machine_.SettleAnswers();
            return false;
        }
        const bool inDoubt =
            windowed_ ? window_.LastAcknowledgedByPoke() : machine_.LastAcknowledgementInDoubt();
        if (finalLineQueued_ && !inDoubt) {
            Finish(DocumentOutcome::Completed);
            return true;
        }
        if (finalLineQueued_ && ++confirmations_ > kMaxConfirmations) {
            // Answered, but never with an "ok" of its own.
            Finish(DocumentOutcome::Failed);
            return true;
        }
        // Every line is acknowledged: the printer is asked to finish its moves. A
        // final line whose acknowledgement is in doubt (only the poke's answer gave
        // it, or an owed "ok" may have) goes again as a new line, whose own "ok"
        // (or resend request) shows whether it arrived.
        // Only a queued "M400" counts: one that could not be queued is tried again
        // in the next pass, so that no document ends complete without it.
        const uint64_t documentLines =
            finalLineQueued_ ? documentLines_ : linesTaken_ - quietLinesTaken_;
        // The reports stop first, once.
        const std::string finish =
            std::string(autoReportOn_ && !finalLineQueued_ ? kStopReportsLine : "") +
            kFinishMovesLine;
        if (SUCCEEDED(outgoing_.EnqueueLines(reinterpret_cast<const uint8_t*>(finish.data()),
                                             static_cast<uint32_t>(finish.size())))) {
            documentLines_ = documentLines;
            finalLineQueued_ = true;
        }
    }
    return false;
}

void DocumentRun::FinishPendingWrite() {
    IoChannel& write = channels_.write;
    if (write.pending) {
        // A line cut short would reach the firmware as garbage.
        HANDLE written = write.event.Get();
        clock_.WaitForMultipleObjects(1, &written, FALSE, control_.timings.writeFinishMs);
        channels_.Collect(write);
    }
    channels_.CancelPending();
}

void DocumentRun::Publish() {
    CriticalSectionLock guard(control_.lock);
    DocumentProgress& progress = control_.progress;
    progress.lineNumber = LineNumber();
    const uint64_t unacknowledged = windowed_                 ? window_.Unacknowledged()
                                    : machine_.LineInFlight() ? 1
                                                              : 0;
    // The report line goes first: once any line is acknowledged, it is.
    const uint64_t acknowledged = linesTaken_ > unacknowledged ? linesTaken_ - unacknowledged : 0;
    progress.linesAcknowledged =
        acknowledged > quietLinesTaken_ ? acknowledged - quietLinesTaken_ : 0;
    progress.bytesDone = acknowledgedBytes_.Through(unacknowledged);
    progress.windowed |= windowed_;
    progress.windowFellBack = fallbackReported_;
    progress.finishing = finalLineQueued_;
    progress.temperatures = temperatures_;
    progress.linesSkipped = linesSkipped_;
    progress.ratesTried = rates_.Tried();
    progress.cancelledOnPrinter = cancelledOnPrinter_;
    progress.paused = cancel_ != CancelStep::None ? DocumentPause::None
                      : queuePaused_              ? DocumentPause::Queue
                      : printerPaused_            ? DocumentPause::Printer
                                                  : DocumentPause::None;
    progress.pausedAtLine = pausedAtLine_;
    progress.firmwareNamed = firmwareNamed_;
    progress.firmware = control_.identity;
    progress.baudRate = handshakeAnswered_ ? rates_.Rate() : 0;
    // A waiting WritePort is woken once there is room; nobody else needs a wake
    // for every line.
    if (control_.writerWaiting && outgoing_.QueuedBytes() < control_.timings.highWaterBytes) {
        ::SetEvent(control_.progressed.Get());
    }
}

void DocumentRun::Finish(DocumentOutcome outcome) {
    channels_.CancelPending();
    Publish();
    ::SetEvent(control_.progressed.Get());
    CriticalSectionLock guard(control_.lock);
    DocumentProgress& progress = control_.progress;
    progress.outcome = outcome;
    const bool rejected = failedWith_ != SendFailure::None;
    progress.failure = rejected ? failedWith_ : Failure();
    progress.failureLine = rejected ? failedLine_ : FailureLine();
    // A device that took no bytes is closed too, and opened afresh next time.
    progress.deviceLost = deviceLost_ || writeStuck_;
    progress.writeStuck = writeStuck_;
    progress.cancelledAtLine = cancelledAt_;
    progress.reachedPrinter = outcome == DocumentOutcome::Completed && documentLines_ > 0;
}

namespace {

void RunDocument(LPVOID parameter) {
    std::unique_ptr<std::shared_ptr<DocumentControl>> owner(
        static_cast<std::shared_ptr<DocumentControl>*>(parameter));
    std::shared_ptr<DocumentControl> control = *owner;
    owner.reset();
    {
        DocumentRun run(*control);
        run.Run();
    }
    ::SetEvent(control->progressed.Get());
}

} // namespace

DWORD WINAPI ProtocolDocumentThread(LPVOID parameter) {
    RunDocument(parameter);
    // Nothing of the document is left on this stack: the module reference that
    // BeginDocument took for the thread goes as the thread ends.
    ModuleReferences& modules = *CurrentPlatform().modules;
    HMODULE module = nullptr;
    if (modules.GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                       GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(&ProtocolDocumentThread), &module)) {
        modules.FreeLibraryAndExitThread(module, 0);
    }
    return 0;
}

} // namespace vela
