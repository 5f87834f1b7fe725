// The debug log file, "C:\temp\vela3dp.log": appended to only while the folder
// and the file pass the checks of DebugLogTrust, made on their open handles at
// every message.
#pragma once

namespace vela {

// Appends the text in text mode (every line feed reaches the file as CR LF), in
// one write at the end of the file, so messages of threads that log at once stay
// whole. Nothing when "C:\temp" is missing; when a check refuses, nothing either,
// and the debugger output is told why once per kind of refusal.
void AppendToDebugLog(const char* text);

} // namespace vela
