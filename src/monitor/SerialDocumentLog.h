// How a serial document's spooler side watches the job and reports to the debug
// log while it waits for the printer.
#pragma once

#include "monitor/PortDocument.h"
#include "ports/PortList.h"
#include "serial/ProtocolHandler.h"

#include <string>

namespace vela {

// The spooler job behind the port's document: deleted or restarted means cancel,
// and so does an end asked for by ClosePort or Shutdown.
// Progress reaches the job's status and, every 5 s, the debug log.
class SpoolerJobWatch final : public DocumentWatch {
  public:
    SpoolerJobWatch(const PortEntry* entry, PortDocument& document);
    bool JobCancelled() override;
    void Progress(const DocumentProgress& progress) override;

  private:
    const PortEntry* entry_;
    PortDocument& document_;
    unsigned long long lastLogAt_;
};

// The document thread's look at the job: paused or not, the progress shown. Let
// go at the document's end, after which it touches nothing.
class SpoolerJobProbe final : public JobStateProbe {
  public:
    explicit SpoolerJobProbe(PortDocument& document);
    ~SpoolerJobProbe() override;
    SpoolerJobProbe(const SpoolerJobProbe&) = delete;
    SpoolerJobProbe& operator=(const SpoolerJobProbe&) = delete;

    JobState Look(const DocumentProgress& progress) override;
    void Detach() override;

  private:
    CRITICAL_SECTION lock_;
    PortDocument* document_;
};

// The user cancelled on the printer: the job's status says so and the spooler's
// job is ended (deleted), once a document.
void EndJobCancelledOnPrinter(const PortEntry* entry, PortDocument& document);

// Why a document ended as it did, in words for the log.
std::string DescribeOutcome(const DocumentProgress& progress);

void WriteSerialWriteFailure(const PortEntry* entry, DWORD error, const DocumentProgress& progress);

} // namespace vela
