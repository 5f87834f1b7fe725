// The protocol handler of one serial port: the port's outgoing line queue, its
// device (kept open across documents) and, while a document runs, a thread that
// streams the queued lines to the firmware. The spooler's threads feed it through
// BeginDocument, Write and EndDocument; ClosePort stops it.
#pragma once

#include "serial/DocumentControl.h"

#include <memory>
#include <string>
#include <vector>

namespace vela {

// What the spooler's side asks of the job while it waits for the printer.
class DocumentWatch {
  public:
    virtual ~DocumentWatch() = default;
    // True once the spooler job has been deleted or restarted.
    virtual bool JobCancelled() = 0;
    // Called about once a second while EndDocument, or a Write short of room, waits.
    virtual void Progress(const DocumentProgress& progress) = 0;
};

class ProtocolHandler {
  public:
    ProtocolHandler(std::wstring devicePath, const ProtocolTimings& timings);
    // Stops the thread (bounded). A thread that does not end keeps what it uses.
    ~ProtocolHandler();
    ProtocolHandler(const ProtocolHandler&) = delete;
    ProtocolHandler& operator=(const ProtocolHandler&) = delete;

    const std::wstring& DevicePath() const;

    // Opens and configures the device unless it is open (at the first speed to
    // try; an open device is set up again when that changed), starts the
    // document's thread with an empty queue and waits for the firmware's
    // handshake, which on automatic tries one speed after another, giving up when
    // the watch says the job went. 0, or the device's error (ERROR_FILE_NOT_FOUND,
    // ERROR_ACCESS_DENIED, ...), or ERROR_NOT_READY when the firmware does not
    // answer (or the wait was given up); nothing stays half-open. Progress() then
    // says the speed found, or the speeds tried. The pauses' probe is looked at
    // from the document thread while the document streams.
    DWORD BeginDocument(std::vector<std::string> cancelLines, StreamWindowSetting window,
                        LineSpeed speed, DocumentPauses pauses, DocumentWatch& watch);

    // Queues the bytes as lines, waiting while the queue holds more than its
    // high-water mark. *queued receives the bytes whose lines were queued. 0,
    // ERROR_PRINT_CANCELLED (the job was deleted: the document is cancelled) or
    // ERROR_NOT_READY (the document has failed or ended).
    DWORD Write(const BYTE* bytes, DWORD count, DWORD* queued, DocumentWatch& watch);

    // Queues the last line without its end, asks the thread to finish with "M400"
    // and waits until the document has its outcome, cancelling it when the job is
    // deleted meanwhile.
    DocumentProgress EndDocument(DocumentWatch& watch);

    // Ends the document early: the queue and the partial line the spooler's
    // bytes left go, no final "M400", the cancel lines where any of its lines
    // went out; waits until the thread has ended.
    DocumentProgress AbandonDocument(DocumentWatch& watch);

    // Clears the queue and ends the document with the cancel lines (during the
    // greeting: without them). Safe from any thread while the handler lives.
    void Cancel();

    // What the running (or last) document has reached.
    DocumentProgress Progress() const;

    // Ends a running document at once (the queue is cleared, a line being written
    // is finished), then closes the device. True when the thread has ended.
    bool Stop();

  private:
    // Waits until the document thread has ended, cancelling the document when
    // the watch says the job went.
    DocumentProgress AwaitOutcome(DocumentWatch& watch, bool cancelled);
    // Asks a running document thread to end and waits for it (bounded).
    bool EndThread();
    bool WaitForThread(DWORD milliseconds);
    void ForgetThread();

    std::shared_ptr<DocumentControl> control_;
};

} // namespace vela
