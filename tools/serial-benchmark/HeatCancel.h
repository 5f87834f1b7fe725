// The cancel of a document while its printer heats: how long from the job's
// deletion to the end of the document.
#pragma once

#include <string>

namespace vela::bench {

// Streams "M109 S<target>" and a few moves to the simulated firmware, which heats
// for heatSeconds; the job is deleted deleteAfterSeconds into the heat-up, and the
// time until EndDocPort returns is printed. 0 on success.
int RunHeatCancel(const std::wstring& host, const std::wstring& firmware, double heatSeconds,
                  double deleteAfterSeconds);

} // namespace vela::bench
