// The monitor's plain-text diagnostic trace, "C:\temp\vela3dp.log".
#pragma once

namespace vela {

// Appends the text as it stands; a failure loses the message silently.
void WriteLog(const char* text);

// Formats into a bounded buffer of its own, then WriteLog.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void WriteLogFormatted(const char* format, ...);

} // namespace vela
