// How the printer device learns, while it waits for the printer, that the
// document's spooler job was deleted. The job path supplies it per document.
#pragma once

namespace vela {

class JobCancellation {
  public:
    // True when the document was cancelled: the print is to be aborted.
    virtual bool JobCancelled() = 0;

  protected:
    ~JobCancellation() = default;
};

} // namespace vela
