// What the stress threads did: operations and result codes per kind, and the
// violations of what must always hold. Shared by every thread.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vela::stress {

class StressTally {
  public:
    // One operation of the kind, with its Win32 result (0 = success).
    void Count(const std::string& kind, uint32_t code);
    // Something that must never happen; the run fails.
    void Violation(const std::string& text);

    bool Clean() const;
    // Operations per kind with their results by code, then the violations.
    void PrintSummary() const;

  private:
    mutable std::mutex mutex_;
    std::map<std::string, std::map<uint32_t, uint64_t>> results_;
    std::vector<std::string> violations_;
    uint64_t violationCount_ = 0;
};

} // namespace vela::stress
