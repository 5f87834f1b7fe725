// The run of one serial document on its thread: the handshake, the numbered
// lines (one at a time, or a window of them where the firmware allows it), the
// final "M400", a cancel's lines, and the firmware's replies.
#pragma once

#include "platform/Platform.h"
#include "serial/AcknowledgedBytes.h"
#include "serial/DocumentControl.h"
#include "serial/LineFraming.h"
#include "serial/ReplyParsing.h"
#include "serial/StreamWindow.h"

namespace vela {

// A read takes whatever the device holds, up to this much.
constexpr DWORD kReadChunkBytes = 512;
// With nothing held, a read waits for as many bytes as the last "ok" had, at
// least those of "ok\n" (no meaningful reply is shorter) and at most this many.
constexpr DWORD kShortestReply = 3;
constexpr DWORD kLongestExpectedReply = 32;
constexpr char kFinishMovesLine[] = "M400\n";
constexpr char kStartReportsLine[] = "M155 S2";
constexpr char kStopReportsLine[] = "M155 S0\n";
// Ends a heating or dwell wait at once, but only unnumbered: firmware reads such a
// line the moment it arrives, a numbered one only in its turn.
constexpr char kBreakWaitLine[] = "M108\n";
// Final lines sent again because only a poke's answer acknowledged them.
constexpr int kMaxConfirmations = 3;

enum class CancelStep { None, AwaitInFlight, Sending };

class DocumentRun {
  public:
    explicit DocumentRun(DocumentControl& control)
        : control_(control), channels_(control.channels), outgoing_(control.outgoing),
          machine_(control.timings.send), window_(control.timings.send),
          clock_(*CurrentPlatform().clock) {}

    void Run();

  private:
    uint64_t Now() { return clock_.GetTickCount64(); }
    // False when the device failed.
    bool HandleReplies(uint64_t now);
    void OnReply(const uint8_t* line, uint32_t length, uint64_t now);
    // Sends what the active sender asks for; false when the device refused a write.
    bool Send(uint64_t now);
    bool SendOneLine(uint64_t now);
    bool SendWindowed(uint64_t now);
    // Streams with a window from the next new line on, where the port's setting
    // calls for one and the machine is between lines.
    void StartWindowWhenDue(uint64_t now);
    // Takes the next queued line and frames it for the window; false when the
    // queue is empty.
    bool FrameNextLine();
    // The line to send for the action, or none.
    const LineRecord* TakeLine(SendAction action);
    // The form a queued line goes out in: a line that sets the counter is
    // rewritten as "M110 N<k>"; *counter receives k, or -1.
    void OutgoingForm(const LineRecord& line, const uint8_t** bytes, uint32_t* length,
                      int64_t* counter);
    // Starts writing the bytes; a write that completes at once is not outstanding.
    bool Write(const uint8_t* bytes, uint32_t length);
    SendFailure Failure() const;
    int64_t FailureLine() const;
    int32_t LineNumber() const;
    bool LineInFlight() const;
    void NoteLineTaken(const LineRecord& line);
    // Nothing out and no answer owed to the active sender.
    bool SenderIdle() const;
    // The "ok" of the cancel's "M108": true when the reply is taken as it.
    bool TakeBreakOk(const uint8_t* line, uint32_t length);
    // Looks at the requests and the machine; true when the document has its outcome.
    bool Settle(uint64_t now);
    void BeginCancel(uint64_t now);
    void StartCancelLines(uint64_t now);
    // A write outstanding too long: the device takes no bytes.
    void WatchWrite(uint64_t now);
    // The firmware rejects a line but still listens: the cancel lines go.
    void CancelAfterRejection(uint64_t now);
    // On automatic, the next speed once a round has passed without an answer.
    void SearchRate(uint64_t now);
    void SwitchRate(uint64_t now);
    // A reply of the greeting: false for noise, which is not an answer.
    bool TakeGreetingReply(const uint8_t* line, uint32_t length, uint64_t now);
    // The user's cancel, pause or resume on the printer's screen.
    void OnPrinterAction(PrinterAction action, uint64_t now);
    // About once a second, whether the spooler's job is paused: a pause holds
    // new lines after its own, a resume sends its own and lets them go on.
    void LookAtJob(uint64_t now);
    uint32_t UntilJobLook(uint64_t now) const;
    int32_t LastLineSent() const;
    // Queues lines of the thread's own ahead of the document's.
    bool QueueAhead(const std::vector<std::string>& lines);
    // New lines of the document wait: paused, and no line of the thread's own next.
    bool HoldsNewLines();
    void Finish(DocumentOutcome outcome);
    void FinishPendingWrite();
    void Publish();
    uint32_t WaitTime(uint64_t now) const;

    DocumentControl& control_;
    SerialChannels& channels_;
    LineQueue& outgoing_;
    ReplyLineAssembler replies_;
    SendStateMachine machine_;
    StreamWindow window_;
    RateSearch rates_;
    // The window is the active sender (after the handshake, which the machine does).
    bool windowed_ = false;
    bool fallbackReported_ = false;
    uint32_t expectedReply_ = kShortestReply;
    // A framed line waiting for room in the window (length 0: none).
    uint8_t framed_[kWriteBufferSize] = {};
    uint32_t framedLength_ = 0;
    int32_t framedNumber_ = 0;
    bool framedBarrier_ = false;
    int64_t framedCounter_ = -1;
    Clock& clock_;
    bool deviceLost_ = false;
    // The send step passed over lines without a command and wrote nothing: the
    // document may have drained, and no event would say so.
    bool passedOver_ = false;
    bool handshakeAnswered_ = false;
    bool finalLineQueued_ = false;
    int confirmations_ = 0;
    CancelStep cancel_ = CancelStep::None;
    uint64_t cancelDeadline_ = 0;
    // The cancel's "M108" is still to go, or its "ok" is still to come; the
    // sender went idle at senderIdleSince_.
    bool breakDue_ = false;
    bool breakOkOwed_ = false;
    bool senderIdle_ = false;
    uint64_t senderIdleSince_ = 0;
    int32_t cancelledAt_ = 0;
    uint64_t linesTaken_ = 0;
    AcknowledgedBytes acknowledgedBytes_;
    uint64_t linesSkipped_ = 0;
    // A write outstanding since writeSince_ (seen by two passes in a row); one
    // outstanding past the greeting's limit means the device takes no bytes.
    bool writeWatched_ = false;
    uint64_t writeSince_ = 0;
    bool writeStuck_ = false;
    // The document failed while the firmware still listens (it rejects a line):
    // its cancel lines go, and then it ends with this failure.
    SendFailure failedWith_ = SendFailure::None;
    int64_t failedLine_ = 0;
    // The cancel lines set the firmware's counter first, whatever it holds.
    bool counterResetDue_ = false;
    bool rejectionOkSeen_ = false;
    // Lines of the document itself, taken before the final "M400" was queued.
    uint64_t documentLines_ = 0;
    uint8_t counterLine_[40] = {};
    TemperatureReading temperatures_;
    bool printerPaused_ = false;
    bool queuePaused_ = false;
    int32_t pausedAtLine_ = 0;
    bool cancelledOnPrinter_ = false;
    // "M155 S2" went: the firmware reports temperatures on its own until "M155 S0".
    bool autoReportOn_ = false;
    // "M155 S2" is queued and not yet taken; once taken, counted here, since it
    // neither moves nor heats: a document of no other line has touched nothing.
    bool reportLineQueued_ = false;
    uint64_t quietLinesTaken_ = 0;
    bool firmwareNamed_ = false;
    uint64_t lastJobLookAt_ = 0;
};

} // namespace vela
