// What port configuration needs from the machine, as seams: the route to the
// monitor's transceive commands, the monitor's "Ports" key, and the machine's COM
// ports. The Win32 implementations go through the spooler and the registry; tests
// and the host program's in-process mode route the commands to a monitor loaded in
// the same process.
#pragma once

#include "platform/Win32Headers.h"

#include <string>
#include <vector>

namespace vela::portconfig {

// The spooler's transceive calls on the monitor, and the monitor's port list.
class MonitorRoute {
  public:
    virtual ~MonitorRoute() = default;
    // A transceive handle on the monitor (empty object) or on one of its ports,
    // asking for the administer right. The result is a Win32 code.
    virtual DWORD Open(const std::wstring& object, HANDLE* xcv) = 0;
    // One named command; the result is the code the monitor answered.
    virtual DWORD Data(HANDLE xcv, const std::wstring& command, const void* input, DWORD inputSize,
                       void* output, DWORD outputSize, DWORD* needed) = 0;
    virtual void Close(HANDLE xcv) = 0;
    // The names of the monitor's ports, as the spooler enumerates them.
    virtual DWORD PortNames(std::vector<std::wstring>* names) = 0;
};

// The values of the monitor's "Ports" key: one per stored port, whose data is the
// serial device path ("" for a USB port).
class PortStore {
  public:
    virtual ~PortStore() = default;
    // ERROR_FILE_NOT_FOUND when the port has no value.
    virtual DWORD ReadDevice(const std::wstring& port, std::wstring* device) = 0;
    // Writes the data of an existing value only.
    virtual DWORD WriteDevice(const std::wstring& port, const std::wstring& device) = 0;
};

// The machine's serial ports by their short names ("COM3").
class ComPortList {
  public:
    virtual ~ComPortList() = default;
    virtual std::vector<std::wstring> Names() = 0;
};

} // namespace vela::portconfig
