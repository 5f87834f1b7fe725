#include "monitor/EndDoc.h"

#include "monitor/DocumentEnding.h"
#include "monitor/PortSession.h"
#include "platform/DiagnosticLog.h"
#include "platform/Platform.h"

#include <utility>

namespace vela {
namespace {

void LogLocalTime() {
    SYSTEMTIME now{};
    CurrentPlatform().clock->GetLocalTime(&now);
    LogFormatted(LogTo::DebugLog, "%02u:%02u:%02u", static_cast<unsigned>(now.wHour) % 100u,
                 static_cast<unsigned>(now.wMinute) % 100u,
                 static_cast<unsigned>(now.wSecond) % 100u);
}

} // namespace

BOOL EndDocPort(MonitorState& state, HANDLE port) {
    LogLocalTime();
    Log(LogTo::DebugLog, "   End Doc port\r\n");
    PortHandle* handle = nullptr;
    PortSession* session = SessionForCall(state, port, &handle);
    if (session == nullptr) {
        return FALSE;
    }
    PortEntry* entry = handle->entry;
    PortDocument& document = session->document;
    // Nothing of this handle's to end: no printer is polled, aborted or reset.
    if (!document.EnterCall(handle)) {
        if (document.ForgetEnded(handle)) {
            // Ended already (Shutdown), and told the spooler so.
            ::SetLastError(ERROR_NOT_READY);
            return FALSE;
        }
        const bool startFailed = std::exchange(handle->startFailed, false);
        ::SetLastError(startFailed ? ERROR_NOT_READY : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BOOL printed = FALSE;
    DWORD error = 0;
    {
        DocumentTurn turn(document);
        turn.LeaveIn(DocumentState::Idle);
        printed = EndPortDocument(state, entry, *session, DocumentEnd::EndDocPort);
        error = ::GetLastError();
    }
    ::SetLastError(error);
    return printed;
}

} // namespace vela
