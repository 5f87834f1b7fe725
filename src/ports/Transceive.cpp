#include "ports/Transceive.h"

#include "core/IntrusiveList.h"
#include "core/Memory.h"
#include "platform/Handles.h"
#include "ports/TransceiveCommands.h"

#include <cstring>
#include <cwchar>

namespace vela {
namespace {

struct XcvCommand {
    const wchar_t* name;
    bool needsAdminister;
    DWORD (*run)(const XcvRequest&);
};

// Matched in this order, exactly and case-sensitively.
constexpr XcvCommand kCommands[] = {
    {L"MonitorUI", false, XcvMonitorUi},
    {L"ConfigureLPTPortCommandOK", true, XcvConfigureLptPortCommandOk},
    {L"AddPort", true, XcvAddPort},
    {L"DeletePort", true, XcvDeletePort},
    {L"PortExists", false, XcvPortExists},
    {L"PortIsValid", false, XcvPortIsValid},
    {L"GetTransmissionRetryTimeout", false, XcvGetTransmissionRetryTimeout},
    {L"SetDefaultCommConfig", true, XcvSetDefaultCommConfig},
    {L"GetDefaultCommConfig", false, XcvGetDefaultCommConfig},
    {L"GetPortSettings", false, XcvGetPortSettings},
    {L"SetPortSettings", true, XcvSetPortSettings},
};

// The context's open transceive handles. Callers hold the lock or own the
// context alone.
IntrusiveList<XcvHandle> XcvHandlesOf(MonitorContext& context) {
    return IntrusiveList<XcvHandle>(context.firstXcvHandle);
}

// A call that still comes with the freed handle then fails its signature check.
void FreeXcvHandle(XcvHandle* handle) {
    if (handle != nullptr) {
        handle->signature = 0;
        FreeMem(handle);
    }
}

} // namespace

BOOL MonitorXcvOpenPort(MonitorState& state, HANDLE monitor, LPCWSTR object,
                        ACCESS_MASK grantedAccess, PHANDLE xcv) {
    auto* context = static_cast<MonitorContext*>(monitor);
    if (xcv == nullptr || context == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *xcv = nullptr;
    // A monitor-level open names no object.
    const wchar_t* name = object != nullptr ? object : L"";
    const size_t nameBytes = (std::wcslen(name) + 1) * sizeof(WCHAR);
    const SIZE_T size = sizeof(XcvHandle) + nameBytes;
    auto* handle = static_cast<XcvHandle*>(AllocMem(size));
    if (handle == nullptr) {
        return FALSE;
    }
    handle->objectName = reinterpret_cast<LPWSTR>(handle + 1);
    std::memcpy(handle->objectName, name, nameBytes);
    handle->recordSize = static_cast<DWORD>(size);
    handle->signature = kXcvHandleSignature;
    handle->grantedAccess = grantedAccess;
    handle->monitor = context;
    {
        CriticalSectionLock guard(state.lock);
        XcvHandlesOf(*context).Append(handle);
    }
    *xcv = handle;
    return TRUE;
}

DWORD MonitorXcvDataPort(MonitorState& state, HANDLE xcv, LPCWSTR command, PBYTE input,
                         DWORD inputSize, PBYTE output, DWORD outputSize, PDWORD needed) {
    if (needed == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *needed = 0;
    const auto* handle = static_cast<const XcvHandle*>(xcv);
    // Nothing of a record that is not an open transceive handle is read further.
    if (!IsXcvHandle(handle)) {
        return ERROR_INVALID_HANDLE;
    }
    if (command == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    for (const XcvCommand& candidate : kCommands) {
        if (std::wcscmp(candidate.name, command) != 0) {
            continue;
        }
        // The right is checked before anything else, malformed input included.
        if (candidate.needsAdminister && (handle->grantedAccess & SERVER_ACCESS_ADMINISTER) == 0) {
            return ERROR_ACCESS_DENIED;
        }
        const XcvRequest request{state, *handle, input, inputSize, output, outputSize, needed};
        return candidate.run(request);
    }
    return ERROR_INVALID_PARAMETER;
}

BOOL MonitorXcvClosePort(MonitorState& state, HANDLE xcv) {
    CriticalSectionLock guard(state.lock);
    // Looked up by identity alone: a handle closed twice is not read or freed again.
    MonitorContext* context = state.context;
    if (context == nullptr || xcv == nullptr) {
        return TRUE;
    }
    FreeXcvHandle(
        XcvHandlesOf(*context).Unlink([xcv](const XcvHandle* open) { return open == xcv; }));
    return TRUE;
}

void ReleaseXcvHandles(MonitorContext* context) {
    if (context == nullptr) {
        return;
    }
    XcvHandlesOf(*context).ReleaseAll(FreeXcvHandle);
}

} // namespace vela
