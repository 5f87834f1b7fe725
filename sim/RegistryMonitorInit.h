// A MONITORINIT whose registry functions work on a real key of the test prefix's
// registry, as the spooler's do on the monitor's own key.
#pragma once

#include "platform/Win32Headers.h"

#include <string>

namespace vela::test {

class RegistryMonitorInit {
  public:
    // A fresh, empty root below HKEY_CURRENT_USER\Software\Vela3dpTests.
    RegistryMonitorInit();
    // The root at base\rootPath, created when missing and kept when this goes: the
    // host program runs the monitor on its real key this way.
    RegistryMonitorInit(HKEY base, std::wstring rootPath);
    ~RegistryMonitorInit();
    RegistryMonitorInit(const RegistryMonitorInit&) = delete;
    RegistryMonitorInit& operator=(const RegistryMonitorInit&) = delete;

    PMONITORINIT Get() { return &init_; }
    HKEY Root() const { return root_; }

    // Direct access to the "Ports" key, as another program would have it.
    void SetPortValue(const std::wstring& name, const std::wstring& data);
    void SetPortValueRaw(const std::wstring& name, DWORD type, const void* data, DWORD size);
    // A DWORD value under "PortSettings\<port>".
    void SetPortSetting(const std::wstring& port, const std::wstring& name, DWORD value);
    bool HasPortValue(const std::wstring& name) const;
    std::wstring PortValueData(const std::wstring& name) const;
    DWORD PortValueType(const std::wstring& name) const;

    // Closes the root key, as a spooler may once InitializePrintMonitor2 returns;
    // the access to "Ports" above needs it open.
    void CloseRoot();

    // Makes every registry function answer this code (0 restores): with
    // ERROR_CALL_NOT_IMPLEMENTED, the stubs of a spooler that has none.
    static void AnswerEveryCallWith(LONG code);
    // Makes every later fpSetValue fail with this code (0 restores).
    static void FailSetValueWith(LONG code);
    // Makes every later fpCreateKey fail with this code (0 restores).
    static void FailCreateKeyWith(LONG code);
    // Lets the next writes (fpSetValue or fpDeleteValue) through and makes the one
    // after them fail with this code, once; a code of 0 cancels it.
    static void FailWriteAfter(int writes, LONG code);
    static int SetValueCalls();
    static int DeleteValueCalls();

  private:
    void Open(HKEY base);

    std::wstring rootPath_;
    bool owned_ = true;
    HKEY root_ = nullptr;
    MONITORREG reg_{};
    MONITORINIT init_{};
};

} // namespace vela::test
