#include "monitor/CancelLines.h"

#include <memory>
#include <new>

namespace vela {
namespace {

constexpr DWORD kMaxValueBytes = 16 * 1024;
constexpr size_t kMaxLineLength = 255;

} // namespace

std::vector<std::string> DefaultCancelLines() {
    return {"M108", "M104 S0", "M140 S0", "M107", "M84"};
}

std::vector<std::string> ReadCancelLines(MonitorState& state) {
    const MONITORINIT* init = state.monitorInit;
    if (init == nullptr || init->pMonitorReg == nullptr) {
        return DefaultCancelLines();
    }
    DWORD type = 0;
    DWORD size = 0;
    LONG result = init->pMonitorReg->fpQueryValue(init->hckRegistryRoot, kCancelGCodeValueName,
                                                  &type, nullptr, &size, init->hSpooler);
    if (result != ERROR_SUCCESS || type != REG_MULTI_SZ || size == 0 || size > kMaxValueBytes) {
        return DefaultCancelLines();
    }
    // Two spare characters: the stored list need not be terminated.
    const size_t characters = size / sizeof(WCHAR) + 2;
    std::unique_ptr<WCHAR[]> text(new (std::nothrow) WCHAR[characters]());
    if (text == nullptr) {
        return DefaultCancelLines();
    }
    result = init->pMonitorReg->fpQueryValue(init->hckRegistryRoot, kCancelGCodeValueName, &type,
                                             reinterpret_cast<LPBYTE>(text.get()), &size,
                                             init->hSpooler);
    if (result != ERROR_SUCCESS || type != REG_MULTI_SZ) {
        return DefaultCancelLines();
    }
    std::vector<std::string> lines;
    const size_t end = size / sizeof(WCHAR);
    for (size_t start = 0; start < end && text[start] != L'\0';) {
        std::string line;
        size_t index = start;
        for (; index < end && text[index] != L'\0'; ++index) {
            // G-code is ASCII; anything else, and line ends, would garble the line.
            const WCHAR c = text[index];
            if (c >= 0x20 && c < 0x7F && line.size() < kMaxLineLength) {
                line.push_back(static_cast<char>(c));
            }
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
        start = index + 1;
    }
    return lines;
}

} // namespace vela
