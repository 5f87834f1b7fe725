#include "monitor/PortLink.h"

#include "core/IntrusiveList.h"
#include "monitor/DocumentEnding.h"
#include "monitor/PortSession.h"
#include "platform/DiagnosticLog.h"

namespace vela {

UsbTransport& PortUsbLink(MonitorState& state, PortEntry* entry, UsbTransport& fallback) {
    PortSession* session = SessionOf(state, entry);
    return session != nullptr ? session->usb : fallback;
}

void EndPortDocumentsForShutdown(MonitorState& state, PortEntry* firstPort) {
    IntrusiveList<PortEntry> ports(firstPort);
    // Every port first: no new document starts, and each document in progress
    // hears at once that it is to end, so that they all end together.
    ports.ForEach([](PortEntry* entry) {
        if (entry->session != nullptr) {
            static_cast<PortSession*>(entry->session)->document.Close(DocumentEnd::Shutdown);
        }
    });
    ports.ForEach([&state](PortEntry* entry) {
        auto* session = static_cast<PortSession*>(entry->session);
        if (session == nullptr) {
            return;
        }
        PortDocument& document = session->document;
        switch (
            document.TakeOver(nullptr, DocumentEnd::Shutdown, TheProtocolTimings().stopWaitMs)) {
        case PortDocument::Takeover::Nothing:
            return;
        case PortDocument::Takeover::StillRunning:
            LogFormatted(LogTo::DebugLog,
                         "Shutdown: a call of the document on %ls did not return in time\r\n",
                         entry->name);
            return;
        case PortDocument::Takeover::Taken:
            break;
        }
        LogFormatted(LogTo::DebugLog, "Shutdown: the document in progress on %ls is ended\r\n",
                     entry->name);
        // Kept as ended for its handle: a later EndDocPort fails and touches nothing.
        DocumentTurn turn(document);
        turn.LeaveIn(DocumentState::Ended);
        EndPortDocument(state, entry, *session, DocumentEnd::Shutdown);
    });
}

} // namespace vela
