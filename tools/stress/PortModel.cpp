#include "PortModel.h"

#include "platform/Win32Headers.h"

#include <algorithm>
#include <cwctype>

namespace vela::stress {
namespace {

// Ports 0..3 also have a twin spelled with a soft hyphen: a different name to the
// registry, so a different port.
constexpr size_t kSoftHyphenTwins = 4;

int Compare(const std::wstring& first, const std::wstring& second) {
    return ::CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                                  static_cast<int>(second.size()), TRUE);
}

} // namespace

bool SameName(const std::wstring& first, const std::wstring& second) {
    return Compare(first, second) == CSTR_EQUAL;
}

std::vector<std::wstring> ListedTwice(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return Compare(a, b) == CSTR_LESS_THAN;
    });
    std::vector<std::wstring> twice;
    for (size_t index = 1; index < names.size(); ++index) {
        if (SameName(names[index - 1], names[index]) &&
            (twice.empty() || !SameName(twice.back(), names[index]))) {
            twice.push_back(names[index]);
        }
    }
    return twice;
}

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t character : text) {
        narrow += character >= 0x20 && character < 0x7F ? static_cast<char>(character) : '?';
    }
    return narrow;
}

PortModel::PortModel() {
    for (size_t index = 0; index < kPorts; ++index) {
        const size_t firstTwin = kPorts - kSoftHyphenTwins;
        const bool twin = index >= firstTwin;
        const size_t number = twin ? index - firstTwin : index;
        ports_[index].name =
            (twin ? L"Stress\u00ADPort" : L"StressPort") + std::to_wstring(number) + L":";
    }
}

ModelPort& PortModel::Pick(std::mt19937& random) {
    return ports_[std::uniform_int_distribution<size_t>(0, kPorts - 1)(random)];
}

std::wstring PortModel::Spelled(const ModelPort& port, std::mt19937& random) {
    std::wstring spelled = port.name;
    for (wchar_t& character : spelled) {
        if (std::bernoulli_distribution(0.3)(random)) {
            character = std::iswupper(character) ? static_cast<wchar_t>(std::towlower(character))
                                                 : static_cast<wchar_t>(std::towupper(character));
        }
    }
    return spelled;
}

void PortModel::CheckListing(const std::vector<std::wstring>& listed, StressTally& tally) {
    auto timesListed = [&](const std::wstring& name) {
        return std::count_if(listed.begin(), listed.end(),
                             [&](const std::wstring& other) { return SameName(name, other); });
    };
    for (const wchar_t* base : {kStoredBasePort, kDiscoveredBasePort}) {
        if (timesListed(base) != 1) {
            tally.Violation("base port " + Narrow(base) + " listed " +
                            std::to_string(timesListed(base)) + " times at the end");
        }
    }
    for (const ModelPort& port : ports_) {
        const auto times = timesListed(port.name);
        if (times != (port.present ? 1 : 0)) {
            tally.Violation("port " + Narrow(port.name) +
                            (port.present ? " (added)" : " (deleted)") + " listed " +
                            std::to_string(times) + " times at the end");
        }
    }
}

} // namespace vela::stress
