// The system-wide comm settings that port configuration screens edit, and the two
// spooler entries that act on a port's open device.
#pragma once

#include "core/MonitorState.h"

namespace vela {

constexpr wchar_t kWindowsSettingsKey[] =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows";
constexpr wchar_t kRetryTimeoutValue[] = L"TransmissionRetryTimeout";
constexpr DWORD kDefaultRetryTimeoutSeconds = 45;
// The COMMCONFIG record without provider data.
constexpr DWORD kCommConfigBytes = 52;

// Seconds from the system's "TransmissionRetryTimeout" text; 45 when it is
// missing, not a string, not a number or unreadable. Never cached.
DWORD ReadTransmissionRetryTimeout();
// Stores the text unchanged, as the spooler itself; 0 or a Win32 code.
DWORD WriteTransmissionRetryTimeout(LPCWSTR text);

// The platform's default comm configuration of a device such as COM1. A record
// under 52 bytes: ERROR_INSUFFICIENT_BUFFER with *needed 52.
DWORD ReadDefaultCommConfig(LPCWSTR device, LPCOMMCONFIG config, DWORD size, LPDWORD needed);
// Writes the default comm configuration of a port such as COM1: (the name must end
// with ':', which the device name lacks), as the spooler itself, with the size the
// record's own dwSize gives.
DWORD WriteDefaultCommConfig(LPCWSTR portName, LPCOMMCONFIG config);

// The monitor never opens a port's device itself, so both device entries refuse
// every call with ERROR_INVALID_PARAMETER.
BOOL MonitorSetPortTimeOuts(MonitorState& state, HANDLE port, LPCOMMTIMEOUTS timeouts,
                            DWORD reserved);
BOOL MonitorGetPrinterDataFromPort(MonitorState& state, HANDLE port, DWORD controlId,
                                   LPWSTR valueName, LPWSTR inBuffer, DWORD inSize,
                                   LPWSTR outBuffer, DWORD outSize, LPDWORD returned);

} // namespace vela
