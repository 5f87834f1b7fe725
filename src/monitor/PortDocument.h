// The document of an open port: who began it, where it stands, and what it has
// done to its printer. A port has one at a time. Every way a document can end
// (EndDocPort, ClosePort without it, a second StartDocPort on the same handle,
// Shutdown) goes through the same end, given its reason, so that the printer is
// left safe and the spooler is told only what happened.
//
// A document call (StartDocPort, WritePort, EndDocPort) holds the document's
// turn while it runs; ClosePort and Shutdown ask the call holding it to finish
// early, wait for it (bounded) and then end what is left themselves.
#pragma once

#include "monitor/JobStatus.h"
#include "monitor/WritePort.h"
#include "core/ScopedMem.h"
#include "platform/Handles.h"
#include "platform/SeamResources.h"
#include "serial/DocumentControl.h"
#include "usb/JobFlags.h"

namespace vela {

struct PortHandle;
class ProtocolHandler;

enum class DocumentState {
    Idle,      // no document
    Starting,  // StartDocPort is opening the printer
    Streaming, // the document's bytes go to the printer
    Ending,    // one of the ends is under way
    Ended,     // ended early (ClosePort of another kind, Shutdown): its EndDocPort fails
};

// Why a document ends.
enum class DocumentEnd {
    None,
    EndDocPort, // the spooler's own end: the printer finishes the document
    PortClosed, // ClosePort without EndDocPort
    Restarted,  // StartDocPort again on the same handle without EndDocPort
    Shutdown,   // the monitor is shut down (the spooler stops or is restarted)
};

class PortDocument {
  public:
    PortDocument();
    ~PortDocument();
    PortDocument(const PortDocument&) = delete;
    PortDocument& operator=(const PortDocument&) = delete;

    enum class Claim { Started, Restarted, Busy, Closing };
    // StartDocPort's claim. Started and Restarted give the caller the turn (for
    // Restarted the handle's earlier document is still to be ended, by the caller).
    Claim ClaimFor(const PortHandle* handle);
    // WritePort's and EndDocPort's turn: the handle's own document, streaming,
    // with no other call of it under way.
    bool EnterCall(const PortHandle* handle);
    // Gives the turn back, the document now in state next; Idle forgets the owner.
    void LeaveCall(DocumentState next);

    enum class Takeover { Nothing, Taken, StillRunning };
    // ClosePort's and Shutdown's turn: the document of owner (any, when none) is
    // asked to end for the reason, the call that holds it is interrupted and
    // waited for up to waitMs; then the caller holds the turn (Taken) when a
    // document is left to end. The Ended document of a closed handle is forgotten.
    Takeover TakeOver(const PortHandle* owner, DocumentEnd reason, DWORD waitMs);
    // The handle's document was ended early and only its EndDocPort was to come:
    // it is forgotten now. False when there is no such document.
    bool ForgetEnded(const PortHandle* handle);
    // No new document from here on, and the one in progress is asked to end.
    void Close(DocumentEnd reason);

    // The end asked for by ClosePort or Shutdown while a call held the turn.
    DocumentEnd EndRequested() const;
    bool InProgress() const;
    bool OwnedBy(const PortHandle* handle) const;
    DocumentState State() const;

    // The serial handler the document runs on, so that an end asked for from
    // another thread can interrupt its waits. Set and cleared by the turn's holder.
    void SetHandler(ProtocolHandler* handler);

    // The document's own data: used only by the call that holds the turn.
    JobTransferState transfer;
    JobFlags jobFlags;
    JobStatus status;
    // The spooler's printer and job, opened and read by StartDocPort.
    ScopedMem<WCHAR> printerName;
    UniqueSpoolerPrinter printer;
    DWORD jobId = 0;
    // The spooler's test page: not streamed to a serial printer.
    bool testPage = false;
    // The port's value names a serial device: G-code for the serial handler.
    bool serial = false;
    // The serial handler accepted the document (greeting answered).
    bool serialStarted = false;
    // The serial document thread's look at the job (pause) while it streams.
    std::shared_ptr<JobStateProbe> probe;
    // The user cancelled on the printer: the spooler's job has been ended.
    bool endedOnPrinter = false;
    // The USB transfer ended because the job was cancelled or the document asked to end.
    bool usbCancelled = false;
    // The printer's print was aborted: it is never aborted twice.
    bool usbAborted = false;

  private:
    void Interrupt();

    mutable CRITICAL_SECTION lock_;
    // Manual-reset: no call holds the turn.
    UniqueHandle turnFree_;
    DocumentState state_ = DocumentState::Idle;
    const PortHandle* owner_ = nullptr;
    bool turnTaken_ = false;
    bool closed_ = false;
    DocumentEnd endRequested_ = DocumentEnd::None;
    ProtocolHandler* handler_ = nullptr;
};

// The document's turn for one call, given back as the call returns.
class DocumentTurn {
  public:
    explicit DocumentTurn(PortDocument& document) : document_(&document) {}
    ~DocumentTurn() {
        if (document_ != nullptr) {
            document_->LeaveCall(next_);
        }
    }
    DocumentTurn(const DocumentTurn&) = delete;
    DocumentTurn& operator=(const DocumentTurn&) = delete;

    // The state the document is left in when the turn is given back.
    void LeaveIn(DocumentState next) { next_ = next; }

  private:
    PortDocument* document_;
    DocumentState next_ = DocumentState::Streaming;
};

} // namespace vela
