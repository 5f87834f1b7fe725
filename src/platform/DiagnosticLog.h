// The monitor's diagnostics and where each goes. The monitor runs inside the
// spooler service, which has no console: nothing of it goes to standard output.
#pragma once

namespace vela {

enum class LogTo {
    // "C:\temp\vela3dp.log": the job path's trace, one message per event. The
    // folder is not created; a message that cannot be written is lost, and so is
    // every message while the folder or the file is not one the monitor may
    // trust (see DebugLogFile.h).
    DebugLog,
    // An attached debugger (OutputDebugString): device discovery, the USB
    // transport's failures and the firmware's messages.
    Debugger,
};

// Writes the text as it stands: nothing is added or interpreted, so a message
// without a line end is continued by the next one.
void Log(LogTo where, const char* text);
// The debugger takes wide text as it is; the debug log, which is 8-bit text, in
// the system code page (a text over 1023 bytes there is lost).
void Log(LogTo where, const wchar_t* text);

// Formats into a bounded buffer (a text over 1023 characters is cut), then Log;
// nothing when the format itself fails.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void LogFormatted(LogTo where, const char* format, ...);

} // namespace vela
