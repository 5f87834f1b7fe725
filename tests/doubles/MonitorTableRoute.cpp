#include "doubles/MonitorTableRoute.h"

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
    return table_->pfnXcvDataPort(xcv, command.c_str(), static_cast<PBYTE>(const_cast<void*>(input)),
                                  inputSize, static_cast<PBYTE>(output), outputSize, needed);
}

void MonitorTableRoute::Close(HANDLE xcv) {
    table_->pfnXcvClosePort(xcv);
    --openHandles;
}

DWORD MonitorTableRoute::PortNames(std::vector<std::wstring>* names) {
    names->clear();
    DWORD needed = 0;
    DWORD returned = 0;
    // Never a null buffer: an enumeration without ports may refuse one.
    std::vector<BYTE> buffer(4096);
    while (!table_->pfnEnumPorts(monitor_, nullptr, 1, buffer.data(),
                                 static_cast<DWORD>(buffer.size()), &needed, &returned)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
            return error;
        }
        buffer.resize(needed);
    }
    const auto* ports = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) {
        names->emplace_back(ports[i].pName != nullptr ? ports[i].pName : L"");
    }
    return ERROR_SUCCESS;
}

} // namespace vela::test
