// How the printer device learns, while it waits for the printer, that the
// document's spooler job was deleted. The job path supplies it per document.
#pragma once

namespace vela {

class JobCancellation {
  public:
    // True when the document was cancelled: the print is to be aborted.
    virtual bool JobCancelled() = 0;
    // True when the document is to end at once (the port closes, the monitor
    // stops): asked before every batch, so it must be cheap. The transfer stops
    // and the document's end settles the printer.
    virtual bool StopRequested() { return false; }

  protected:
    ~JobCancellation() = default;
};

} // namespace vela
