// The message box that asks the interactive user to remove the printed model.
#pragma once

#include "core/MonitorState.h"
#include "ports/PortList.h"

namespace vela {

extern const wchar_t kRemoveModelTitle[];
extern const wchar_t kRemoveModelMessage[];

// Shows the box in the user's session through the spooler and waits until it is
// closed. The result of SplPromptUIInUsersSession, or 0 when no box was shown.
BOOL PromptRemoveModel(MonitorState& state, LPCWSTR printerName, DWORD jobId, LPCWSTR title,
                       LPCWSTR message);

} // namespace vela
