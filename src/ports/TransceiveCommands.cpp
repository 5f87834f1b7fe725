#include "ports/TransceiveCommands.h"

#include "platform/Handles.h"
#include "core/PortSettingsLayout.h"
#include "ports/CommSettings.h"
#include "ports/PortAdd.h"
#include "ports/PortEnumeration.h"
#include "ports/PortList.h"
#include "ports/PortSettingsStore.h"
#include "ports/XcvInput.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace vela {
namespace {

// The input as a text that ends within its stated size, or none.
LPCWSTR InputText(const XcvRequest& request) {
    if (TerminatedTextLength(request.input, request.inputSize) == kNoTerminator) {
        return nullptr;
    }
    return reinterpret_cast<LPCWSTR>(request.input);
}

// Announces the output size and checks the caller's buffer against it.
DWORD CheckOutput(const XcvRequest& request, DWORD bytes) {
    *request.needed = bytes;
    if (request.output == nullptr && request.outputSize != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    if (request.outputSize < bytes) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    return ERROR_SUCCESS;
}

DWORD WriteOutput(const XcvRequest& request, const void* data, DWORD bytes) {
    const DWORD checked = CheckOutput(request, bytes);
    if (checked == ERROR_SUCCESS) {
        std::memcpy(request.output, data, bytes);
    }
    return checked;
}

bool IsListedPort(const XcvRequest& request, LPCWSTR name) {
    CriticalSectionLock guard(request.state.lock);
    return request.handle.monitor != nullptr &&
           FindPortEntry(request.handle.monitor->firstPort, name) != nullptr;
}

// ERROR_SUCCESS when the port's value names a serial device. A USB printer's port
// has an empty value, or none for an attached printer's, and prints as USB when
// the value is not text either: ERROR_NOT_SUPPORTED for those; else the registry's
// code.
DWORD CheckSerialPort(MonitorState& state, LPCWSTR name) {
    DWORD size = 0;
    DWORD result = QueryPortValue(state, name, nullptr, &size);
    std::vector<WCHAR> device;
    if (result == ERROR_SUCCESS) {
        device.assign(size / sizeof(WCHAR) + 1, L'\0');
        result = QueryPortValue(state, name, reinterpret_cast<LPBYTE>(device.data()), &size);
    }
    if (result == ERROR_FILE_NOT_FOUND || result == ERROR_INVALID_DATA ||
        (result == ERROR_SUCCESS && device[0] == L'\0')) {
        return ERROR_NOT_SUPPORTED;
    }
    return result;
}

} // namespace

DWORD XcvMonitorUi(const XcvRequest& request) {
    return WriteOutput(request, kMonitorUiLibrary, sizeof(kMonitorUiLibrary));
}

DWORD XcvConfigureLptPortCommandOk(const XcvRequest& request) {
    LPCWSTR text = InputText(request);
    if (text == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return WriteTransmissionRetryTimeout(text);
}

DWORD XcvAddPort(const XcvRequest& request) {
    // The size must count the name and its terminator exactly.
    const DWORD length = TerminatedTextLength(request.input, request.inputSize);
    if (request.inputSize == 0 || length == kNoTerminator ||
        request.inputSize != (length + 1) * sizeof(WCHAR)) {
        return ERROR_INVALID_PARAMETER;
    }
    return AddNewPort(request.state, request.handle.monitor, nullptr,
                      reinterpret_cast<LPCWSTR>(request.input), ERROR_ALREADY_EXISTS);
}

DWORD XcvDeletePort(const XcvRequest& request) {
    LPCWSTR name = InputText(request);
    if (name == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    // One lock over both steps, so the list and "Ports" change together.
    CriticalSectionLock guard(request.state.lock);
    PortEntry* entry = request.handle.monitor != nullptr
                           ? FindPortEntry(request.handle.monitor->firstPort, name)
                           : nullptr;
    if (entry == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    // The spooler holds the entry as its port handle from OpenPort to ClosePort:
    // freeing it meanwhile would leave the job path with a dangling port.
    if (IsPortEntryInUse(*entry)) {
        return ERROR_BUSY;
    }
    DeletePortEntry(request.handle.monitor, name);
    DeleteRegisteredPort(request.state, name);
    // A port added later under the name starts afresh.
    DeletePortSettings(request.state, name);
    return ERROR_SUCCESS;
}

DWORD XcvPortExists(const XcvRequest& request) {
    LPCWSTR name = InputText(request);
    if (name == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const DWORD checked = CheckOutput(request, sizeof(DWORD));
    if (checked != ERROR_SUCCESS) {
        return checked;
    }
    // Asked without the monitor lock: the spooler may enumerate this monitor.
    const DWORD exists = IsPortKnownToSpooler(nullptr, name) ? 1 : 0;
    return WriteOutput(request, &exists, sizeof(exists));
}

DWORD XcvPortIsValid(const XcvRequest& /*request*/) {
    return ERROR_SUCCESS;
}

DWORD XcvGetTransmissionRetryTimeout(const XcvRequest& request) {
    const DWORD checked = CheckOutput(request, sizeof(DWORD));
    if (checked != ERROR_SUCCESS) {
        return checked;
    }
    const DWORD seconds = ReadTransmissionRetryTimeout();
    return WriteOutput(request, &seconds, sizeof(seconds));
}

DWORD XcvSetDefaultCommConfig(const XcvRequest& request) {
    if (request.input == nullptr || request.inputSize < kCommConfigBytes) {
        return ERROR_INVALID_PARAMETER;
    }
    DWORD recordSize = 0;
    std::memcpy(&recordSize, request.input + offsetof(COMMCONFIG, dwSize), sizeof(recordSize));
    if (request.inputSize < recordSize) {
        return ERROR_INVALID_PARAMETER;
    }
    return WriteDefaultCommConfig(request.handle.objectName,
                                  reinterpret_cast<LPCOMMCONFIG>(request.input));
}

DWORD XcvGetDefaultCommConfig(const XcvRequest& request) {
    LPCWSTR device = InputText(request);
    if (device == nullptr || (request.output == nullptr && request.outputSize != 0)) {
        return ERROR_INVALID_PARAMETER;
    }
    return ReadDefaultCommConfig(device, reinterpret_cast<LPCOMMCONFIG>(request.output),
                                 request.outputSize, request.needed);
}

DWORD XcvGetPortSettings(const XcvRequest& request) {
    std::wstring name;
    if (!DecodePortName(request.input, request.inputSize, &name)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!IsListedPort(request, name.c_str())) {
        return ERROR_FILE_NOT_FOUND;
    }
    const std::vector<uint8_t> layout =
        EncodePortSettings(ReadPortSettings(request.state, name.c_str()));
    return WriteOutput(request, layout.data(), static_cast<DWORD>(layout.size()));
}

DWORD XcvSetPortSettings(const XcvRequest& request) {
    std::wstring name;
    PortSettingsChange change;
    switch (DecodeSettingsChange(request.input, request.inputSize, &name, &change)) {
    case LayoutResult::Ok:
        break;
    case LayoutResult::BadValue:
        return ERROR_INVALID_DATA;
    default:
        return ERROR_INVALID_PARAMETER;
    }
    // One lock over both steps: a port deleted meanwhile would keep settings of a
    // name it no longer has.
    CriticalSectionLock guard(request.state.lock);
    if (!IsListedPort(request, name.c_str())) {
        return ERROR_FILE_NOT_FOUND;
    }
    // The settings are the serial line's: a USB printer would never use them.
    const DWORD serial = CheckSerialPort(request.state, name.c_str());
    if (serial != ERROR_SUCCESS) {
        return serial;
    }
    return WritePortSettings(request.state, name.c_str(), change);
}

} // namespace vela
