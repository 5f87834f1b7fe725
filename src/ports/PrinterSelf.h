// Runs a stretch of code as the spooler itself rather than as the client the
// spooler thread is impersonating, and goes back to the client afterwards.
#pragma once

#include "platform/Platform.h"

namespace vela {

class PrinterSelf {
  public:
    PrinterSelf() : token_(CurrentPlatform().spoolerHelpers->RevertToPrinterSelf()) {}
    ~PrinterSelf() {
        if (token_ != nullptr) {
            CurrentPlatform().spoolerHelpers->ImpersonatePrinterClient(token_);
        }
    }
    PrinterSelf(const PrinterSelf&) = delete;
    PrinterSelf& operator=(const PrinterSelf&) = delete;

    // False when the spooler's own identity could not be taken; the thread's last
    // error says why.
    bool Reverted() const { return token_ != nullptr; }

  private:
    HANDLE token_;
};

} // namespace vela
