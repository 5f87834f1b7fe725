// The PORT_INFO_1 and PORT_INFO_2 forms in which EnumPorts reports ports: fixed
// records from the start of the caller's buffer upward, their strings from the end
// of the buffer downward.
#pragma once

#include "platform/Win32Headers.h"

namespace vela {

constexpr wchar_t kMonitorName[] = L"Vela3dp Print Monitor";
constexpr wchar_t kPortDescription[] = L"Vela3dp Print Monitor Port";
constexpr DWORD kReportedPortType = PORT_TYPE_WRITE | PORT_TYPE_READ;

// Bytes one port takes at the level (1 or 2): its record and its strings.
DWORD PortInfoBytes(DWORD level, LPCWSTR portName);

class PortInfoPacker {
  public:
    PortInfoPacker(DWORD level, LPBYTE buffer, DWORD size);

    // Adds one record with its strings; false, with nothing written, when the
    // space left between the records and the strings cannot hold them.
    bool Add(LPCWSTR portName);
    DWORD Count() const { return count_; }

  private:
    LPWSTR PlaceString(LPCWSTR text);

    DWORD level_;
    LPBYTE nextRecord_;
    LPBYTE stringsStart_;
    DWORD count_ = 0;
};

} // namespace vela
