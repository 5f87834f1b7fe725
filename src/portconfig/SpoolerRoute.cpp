#include "portconfig/SpoolerRoute.h"

#include "portconfig/EnumerationBuffer.h"
#include "portconfig/MonitorNames.h"

namespace vela::portconfig {

SpoolerRoute::SpoolerRoute(std::wstring server) : server_(std::move(server)) {}

DWORD SpoolerRoute::Open(const std::wstring& object, HANDLE* xcv) {
    *xcv = nullptr;
    std::wstring printer = server_.empty() ? std::wstring() : server_ + L"\\";
    printer +=
        object.empty() ? std::wstring(L",XcvMonitor ") + kMonitorName : L",XcvPort " + object;
    PRINTER_DEFAULTSW defaults{};
    defaults.DesiredAccess = SERVER_ACCESS_ADMINISTER;
    HANDLE handle = nullptr;
    if (!::OpenPrinterW(&printer[0], &handle, &defaults)) {
        return ::GetLastError();
    }
    *xcv = handle;
    return ERROR_SUCCESS;
}

DWORD SpoolerRoute::Data(HANDLE xcv, const std::wstring& command, const void* input,
                         DWORD inputSize, void* output, DWORD outputSize, DWORD* needed) {
    DWORD status = ERROR_SUCCESS;
    // XcvDataW takes its buffers as writable although it only reads the input.
    if (!::XcvDataW(xcv, command.c_str(), static_cast<PBYTE>(const_cast<void*>(input)), inputSize,
                    static_cast<PBYTE>(output), outputSize, needed, &status)) {
        return ::GetLastError();
    }
    return status;
}

void SpoolerRoute::Close(HANDLE xcv) {
    ::ClosePrinter(xcv);
}

DWORD SpoolerRoute::PortNames(std::vector<std::wstring>* names) {
    names->clear();
    LPWSTR server = server_.empty() ? nullptr : &server_[0];
    std::vector<BYTE> buffer;
    DWORD returned = 0;
    const DWORD code = EnumerateIntoBuffer(
        buffer, returned, [server](LPBYTE ports, DWORD size, LPDWORD needed, LPDWORD count) {
            return ::EnumPortsW(server, 2, ports, size, needed, count);
        });
    if (code != ERROR_SUCCESS) {
        return code;
    }
    const auto* ports = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) {
        if (ports[i].pPortName != nullptr && ports[i].pMonitorName != nullptr &&
            ::lstrcmpiW(ports[i].pMonitorName, kMonitorName) == 0) {
            names->emplace_back(ports[i].pPortName);
        }
    }
    return ERROR_SUCCESS;
}

} // namespace vela::portconfig
