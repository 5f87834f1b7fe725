#include "sim/MonitorTableRoute.h"

#include "portconfig/EnumerationBuffer.h"

namespace vela::test {

MonitorTableRoute::MonitorTableRoute(LPMONITOR2 table, HANDLE monitor, ACCESS_MASK granted)
    : table_(table), monitor_(monitor), granted_(granted) {}

DWORD MonitorTableRoute::Open(const std::wstring& object, HANDLE* xcv) {
    *xcv = nullptr;
    if (!table_->pfnXcvOpenPort(monitor_, object.c_str(), granted_, xcv)) {
        return ::GetLastError();
    }
    ++openHandles;
    return ERROR_SUCCESS;
}

DWORD MonitorTableRoute::Data(HANDLE xcv, const std::wstring& command, const void* input,
                              DWORD inputSize, void* output, DWORD outputSize, DWORD* needed) {
    return table_->pfnXcvDataPort(xcv, command.c_str(),
                                  static_cast<PBYTE>(const_cast<void*>(input)), inputSize,
                                  static_cast<PBYTE>(output), outputSize, needed);
}

void MonitorTableRoute::Close(HANDLE xcv) {
    table_->pfnXcvClosePort(xcv);
    --openHandles;
}

DWORD MonitorTableRoute::PortNames(std::vector<std::wstring>* names) {
    names->clear();
    std::vector<BYTE> buffer;
    DWORD returned = 0;
    const DWORD code = portconfig::EnumerateIntoBuffer(
        buffer, returned, [this](LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD count) {
            return table_->pfnEnumPorts(monitor_, nullptr, 1, ports, size, needed, count);
        });
    if (code != ERROR_SUCCESS) {
        return code;
    }
    const auto* ports = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) {
        names->emplace_back(ports[i].pName != nullptr ? ports[i].pName : L"");
    }
    return ERROR_SUCCESS;
}

} // namespace vela::test
