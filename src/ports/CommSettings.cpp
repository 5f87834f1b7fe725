#include "ports/CommSettings.h"

#include "core/Memory.h"
#include "platform/Platform.h"
#include "core/LastError.h"
#include "ports/PrinterSelf.h"
#include "core/ScopedMem.h"
#include "platform/RegistryKey.h"

#include <cwchar>

namespace vela {
namespace {

static_assert(sizeof(COMMCONFIG) == kCommConfigBytes, "COMMCONFIG layout");

// Room for four digits and a terminator; longer texts take a second query.
constexpr DWORD kFirstQueryBytes = 10;

// The data is followed by at least one spare character in its block. The text ends
// behind the last whole character of the data, which is the value's own
// terminator when it has one, and never outside the block however short or odd the
// data is.
bool ParseRetryTimeout(LPWSTR text, DWORD dataBytes, DWORD* seconds) {
    text[dataBytes / sizeof(WCHAR)] = L'\0';
    // The digits convert as "%lu" converts them, but with a defined result for a
    // number too large for 32 bits.
    wchar_t* end = text;
    const unsigned long value = std::wcstoul(text, &end, 10);
    if (end == text) {
        return false;
    }
    *seconds = static_cast<DWORD>(value);
    return true;
}

} // namespace

DWORD ReadTransmissionRetryTimeout() {
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsSettingsKey, 0, KEY_QUERY_VALUE, key.Put()) !=
        ERROR_SUCCESS) {
        return kDefaultRetryTimeoutSeconds;
    }
    DWORD size = kFirstQueryBytes;
    auto data = AllocScoped<BYTE>(size + sizeof(WCHAR));
    if (!data.Valid()) {
        return kDefaultRetryTimeoutSeconds;
    }
    DWORD type = REG_NONE;
    LSTATUS status =
        ::RegQueryValueExW(key.Get(), kRetryTimeoutValue, nullptr, &type, data.Get(), &size);
    if (status == ERROR_MORE_DATA) {
        data.Reset();
        data = AllocScoped<BYTE>(static_cast<SIZE_T>(size) + sizeof(WCHAR));
        if (!data.Valid()) {
            return kDefaultRetryTimeoutSeconds;
        }
        status =
            ::RegQueryValueExW(key.Get(), kRetryTimeoutValue, nullptr, &type, data.Get(), &size);
    }
    DWORD seconds = kDefaultRetryTimeoutSeconds;
    if (status != ERROR_SUCCESS || type != REG_SZ ||
        !ParseRetryTimeout(reinterpret_cast<LPWSTR>(data.Get()), size, &seconds)) {
        return kDefaultRetryTimeoutSeconds;
    }
    return seconds;
}

DWORD WriteTransmissionRetryTimeout(LPCWSTR text) {
    if (text == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    PrinterSelf self;
    if (!self.Reverted()) {
        return LastErrorOr(ERROR_ACCESS_DENIED);
    }
    UniqueRegKey key;
    LSTATUS status =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsSettingsKey, 0, KEY_SET_VALUE, key.Put());
    if (status == ERROR_SUCCESS) {
        const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(WCHAR));
        status = ::RegSetValueExW(key.Get(), kRetryTimeoutValue, 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(text), bytes);
    }
    return static_cast<DWORD>(status);
}

DWORD ReadDefaultCommConfig(LPCWSTR device, LPCOMMCONFIG config, DWORD size, LPDWORD needed) {
    if (needed == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (size < kCommConfigBytes) {
        *needed = kCommConfigBytes;
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (device == nullptr || config == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    config->dwProviderSubType = PST_RS232;
    *needed = size;
    if (!CurrentPlatform().commConfig->GetDefaultCommConfigW(device, config, needed)) {
        return LastErrorOr(ERROR_GEN_FAILURE);
    }
    return ERROR_SUCCESS;
}

DWORD WriteDefaultCommConfig(LPCWSTR portName, LPCOMMCONFIG config) {
    if (portName == nullptr || config == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const size_t length = std::wcslen(portName);
    if (length == 0 || portName[length - 1] != L':') {
        return ERROR_INVALID_PARAMETER;
    }
    ScopedMem<WCHAR> device(AllocString(portName));
    if (!device.Valid()) {
        return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    }
    device.Get()[length - 1] = L'\0';
    PrinterSelf self;
    if (!self.Reverted()) {
        return LastErrorOr(ERROR_ACCESS_DENIED);
    }
    // The code is taken before the client is impersonated again.
    if (!CurrentPlatform().commConfig->SetDefaultCommConfigW(device.Get(), config,
                                                             config->dwSize)) {
        return LastErrorOr(ERROR_GEN_FAILURE);
    }
    return ERROR_SUCCESS;
}

BOOL MonitorSetPortTimeOuts(MonitorState& /*state*/, HANDLE /*port*/, LPCOMMTIMEOUTS /*timeouts*/,
                            DWORD /*reserved*/) {
    // Job data reaches the printer over WinUSB or through the protocol handler's own
    // serial device; a port's device handle is never opened, so there is nothing
    // to apply the time-outs to, whatever the reserved argument.
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL MonitorGetPrinterDataFromPort(MonitorState& /*state*/, HANDLE /*port*/, DWORD /*controlId*/,
                                   LPWSTR /*valueName*/, LPWSTR /*inBuffer*/, DWORD /*inSize*/,
                                   LPWSTR /*outBuffer*/, DWORD /*outSize*/, LPDWORD returned) {
    if (returned != nullptr) {
        *returned = 0;
    }
    // No port device is ever open, so no device control request can be sent.
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

} // namespace vela
