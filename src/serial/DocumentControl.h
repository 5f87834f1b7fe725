// What the spooler's threads and a serial port's document thread share: the
// device, the outgoing lines, the requests going one way and the progress going
// the other. Kept alive by whoever still uses it, so that a thread that outlives
// its port never touches freed memory.
#pragma once

#include "platform/Handles.h"
#include "serial/LineQueue.h"
#include "serial/RateSearch.h"
#include "serial/ReplyParsing.h"
#include "serial/SendState.h"
#include "serial/SerialChannels.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vela {

struct ProtocolTimings {
    // ClosePort's wait for the document thread to end.
    DWORD stopWaitMs = 60000;
    // A line being written when the port closes is finished first, this long at most.
    DWORD writeFinishMs = 2000;
    // On cancel, the line in flight may still be acknowledged within this time.
    DWORD cancelOkWaitMs = 10000;
    // How often a waiting spooler thread looks at the spooler job.
    DWORD watchIntervalMs = 1000;
    // WritePort waits while the queued lines hold more bytes than this.
    uint64_t highWaterBytes = 64 * 1024;
    // On automatic, each speed's greeting round.
    DWORD rateRoundMs = kRateRoundMs;
    SendTimings send;
};

// The timings new handlers take; tests change them.
ProtocolTimings& TheProtocolTimings();

// How a port streams: a window of lines of at most bytes, or (0) one line in
// flight. Only the port's own setting opens a window, never the firmware's
// replies: a line sent ahead of its "ok" can run twice, or damaged, when a line
// before it is corrupted on the way.
struct StreamWindowSetting {
    uint32_t bytes = 0;
};

// The speed a port is set to (0: automatic), and on automatic the speed its
// printer answered at last (0: none yet), tried first.
struct LineSpeed {
    uint32_t fixed = 0;
    uint32_t remembered = 0;
};

enum class DocumentOutcome {
    None, // no document has run
    Running,
    Completed, // every line acknowledged, the final "M400" included
    Cancelled, // the cancel lines went out
    Failed,    // see failure and deviceLost
    Stopped,   // the port closed in the middle of the document
};

enum class DocumentPause {
    None,
    Queue,   // the spooler's job is paused
    Printer, // the user paused on the printer's screen
};

struct DocumentProgress {
    DocumentOutcome outcome = DocumentOutcome::None;
    SendFailure failure = SendFailure::None;
    // The device failed (unplugged): it has been closed.
    bool deviceLost = false;
    // A write stayed outstanding past the greeting's limit (the device takes no
    // bytes: flow control held, an adapter half gone); the device is closed.
    bool writeStuck = false;
    // Lines of the document left out because they could not be sent whole.
    uint64_t linesSkipped = 0;
    int64_t failureLine = 0;
    // The number of the line last sent, and lines of the document acknowledged.
    int32_t lineNumber = 0;
    uint64_t linesAcknowledged = 0;
    // Where the last document line acknowledged ends in the document's bytes.
    uint64_t bytesDone = 0;
    // The final "M400" is out: the printer finishes its moves.
    bool finishing = false;
    // The firmware acknowledged the document's last line and then the final
    // "M400" with an "ok" of its own: the print reached the printer and its moves
    // are done. A document without a line of its own never reaches it.
    bool reachedPrinter = false;
    // The line number reached when the document was cancelled.
    int32_t cancelledAtLine = 0;
    // The user cancelled on the printer's screen.
    bool cancelledOnPrinter = false;
    // New lines are held, since the line number pausedAtLine.
    DocumentPause paused = DocumentPause::None;
    int32_t pausedAtLine = 0;
    // The firmware's latest temperature report in this document.
    TemperatureReading temperatures;
    // The firmware's "M115" answer came in this document (once a connection).
    bool firmwareNamed = false;
    FirmwareIdentity firmware;
    // The speed the printer answered the greeting at (0: it has not), and the
    // speeds tried.
    uint32_t baudRate = 0;
    RatesTried ratesTried;
    // Lines went out in a window; it shrank to one line after repeated resend requests.
    bool windowed = false;
    bool windowFellBack = false;
};

enum class JobState { Going, Paused, Cancelled };

// Looked at by the document thread about once a second: whether the spooler's
// job goes on, is paused or was deleted. It is also where the progress is shown
// while no spooler thread is in the monitor (a paused job's spooler waits
// outside it).
class JobStateProbe {
  public:
    virtual ~JobStateProbe() = default;
    virtual JobState Look(const DocumentProgress& progress) = 0;
    // At the document's end, before what the probe looks at goes: from then on
    // it touches nothing.
    virtual void Detach() = 0;
};

// A pause's and a resume's lines, and the probe that says when (none: the
// document is not paused from the queue).
struct DocumentPauses {
    std::vector<std::string> pauseLines;
    std::vector<std::string> resumeLines;
    std::shared_ptr<JobStateProbe> probe;
};

struct DocumentControl {
    DocumentControl(std::wstring path, const ProtocolTimings& handlerTimings);
    ~DocumentControl();
    DocumentControl(const DocumentControl&) = delete;
    DocumentControl& operator=(const DocumentControl&) = delete;

    const std::wstring devicePath;
    const ProtocolTimings timings;
    // Used by the document thread while it runs, by the spooler's side otherwise.
    SerialChannels channels;
    // The speed the open device was set up at (0: not set up).
    DWORD configuredBaudRate = 0;
    // Of the open device: a greeting with "M115" was answered, and what it told.
    bool identityAsked = false;
    FirmwareIdentity identity;
    LineQueue outgoing;
    // Auto-reset: something for the document thread to look at.
    UniqueHandle wake;
    // Auto-reset: the queue has room again for a waiting WritePort, or the
    // document has its outcome.
    UniqueHandle progressed;
    // Manual-reset: the firmware answered the handshake.
    UniqueHandle handshaken;
    UniqueHandle thread;

    // Guards the fields below.
    CRITICAL_SECTION lock;
    bool endRequested = false;
    bool cancelRequested = false;
    bool stopRequested = false;
    // WritePort waits for room: only then does the thread signal each line.
    bool writerWaiting = false;
    std::vector<std::string> cancelLines;
    StreamWindowSetting streamWindow;
    LineSpeed speed;
    DocumentPauses pauses;
    DocumentProgress progress;
};

// The document thread's routine: takes a heap std::shared_ptr<DocumentControl>.
DWORD WINAPI ProtocolDocumentThread(LPVOID parameter);

} // namespace vela
