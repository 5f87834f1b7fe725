// How much of the document the printer has: where in the document's bytes the
// last line it acknowledged ends. The document thread notes each line it takes
// to send; acknowledgements come in the order the lines went, so the lines still
// out are always the newest taken.
#pragma once

#include "serial/StreamWindow.h"

#include <cstdint>

namespace vela {

class AcknowledgedBytes {
  public:
    // The next line taken, with its LineRecord::DocumentEnd() (0 for a line of
    // the thread's own, which leaves the document where it was).
    void Taken(uint64_t documentEnd) {
        reached_ = documentEnd > reached_ ? documentEnd : reached_;
        ends_[taken_ % kLines] = reached_;
        ++taken_;
    }

    // With the newest unacknowledged lines taken still out. Never goes back: a
    // resend request repeats lines the printer already had.
    uint64_t Through(uint64_t unacknowledged) {
        if (unacknowledged < taken_ && unacknowledged < kLines) {
            const uint64_t end = ends_[(taken_ - unacknowledged - 1) % kLines];
            done_ = end > done_ ? end : done_;
        }
        return done_;
    }

  private:
    // One line more than a window keeps: the last acknowledged line's end stays
    // while every kept line is out.
    static constexpr uint64_t kLines = StreamWindow::kKeptLines + 1;

    uint64_t ends_[kLines] = {};
    uint64_t taken_ = 0;
    uint64_t reached_ = 0;
    uint64_t done_ = 0;
};

} // namespace vela
