// The thread of one serial document: the handshake, the numbered lines one at a
// time, the final "M400", a cancel's lines, and the firmware's replies.
#include "platform/Platform.h"
#include "protocol/DocumentControl.h"
#include "protocol/LineFraming.h"
#include "protocol/ReplyParsing.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace vela {
namespace {

// A read takes whatever the device holds, up to this much.
constexpr DWORD kReadChunkBytes = 512;
constexpr char kFinishMovesLine[] = "M400\n";
// Final lines sent again because only a poke's answer acknowledged them.
constexpr int kMaxConfirmations = 3;

enum class CancelStep { None, AwaitInFlight, Sending };

class DocumentRun {
  public:
    explicit DocumentRun(DocumentControl& control)
        : control_(control), channels_(control.channels), outgoing_(control.outgoing),
          machine_(control.timings.send), clock_(*CurrentPlatform().clock) {}

    void Run();

  private:
    uint64_t Now() { return clock_.GetTickCount64(); }
    // False when the device failed.
    bool HandleReplies(uint64_t now);
    bool Send(uint64_t now);
    // The line to send for the action, or none.
    const LineRecord* TakeLine(SendAction action);
    bool Write(const uint8_t* bytes, uint32_t length);
    // Looks at the requests and the machine; true when the document has its outcome.
    bool Settle(uint64_t now);
    void BeginCancel(uint64_t now);
    void StartCancelLines();
    void Finish(DocumentOutcome outcome);
    void FinishPendingWrite();
    void Publish();
    uint32_t WaitTime(uint64_t now) const;

    DocumentControl& control_;
    SerialChannels& channels_;
    LineQueue& outgoing_;
    ReplyLineAssembler replies_;
    SendStateMachine machine_;
    Clock& clock_;
    bool deviceLost_ = false;
    bool handshakeAnswered_ = false;
    bool finalLineQueued_ = false;
    int confirmations_ = 0;
    CancelStep cancel_ = CancelStep::None;
    uint64_t cancelDeadline_ = 0;
    int32_t cancelledAt_ = 0;
    uint64_t linesTaken_ = 0;
    uint8_t counterLine_[40] = {};
    TemperatureReading temperatures_;
};

void DocumentRun::Run() {
    // Whatever the firmware said between documents is not an answer to this one.
    ::PurgeComm(channels_.Device(), PURGE_RXCLEAR);
    machine_.StartHandshake(Now());
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
        const DWORD wait = bytesWaiting ? 0 : write.pending ? kLoopWaitMs : WaitTime(Now());
        clock_.WaitForMultipleObjects(count, waitList, FALSE, wait);
        deviceLost_ |= !channels_.Collect(read);
        deviceLost_ |= !channels_.Collect(write);
        const uint64_t now = Now();
        deviceLost_ |= !HandleReplies(now);
        if (Settle(now)) {
            return;
        }
        // The next line goes out before the next read is asked for: the write is
        // what the firmware waits for.
        deviceLost_ |= !Send(now);
        deviceLost_ |= !channels_.StartRead(kReadChunkBytes);
        Publish();
    }
}

uint32_t DocumentRun::WaitTime(uint64_t now) const {
    if (machine_.Failure() != SendFailure::None || deviceLost_) {
        return 0;
    }
    uint32_t wait = machine_.WaitTime(now);
    if (cancel_ == CancelStep::AwaitInFlight) {
        const uint64_t left = cancelDeadline_ > now ? cancelDeadline_ - now : 0;
        wait = left < wait ? static_cast<uint32_t>(left) : wait;
    }
    return wait;
}

bool DocumentRun::HandleReplies(uint64_t now) {
    IoChannel& read = channels_.read;
    while (!read.pending && read.transferred > 0) {
        machine_.OnBytesReceived(now);
        const uint32_t count = read.transferred;
        read.transferred = 0;
        for (uint32_t taken = 0; taken < count;) {
            const uint8_t* line = nullptr;
            uint32_t length = 0;
            taken += replies_.Take(read.buffer + taken, count - taken, &line, &length);
            if (line == nullptr) {
                continue;
            }
            ParseTemperatures(line, length, &temperatures_);
            if (machine_.OnReply(line, length, now)) {
                ::OutputDebugStringA(DebuggerText(line, length).c_str());
            }
        }
        // The rest of a reply is usually in already: read it now, not after a wait.
        if (!channels_.StartRead(kReadChunkBytes, false)) {
            return false;
        }
    }
    return true;
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
        outgoing_.Clear();
        FinishPendingWrite();
        Finish(DocumentOutcome::Stopped);
        return true;
    }
    if (deviceLost_ || machine_.Failure() != SendFailure::None) {
        outgoing_.Clear();
        FinishPendingWrite();
        Finish(DocumentOutcome::Failed);
        return true;
    }
    if (!handshakeAnswered_) {
        if (machine_.Handshaking()) {
            return false;
        }
        handshakeAnswered_ = true;
        ::SetEvent(control_.handshaken.Get());
    }
    if (cancel && cancel_ == CancelStep::None) {
        BeginCancel(now);
    }
    if (cancel_ == CancelStep::AwaitInFlight &&
        (!machine_.LineInFlight() || now >= cancelDeadline_)) {
        StartCancelLines();
    }
    const bool drained = outgoing_.Count() == 0 && machine_.State() == SendState::SendNext &&
                         !channels_.write.pending;
    if (cancel_ == CancelStep::Sending && drained) {
        Finish(DocumentOutcome::Cancelled);
        return true;
    }
    if (cancel_ == CancelStep::None && end && drained) {
        if (finalLineQueued_ && !machine_.LastAcknowledgedByPoke()) {
            Finish(DocumentOutcome::Completed);
            return true;
        }
        if (finalLineQueued_ && ++confirmations_ > kMaxConfirmations) {
            // Answered, but never with an "ok" of its own.
            Finish(DocumentOutcome::Failed);
            return true;
        }
        // Every line is acknowledged: the printer is asked to finish its moves. A
        // final line that only the poke's answer acknowledged goes again as a new
        // line, whose own "ok" (or resend request) shows whether it arrived.
        finalLineQueued_ = true;
        outgoing_.AppendBytes(reinterpret_cast<const uint8_t*>(kFinishMovesLine),
                              sizeof(kFinishMovesLine) - 1);
    }
    return false;
}

void DocumentRun::BeginCancel(uint64_t now) {
    outgoing_.Clear();
    cancelledAt_ = machine_.LineNumber();
    cancel_ = CancelStep::AwaitInFlight;
    cancelDeadline_ = now + control_.timings.cancelOkWaitMs;
}

void DocumentRun::StartCancelLines() {
    std::string lines;
    if (machine_.LineInFlight()) {
        // Its "ok" never came: the firmware's counter is set again by the first
        // cancel line, whatever became of that line.
        machine_.Abandon();
        lines += "M110\n";
    }
    std::vector<std::string> cancelLines;
    {
        CriticalSectionLock guard(control_.lock);
        cancelLines = control_.cancelLines;
    }
    for (const std::string& line : cancelLines) {
        lines += line + "\n";
    }
    outgoing_.Clear();
    if (!lines.empty()) {
        outgoing_.AppendBytes(reinterpret_cast<const uint8_t*>(lines.data()),
                              static_cast<uint32_t>(lines.size()));
    }
    cancel_ = CancelStep::Sending;
}

const LineRecord* DocumentRun::TakeLine(SendAction action) {
    switch (action) {
    case SendAction::Advance:
        // An empty queue is not advanced: the slots keep the lines a resend may ask for.
        if (outgoing_.Count() == 0) {
            return nullptr;
        }
        outgoing_.Advance(nullptr);
        return outgoing_.Current();
    case SendAction::CopyCurrent:
        return outgoing_.Current();
    case SendAction::CopyPrevious:
        return outgoing_.Previous();
    case SendAction::Poke:
    case SendAction::Handshake:
    case SendAction::None:
        break;
    }
    return nullptr;
}

bool DocumentRun::Write(const uint8_t* bytes, uint32_t length) {
    IoChannel& write = channels_.write;
    std::memcpy(write.buffer, bytes, length);
    write.buffer[length] = 0;
    write.toWrite = length;
    return channels_.StartWrite();
}

bool DocumentRun::Send(uint64_t now) {
    IoChannel& write = channels_.write;
    while (!write.pending) {
        const SendAction action = machine_.NextAction(now);
        if (action == SendAction::None) {
            return true;
        }
        if (action == SendAction::Handshake || action == SendAction::Poke) {
            const char* text = action == SendAction::Handshake ? kHandshakeLine : kPokeLine;
            machine_.OnLineSent(action, false, now);
            return Write(reinterpret_cast<const uint8_t*>(text),
                         static_cast<uint32_t>(std::strlen(text)));
        }
        const LineRecord* line = TakeLine(action);
        if (line == nullptr) {
            if (action == SendAction::Advance || !machine_.OnNoLine(action)) {
                return true;
            }
            continue;
        }
        const uint8_t* bytes = line->Bytes();
        uint32_t length = line->Length();
        // A line that sets the counter goes out in one form the firmware reads the
        // same way, whatever the job wrote.
        const int64_t counter = CounterSetBy(bytes, length);
        if (counter >= 0) {
            length = static_cast<uint32_t>(std::snprintf(reinterpret_cast<char*>(counterLine_),
                                                         sizeof(counterLine_), "M110 N%lld\n",
                                                         static_cast<long long>(counter)));
            bytes = counterLine_;
        }
        const bool restartsNumbering = counter < 0 && BeginsWithN0(bytes, length);
        uint32_t framedLength = 0;
        if (!FrameLine(machine_.NumberFor(action, restartsNumbering), bytes, length, write.buffer,
                       kWriteBufferSize, &framedLength)) {
            if (action == SendAction::Advance) {
                char message[96];
                std::snprintf(message, sizeof(message),
                              "Skipped a G-code line of %u bytes: too long to send\n", length);
                ::OutputDebugStringA(message);
                machine_.OnLineSkipped();
            } else if (!machine_.OnNoLine(action)) {
                return true;
            }
            continue;
        }
        if (action == SendAction::Advance) {
            ++linesTaken_;
        }
        machine_.OnLineSent(action, restartsNumbering, now, counter);
        write.toWrite = framedLength;
        return channels_.StartWrite();
    }
    return true;
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
    progress.lineNumber = machine_.LineNumber();
    progress.linesAcknowledged = linesTaken_ - (machine_.LineInFlight() && linesTaken_ > 0 ? 1 : 0);
    progress.finishing = finalLineQueued_;
    progress.temperatures = temperatures_;
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
    progress.failure = machine_.Failure();
    progress.failureLine = machine_.FailureLine();
    progress.deviceLost = deviceLost_;
    progress.cancelledAtLine = cancelledAt_;
}

} // namespace

DWORD WINAPI ProtocolDocumentThread(LPVOID parameter) {
    std::unique_ptr<std::shared_ptr<DocumentControl>> owner(
        static_cast<std::shared_ptr<DocumentControl>*>(parameter));
    std::shared_ptr<DocumentControl> control = *owner;
    owner.reset();
    {
        DocumentRun run(*control);
        run.Run();
    }
    ::SetEvent(control->progressed.Get());
    return 0;
}

} // namespace vela
