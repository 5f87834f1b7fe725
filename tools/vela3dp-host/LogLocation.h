// Where the monitor's debug log is, and whether this program runs under Wine.
#pragma once

#include <string>

namespace vela::host {

// The log's fixed path, as the monitor writes it.
extern const wchar_t kDebugLogPath[];

// The monitor writes its log only into an existing C:\temp: make sure it exists.
bool EnsureLogFolder();
// The log's path for a person to open: the Windows path, and under Wine also the
// file's path on the host system.
std::string DescribeLogPath();
// True when the program runs under Wine rather than on Windows.
bool RunningUnderWine();
// The host system's path of a Windows path under Wine; empty elsewhere.
std::string UnixPathOf(const wchar_t* windowsPath);

} // namespace vela::host
