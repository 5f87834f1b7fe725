// Diagnostic lines for an attached debugger. The monitor runs inside the spooler
// service, which has no console: nothing of the monitor goes to standard output.
#pragma once

namespace vela {

// Formats as PassFormatted does and hands the text to OutputDebugStringA.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void DebuggerOutputFormatted(const char* format, ...);

} // namespace vela
