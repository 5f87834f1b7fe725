// Shared set-up for the port management tests: a monitor driven through its
// function table, a spooler whose port enumeration can fail on demand, a recording
// comm configuration, and a guard that restores a machine-wide registry value.
#pragma once

#include "sim/FakeSpooler.h"
#include "sim/MonitorHarness.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vela::test {

// Port enumeration from Wine's own spooler, unless a test scripts it.
class PortsSpooler : public FakeSpooler {
  public:
    BOOL EnumPortsW(LPWSTR serverName, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed,
                    LPDWORD returned) override;

    bool scripted = false;                            // answer from the fields below
    std::vector<std::wstring> portNames;              // what the scripted spooler offers
    DWORD firstCallError = ERROR_INSUFFICIENT_BUFFER; // 0: the first call succeeds
    DWORD secondCallError = 0;                        // non-zero: the second call fails
    int growingFills = 0;              // fills that find the list grown since the size query
    std::function<void()> onEnumerate; // runs inside every call
    int enumCalls = 0;
};

// Records the calls and answers them from a stored record.
class RecordingCommConfig : public CommConfig {
  public:
    BOOL GetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG config, LPDWORD size) override;
    BOOL SetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG config, DWORD size) override;

    DWORD failWith = 0;
    int getCalls = 0;
    int setCalls = 0;
    std::wstring lastName;
    DWORD lastSize = 0;               // size passed in (for Get: *size on entry)
    DWORD providerSubTypeOnEntry = 0; // Get: what the record held when called
    COMMCONFIG stored{};
};

// Saves a value below HKEY_LOCAL_MACHINE (creating its key if needed) and puts
// back what it found, key included, when it goes.
class ScopedMachineValue {
  public:
    ScopedMachineValue(std::wstring keyPath, std::wstring valueName);
    ~ScopedMachineValue();
    ScopedMachineValue(const ScopedMachineValue&) = delete;
    ScopedMachineValue& operator=(const ScopedMachineValue&) = delete;

    // Makes the key exist, as the system's own keys do on Windows.
    void CreateKey();
    void SetRaw(DWORD type, const void* data, DWORD size);
    void SetText(const std::wstring& text); // with its terminator
    void Remove();
    // The stored type and bytes; REG_NONE when there is no value.
    DWORD Type() const;
    std::vector<BYTE> Data() const;

  private:
    std::wstring keyPath_;
    std::wstring valueName_;
    bool keyExisted_ = false;
    bool valueExisted_ = false;
    DWORD type_ = REG_NONE;
    std::vector<BYTE> data_;
};

class PortsTest : public ::testing::Test {
  protected:
    PortsTest();
    void SetUp() override;
    // Closes the transceive handles the test left open.
    void TearDown() override;

    // Attach and initialise; the table is kept.
    void Initialize();
    MonitorState& State() { return harness.State(); }
    MonitorContext* Context() { return harness.Context(); }
    std::vector<std::wstring> ListedNames();

    // Level 1 enumeration through the table, sized by a first call.
    std::vector<std::wstring> EnumeratedNames();

    HANDLE OpenXcv(LPCWSTR object, ACCESS_MASK access = SERVER_ACCESS_ADMINISTER);
    DWORD Xcv(HANDLE xcv, LPCWSTR command, const void* input, DWORD inputSize, void* output,
              DWORD outputSize, DWORD* needed);
    // The text with its terminator as input; no output.
    DWORD XcvText(HANDLE xcv, LPCWSTR command, const std::wstring& text);

    MonitorHarness harness;
    PortsSpooler spooler;
    LPMONITOR2 table = nullptr;
    std::vector<HANDLE> openXcvHandles;
};

inline DWORD TextBytes(const std::wstring& text) {
    return static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
}

} // namespace vela::test
