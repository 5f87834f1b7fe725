// The line settings the handler puts on the serial device before it streams.
#pragma once

#include "platform/Win32Headers.h"

namespace vela {

constexpr DWORD kHandlerBaudRate = 250000;
constexpr DWORD kReadIntervalTimeoutMs = 1;

// Changes the fields the handler depends on, the speed to baudRate; every other
// field keeps its value.
void ApplyHandlerLineSettings(DCB& dcb, DWORD baudRate = kHandlerBaudRate);
void ApplyHandlerTimeouts(COMMTIMEOUTS& timeouts);

// Reads, changes and writes back the device's state and time-outs. False when the
// device refuses them (the result of reading the state is not relied on).
bool ConfigureSerialDevice(HANDLE device, DWORD baudRate);

} // namespace vela
