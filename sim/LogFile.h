// Access to the monitor's debug log file in the test prefix's C: drive.
#pragma once

#include <string>

namespace vela::test {

// Creates C:\temp if needed and empties the log.
void ResetLog();
// The log's bytes as they are on disk (empty when there is no file).
std::string ReadLog();
bool LogExists();
// Removes the log and the C:\temp folder.
void RemoveLogFolder();

} // namespace vela::test
