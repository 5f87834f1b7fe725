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

// Why a document ended as it did, in words for the log.
std::string DescribeOutcome(const DocumentProgress& progress);

void WriteSerialWriteFailure(const PortEntry* entry, DWORD error, const DocumentProgress& progress);

} // namespace vela
