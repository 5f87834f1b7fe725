#include "monitor/TransferOutcome.h"

namespace vela {

TransferOutcome SettleTransfer(const JobTransferState& transfer, const JobFlags& flags) {
    if (transfer.sentCount == transfer.announcedCount) {
        if (transfer.sentCount < 1) {
            return TransferOutcome::LeftAsIs;
        }
        return flags.printStarted != 0 ? TransferOutcome::Complete : TransferOutcome::Reset;
    }
    if (flags.sendingDisabled != 0 && flags.transferFailed == 0) {
        return TransferOutcome::LeftAsIs;
    }
    return TransferOutcome::Reset;
}

bool SerialDocumentReachedPrinter(const DocumentProgress& progress, bool testPage) {
    return !testPage && progress.outcome == DocumentOutcome::Completed && progress.reachedPrinter;
}

} // namespace vela
