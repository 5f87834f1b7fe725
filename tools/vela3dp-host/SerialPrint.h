// "print FILE.gcode --serial COMn": G-code streamed through the monitor's protocol
// handler to a printer on a serial port, the host playing the spooler's part; with
// --simulate-firmware, simulated firmware answers on the other end of a port pair.
#pragma once

#include "HostArguments.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vela::host {

// The lines the monitor makes of the bytes and streams: comments and empty lines
// dropped. Bytes after the last line end are not a line yet.
uint32_t CountGcodeLines(const std::vector<uint8_t>& bytes);

// The monitor's port for a printer on the COM port, and its device path.
std::wstring SerialPortName(const std::wstring& comPort);
std::wstring SerialDevicePath(const std::wstring& comPort);

// 0 when every line was acknowledged (or, without simulated firmware, sent), 1
// when the stream stopped short, 2 when it could not be run at all.
int PrintOnSerialPrinter(const HostArguments& arguments);

} // namespace vela::host
