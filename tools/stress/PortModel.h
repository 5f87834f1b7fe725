// The ports the churn threads add, delete, open and close, and what the monitor's
// list must hold for each. A port's mutex spans one operation on it and the
// update of its expected state, so that the expected outcome is exact.
#pragma once

#include "StressTally.h"

#include <array>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace vela::stress {

struct ModelPort {
    std::wstring name;
    std::mutex mutex;
    bool present = false; // in the list and "Ports"
    int opens = 0;        // OpenPort calls without their ClosePort
};

// Ports the monitor knows from the start: one stored under "Ports", one found by
// device discovery. Neither is ever deleted.
constexpr wchar_t kStoredBasePort[] = L"StressBase:";
constexpr wchar_t kDiscoveredBasePort[] = L"Quarlend-Stress:";

class PortModel {
  public:
    static constexpr size_t kPorts = 24;

    PortModel();
    ModelPort& Pick(std::mt19937& random);
    // The port's name in random letter case: the same port to the monitor.
    static std::wstring Spelled(const ModelPort& port, std::mt19937& random);

    // Every present port and both base ports listed once, no absent port listed.
    // Call with every churn thread stopped.
    void CheckListing(const std::vector<std::wstring>& listed, StressTally& tally);

  private:
    std::array<ModelPort, kPorts> ports_;
};

// The port names equal as the registry compares value names (ordinal, ignoring
// case).
bool SameName(const std::wstring& first, const std::wstring& second);
// Names listed more than once in the enumeration, each once.
std::vector<std::wstring> ListedTwice(std::vector<std::wstring> names);
std::string Narrow(const std::wstring& text);

} // namespace vela::stress
