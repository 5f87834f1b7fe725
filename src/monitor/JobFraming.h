// Reassembly of the job stream's records across the pieces the spooler cuts it
// into. It hands records to a sink and does no I/O of its own.
#pragma once

#include "VelaLib2/JobFlags.h"
#include "monitor/JobStream.h"

#include <cstdint>

namespace vela {

// Where framed records go.
class JobRecordSink {
  public:
    // count records in place; count when all went to the printer, 0 when refused.
    virtual int32_t SendCommands(const uint8_t* records, int32_t count) = 0;
    // The announced count has been sent.
    virtual void StartPrint() = 0;
    // The piece's own bytes after the header, as whole records and a remainder.
    virtual void PieceCounted(uint32_t records, uint32_t remainder) = 0;

  protected:
    ~JobRecordSink() = default;
};

// Frames one piece. A piece that should carry the header but holds fewer than
// four bytes is left alone: no header is read from beyond its end, and no
// counter or flag changes.
void FrameJobPiece(JobTransferState& job, JobFlags& flags, const uint8_t* bytes, uint32_t count,
                   JobRecordSink& sink);

} // namespace vela
