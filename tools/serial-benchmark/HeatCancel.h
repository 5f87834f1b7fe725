// The cancel of a document while its printer heats: how long from the job's
// deletion to the end of the document.
#pragma once

#include <string>

#include <windows.h>

#include <winspool.h>

#include <winsplp.h>

namespace vela {
class FakeSpooler;
namespace test {
class MonitorHarness;
}
} // namespace vela

namespace vela::bench {

// Initialises the harnessed monitor, opens portName and starts a document on it for
// the spooler's printer; false (said on stderr) when the port did not open or the
// firmware did not answer.
bool OpenBenchmarkDocument(test::MonitorHarness& harness, FakeSpooler& spooler, LPCWSTR portName,
                           LPMONITOR2* table, HANDLE* port);

// Streams "M109 S<target>" and a few moves to the simulated firmware, which heats
// for heatSeconds; the job is deleted deleteAfterSeconds into the heat-up, and the
// time until EndDocPort returns is printed. 0 on success.
int RunHeatCancel(const std::wstring& host, const std::wstring& firmware, double heatSeconds,
                  double deleteAfterSeconds);

} // namespace vela::bench
