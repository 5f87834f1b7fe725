// Sending: one line in flight, or a window of lines, and the switch between them.
#include "serial/DocumentRun.h"

#include "platform/DiagnosticLog.h"

#include <cstdio>
#include <cstring>

namespace vela {
namespace {

void ReportSkippedLine(uint32_t length) {
    LogFormatted(LogTo::Debugger, "Skipped a G-code line of %u bytes: too long to send\n",
                 static_cast<unsigned>(length));
}

} // namespace

const LineRecord* DocumentRun::TakeLine(SendAction action) {
    switch (action) {
    case SendAction::Advance:
        // An empty queue is not advanced: the slots keep the lines a resend may ask for.
        if (outgoing_.Count() == 0) {
            return nullptr;
        }
        if (!outgoing_.AdvanceToCommand()) {
            passedOver_ = true;
            return nullptr;
        }
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
    write.toWrite = length;
    return channels_.StartWrite();
}

bool DocumentRun::SendOneLine(uint64_t now) {
    IoChannel& write = channels_.write;
    while (!write.pending) {
        const SendAction action = machine_.NextAction(now);
        if (action == SendAction::None || (action == SendAction::Advance && HoldsNewLines())) {
            return true;
        }
        if (action == SendAction::Handshake || action == SendAction::Poke) {
            const char* text = action == SendAction::Poke ? kPokeLine
                               : control_.identityAsked   ? kGreeting
                                                          : kIdentifyingGreeting;
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
        if (line->OverLongLength() != 0 && action == SendAction::Advance) {
            ReportSkippedLine(line->OverLongLength());
            ++linesSkipped_;
            machine_.OnLineSkipped();
            continue;
        }
        const uint8_t* bytes = nullptr;
        uint32_t length = 0;
        int64_t counter = -1;
        OutgoingForm(*line, &bytes, &length, &counter);
        const bool restartsNumbering = counter < 0 && BeginsWithN0(bytes, length);
        uint32_t framedLength = 0;
        if (!FrameLine(machine_.NumberFor(action, restartsNumbering), bytes, length, write.buffer,
                       kWriteBufferSize, &framedLength)) {
            if (action == SendAction::Advance) {
                ReportSkippedLine(length);
                ++linesSkipped_;
                machine_.OnLineSkipped();
            } else if (!machine_.OnNoLine(action)) {
                return true;
            }
            continue;
        }
        if (action == SendAction::Advance) {
            NoteLineTaken(*line);
        }
        machine_.OnLineSent(action, restartsNumbering, now, counter, IsLongCommand(bytes, length));
        write.toWrite = framedLength;
        return channels_.StartWrite();
    }
    return true;
}

void DocumentRun::OutgoingForm(const LineRecord& line, const uint8_t** bytes, uint32_t* length,
                               int64_t* counter) {
    *bytes = line.Bytes();
    *length = line.Length();
    // A line that sets the counter goes out in one form the firmware reads the
    // same way, whatever the job wrote.
    *counter = CounterSetBy(*bytes, *length);
    if (*counter >= 0) {
        *length = static_cast<uint32_t>(std::snprintf(reinterpret_cast<char*>(counterLine_),
                                                      sizeof(counterLine_), "M110 N%lld\n",
                                                      static_cast<long long>(*counter)));
        *bytes = counterLine_;
    }
}

bool DocumentRun::Send(uint64_t now) {
    if (breakDue_) {
        if (channels_.write.pending) {
            return true;
        }
        // Before anything else: the line in flight may be a wait that would
        // otherwise hold the cancel until it ends.
        breakDue_ = false;
        breakOkOwed_ = true;
        if (!Write(reinterpret_cast<const uint8_t*>(kBreakWaitLine), sizeof(kBreakWaitLine) - 1)) {
            return false;
        }
        if (channels_.write.pending) {
            return true;
        }
    }
    StartWindowWhenDue(now);
    return windowed_ ? SendWindowed(now) : SendOneLine(now);
}

void DocumentRun::StartWindowWhenDue(uint64_t now) {
    if (windowed_ || !handshakeAnswered_ || cancel_ != CancelStep::None) {
        return;
    }
    const uint32_t bytes = control_.streamWindow.bytes;
    // Between lines: nothing in flight, no resend request open.
    if (bytes == 0 || channels_.write.pending || machine_.NextAction(now) != SendAction::Advance) {
        return;
    }
    windowed_ = window_.Start(bytes, machine_.LineNumber(), now);
}

bool DocumentRun::FrameNextLine() {
    while (outgoing_.Count() > 0) {
        if (!outgoing_.AdvanceToCommand()) {
            passedOver_ = true;
            return false;
        }
        const LineRecord* line = outgoing_.Current();
        if (line->OverLongLength() != 0) {
            ReportSkippedLine(line->OverLongLength());
            ++linesSkipped_;
            continue;
        }
        const uint8_t* bytes = nullptr;
        uint32_t length = 0;
        int64_t counter = -1;
        OutgoingForm(*line, &bytes, &length, &counter);
        const bool restartsNumbering = counter < 0 && BeginsWithN0(bytes, length);
        const int32_t number = restartsNumbering ? 1 : window_.NextNewNumber();
        if (!FrameLine(number, bytes, length, framed_, sizeof(framed_), &framedLength_)) {
            ReportSkippedLine(length);
            ++linesSkipped_;
            framedLength_ = 0;
            continue;
        }
        framedNumber_ = number;
        framedBarrier_ = counter >= 0 || restartsNumbering;
        framedCounter_ = counter;
        return true;
    }
    return false;
}

bool DocumentRun::SendWindowed(uint64_t now) {
    IoChannel& write = channels_.write;
    while (!write.pending) {
        switch (window_.NextStep(now)) {
        case StreamWindow::Step::None:
            return true;
        case StreamWindow::Step::Poke:
            window_.OnPokeSent(now);
            if (!Write(reinterpret_cast<const uint8_t*>(kPokeLine), sizeof(kPokeLine) - 1)) {
                return false;
            }
            break;
        case StreamWindow::Step::SendKept: {
            const uint8_t* bytes = nullptr;
            uint32_t length = 0;
            window_.SendKept(&bytes, &length, now);
            if (!Write(bytes, length)) {
                return false;
            }
            break;
        }
        case StreamWindow::Step::TakeNew:
            if (framedLength_ == 0 && (HoldsNewLines() || !FrameNextLine())) {
                return true;
            }
            if (!window_.RoomFor(framedLength_, framedBarrier_)) {
                return true;
            }
            window_.SendNew(framed_, framedLength_, framedNumber_, framedBarrier_, framedCounter_,
                            now);
            // A framed line waiting is the current one.
            NoteLineTaken(*outgoing_.Current());
            if (!Write(framed_, framedLength_)) {
                return false;
            }
            framedLength_ = 0;
            break;
        }
    }
    return true;
}

SendFailure DocumentRun::Failure() const {
    return windowed_ ? window_.Failure() : machine_.Failure();
}

int64_t DocumentRun::FailureLine() const {
    return windowed_ ? window_.FailureLine() : machine_.FailureLine();
}

int32_t DocumentRun::LineNumber() const {
    return windowed_ ? window_.LineNumber() : machine_.LineNumber();
}

void DocumentRun::NoteLineTaken(const LineRecord& line) {
    ++linesTaken_;
    acknowledgedBytes_.Taken(line.DocumentEnd());
    // The report line is queued ahead of everything else, so it is the first
    // line ahead taken after it was queued.
    if (line.Ahead() && reportLineQueued_) {
        reportLineQueued_ = false;
        ++quietLinesTaken_;
    }
}

bool DocumentRun::LineInFlight() const {
    return windowed_ ? !window_.Idle() : machine_.LineInFlight();
}

bool DocumentRun::SenderIdle() const {
    return windowed_ ? window_.Idle() : machine_.Idle();
}

} // namespace vela
