// Reassembly of the job stream's records across the pieces the spooler cuts it
// into. It hands records to a sink and does no I/O of its own.
#pragma once

#include "usb/JobFlags.h"
#include "monitor/WritePort.h"

#include <cstdint>

namespace vela {

// Where framed records go.
class JobRecordSink {
  public:
    // count records in place; count when all went to the printer, 0 when refused.
    virtual int32_t SendCommands(const uint8_t* records, int32_t count) = 0;
    // The announced count has been sent; whether the printer started the print.
    virtual bool StartPrint() = 0;
    // The piece's own bytes after the header, as whole records and a remainder.
    virtual void PieceCounted(uint32_t records, uint32_t remainder) = 0;
    // The header announces no records (announced below 1): nothing of the
    // document goes to the printer. Told once per document.
    virtual void NothingAnnounced(int32_t announced) = 0;

  protected:
    ~JobRecordSink() = default;
};

// Frames one piece. Header bytes are gathered across pieces as record bytes are:
// a piece too short to complete the header is kept, and nothing else changes.
// The print is started once per document, and only for a document that announced
// records: a printer told to start with nothing new runs the program it holds
// from before. A refused start fails the transfer.
void FrameJobPiece(JobTransferState& job, JobFlags& flags, const uint8_t* bytes, uint32_t count,
                   JobRecordSink& sink);

} // namespace vela
