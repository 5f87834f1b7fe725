#include "monitor/PortLink.h"

#include "core/IntrusiveList.h"
#include "monitor/PortSession.h"
#include "platform/DiagnosticLog.h"
#include "platform/Handles.h"
#include "usb/PrinterDevice.h"

namespace vela {
namespace {

void AbortThrough(UsbTransport& link) {
    PrinterDevice device(link);
    device.AbortPrint();
    link.CloseDevice();
}

// The document is given up as when its job is deleted while EndDocPort waits:
// at the first look, the queued lines go and the cancel lines follow.
class GivenUp final : public DocumentWatch {
  public:
    bool JobCancelled() override { return true; }
    void Progress(const DocumentProgress& /*progress*/) override {}
};

} // namespace

UsbTransport& PortUsbLink(MonitorState& state, PortEntry* entry, UsbTransport& fallback) {
    PortSession* session = SessionOf(state, entry);
    return session != nullptr ? session->usb : fallback;
}

void AbortPortDocuments(MonitorState& state, PortEntry* firstPort) {
    IntrusiveList<PortEntry>(firstPort).ForEach([&state](PortEntry* entry) {
        auto* session = static_cast<PortSession*>(entry->session);
        bool inFlight = false;
        {
            CriticalSectionLock guard(state.lock);
            if ((entry->flags & kPortDocumentInProgress) == 0 || session == nullptr) {
                return;
            }
            inFlight = session->callsInFlight > 0;
        }
        LogFormatted(LogTo::DebugLog, "Shutdown: the document in progress on %ls is ended\r\n",
                     entry->name);
        ::InterlockedExchange(&session->shutdownRequested, 1);
        CriticalSectionLock serialGuard(session->serialLock);
        if (!session->serialDocument) {
            // A call of the document still talks to the printer: it aborts the
            // print itself at its next look at the job.
            if (!inFlight) {
                AbortThrough(session->usb);
            }
        } else if (session->serial != nullptr && session->serialStarted) {
            if (inFlight) {
                // The call waiting on the handler sees the cancel and ends it.
                session->serial->Cancel();
            } else {
                GivenUp watch;
                session->serial->EndDocument(watch);
            }
        }
    });
}

} // namespace vela
