// The transceive commands, one function each. The dispatcher has already checked
// the administer right of the commands that need it.
#pragma once

#include "core/MonitorState.h"
#include "ports/Transceive.h"

namespace vela {

struct XcvRequest {
    MonitorState& state;
    const XcvHandle& handle;
    PBYTE input;
    DWORD inputSize;
    PBYTE output;
    DWORD outputSize;
    PDWORD needed; // never null
};

constexpr wchar_t kMonitorUiLibrary[] = L"Vela3dpPrintMonitorUI.dll";

DWORD XcvMonitorUi(const XcvRequest& request);
DWORD XcvConfigureLptPortCommandOk(const XcvRequest& request);
DWORD XcvAddPort(const XcvRequest& request);
DWORD XcvDeletePort(const XcvRequest& request);
DWORD XcvPortExists(const XcvRequest& request);
DWORD XcvPortIsValid(const XcvRequest& request);
DWORD XcvGetTransmissionRetryTimeout(const XcvRequest& request);
DWORD XcvSetDefaultCommConfig(const XcvRequest& request);
DWORD XcvGetDefaultCommConfig(const XcvRequest& request);
// A port's settings in the layout of core/PortSettingsLayout.h.
DWORD XcvGetPortSettings(const XcvRequest& request);
// ERROR_NOT_SUPPORTED, with nothing written, for a port that is not a serial
// printer's.
DWORD XcvSetPortSettings(const XcvRequest& request);

} // namespace vela
