// The rules for what a user types into the port screens and commands: port names
// and serial devices. Pure text logic.
#pragma once

#include <string>

namespace vela::portconfig {

// The monitor keeps names of up to this many characters.
constexpr size_t kMaxPortNameLength = 247;

// Why the name cannot name a port, or empty when it can. Commas separate a
// printer's ports in the spooler's lists and backslashes make the transceive
// object names ambiguous, so neither is allowed; nor are control characters.
std::wstring PortNameProblem(const std::wstring& name);

// A serial device given as "COMn" or "\\.\COMn" (n from 1 to 256, any letter
// case) as its short name "COMn"; false for anything else.
bool ParseSerialDevice(const std::wstring& text, std::wstring* comName);

// "\\.\COMn" for "COMn": the path the monitor opens.
std::wstring DevicePathOf(const std::wstring& comName);

// Case-insensitive comparison of names, as the spooler compares port names.
bool SameName(const std::wstring& a, const std::wstring& b);

} // namespace vela::portconfig
