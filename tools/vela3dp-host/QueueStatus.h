// The status texts the monitor sets on the spooler job, as the print queue shows
// them beside the job. The spooler double hands them over on the monitor's thread;
// the host prints them between its own lines, from whichever thread prints.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace vela::host {

class QueueStatusLines {
  public:
    // A text as the monitor set it; nullptr when it cleared the status.
    void Add(const wchar_t* text);
    bool Pending();
    // The lines added since the last call, "  queue shows: <text>" in UTF-8.
    std::vector<std::string> Take();

  private:
    std::mutex lock_;
    std::vector<std::string> lines_;
};

} // namespace vela::host
