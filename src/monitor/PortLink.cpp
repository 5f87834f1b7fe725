#include "monitor/PortLink.h"

#include "core/IntrusiveList.h"
#include "monitor/PortSession.h"
#include "platform/DiagnosticLog.h"
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

void AbortPortDocuments(PortEntry* firstPort) {
    IntrusiveList<PortEntry>(firstPort).ForEach([](PortEntry* entry) {
        auto* session = static_cast<PortSession*>(entry->session);
        if ((entry->flags & kPortDocumentInProgress) == 0 || session == nullptr) {
            return;
        }
        LogFormatted(LogTo::DebugLog, "Shutdown: the document in progress on %ls is ended\r\n",
                     entry->name);
        if (!session->serialDocument) {
            AbortThrough(session->usb);
        } else if (session->serial != nullptr && session->serialStarted) {
            GivenUp watch;
            session->serial->EndDocument(watch);
        }
    });
}

} // namespace vela
