// The names of the port list's entries, in list order.
#pragma once

#include "ports/PortList.h"

#include <string>
#include <vector>

namespace vela::test {

inline std::vector<std::wstring> PortNames(MonitorContext* context) {
    std::vector<std::wstring> names;
    for (PortEntry* entry = context->firstPort; entry != nullptr; entry = entry->next) {
        names.emplace_back(entry->name);
    }
    return names;
}

} // namespace vela::test
