#include "PortsTestSupport.h"

#include "ports/PortList.h"

#include <cstring>

namespace vela::test {

BOOL PortsSpooler::EnumPortsW(LPWSTR serverName, DWORD level, LPBYTE ports, DWORD size,
                              LPDWORD needed, LPDWORD returned) {
    ++enumCalls;
    if (onEnumerate) {
        onEnumerate();
    }
    if (!scripted) {
        return FakeSpooler::EnumPortsW(serverName, level, ports, size, needed, returned);
    }
    *returned = 0;
    DWORD bytes = 0;
    for (const std::wstring& name : portNames) {
        bytes += sizeof(PORT_INFO_1W) + TextBytes(name);
    }
    *needed = bytes;
    if (ports == nullptr) {
        if (firstCallError == 0) {
            return TRUE;
        }
        ::SetLastError(firstCallError);
        return FALSE;
    }
    if (growingFills > 0) {
        // Another thread added a port meanwhile: the list needs more room now.
        --growingFills;
        *needed = size + sizeof(PORT_INFO_1W) + TextBytes(L"Grown:");
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (secondCallError != 0 || size < bytes) {
        ::SetLastError(secondCallError != 0 ? secondCallError : ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    LPBYTE strings = ports + size;
    auto* infos = reinterpret_cast<PORT_INFO_1W*>(ports);
    for (const std::wstring& name : portNames) {
        strings -= TextBytes(name);
        std::memcpy(strings, name.c_str(), TextBytes(name));
        infos[*returned].pName = reinterpret_cast<LPWSTR>(strings);
        ++*returned;
    }
    return TRUE;
}

BOOL RecordingCommConfig::GetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG config, LPDWORD size) {
    ++getCalls;
    lastName = name;
    lastSize = *size;
    providerSubTypeOnEntry = config->dwProviderSubType;
    if (failWith != 0) {
        ::SetLastError(failWith);
        return FALSE;
    }
    *config = stored;
    *size = sizeof(COMMCONFIG);
    return TRUE;
}

BOOL RecordingCommConfig::SetDefaultCommConfigW(LPCWSTR name, LPCOMMCONFIG config, DWORD size) {
    ++setCalls;
    lastName = name;
    lastSize = size;
    if (failWith != 0) {
        ::SetLastError(failWith);
        return FALSE;
    }
    stored = *config;
    return TRUE;
}

ScopedMachineValue::ScopedMachineValue(std::wstring keyPath, std::wstring valueName)
    : keyPath_(std::move(keyPath)), valueName_(std::move(valueName)) {
    HKEY key = nullptr;
    keyExisted_ =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath_.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (keyExisted_) {
        ::RegCloseKey(key);
    }
    type_ = Type();
    valueExisted_ = type_ != REG_NONE;
    data_ = Data();
}

ScopedMachineValue::~ScopedMachineValue() {
    if (valueExisted_) {
        SetRaw(type_, data_.data(), static_cast<DWORD>(data_.size()));
    } else {
        Remove();
    }
    if (!keyExisted_) {
        // Only an empty key goes; anything another program put there stays.
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath_.c_str());
    }
}

void ScopedMachineValue::CreateKey() {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath_.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
}

void ScopedMachineValue::SetRaw(DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath_.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, valueName_.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(key);
}

void ScopedMachineValue::SetText(const std::wstring& text) {
    SetRaw(REG_SZ, text.c_str(), TextBytes(text));
}

void ScopedMachineValue::Remove() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath_.c_str(), 0, KEY_SET_VALUE, &key) ==
        ERROR_SUCCESS) {
        ::RegDeleteValueW(key, valueName_.c_str());
        ::RegCloseKey(key);
    }
}

DWORD ScopedMachineValue::Type() const {
    DWORD type = REG_NONE;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, keyPath_.c_str(), valueName_.c_str(),
                       RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, nullptr) != ERROR_SUCCESS) {
        return REG_NONE;
    }
    return type;
}

std::vector<BYTE> ScopedMachineValue::Data() const {
    DWORD size = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, keyPath_.c_str(), valueName_.c_str(),
                       RRF_RT_ANY | RRF_NOEXPAND, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<BYTE> data(size);
    if (size != 0) {
        ::RegGetValueW(HKEY_LOCAL_MACHINE, keyPath_.c_str(), valueName_.c_str(),
                       RRF_RT_ANY | RRF_NOEXPAND, nullptr, data.data(), &size);
        data.resize(size);
    }
    return data;
}

PortsTest::PortsTest() {
    harness.platform.spooler = &spooler;
}

void PortsTest::SetUp() {
    ASSERT_TRUE(harness.Attach());
}

void PortsTest::TearDown() {
    for (HANDLE xcv : openXcvHandles) {
        table->pfnXcvClosePort(xcv);
    }
}

void PortsTest::Initialize() {
    table = harness.Initialize();
    ASSERT_NE(table, nullptr);
}

std::vector<std::wstring> PortsTest::ListedNames() {
    std::vector<std::wstring> names;
    for (PortEntry* entry = Context()->firstPort; entry != nullptr; entry = entry->next) {
        names.emplace_back(entry->name);
    }
    return names;
}

std::vector<std::wstring> PortsTest::EnumeratedNames() {
    DWORD needed = 0;
    DWORD returned = 0;
    table->pfnEnumPorts(harness.MonitorHandle(), nullptr, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed + 1);
    std::vector<std::wstring> names;
    if (!table->pfnEnumPorts(harness.MonitorHandle(), nullptr, 1, buffer.data(), needed, &needed,
                             &returned)) {
        ADD_FAILURE() << "EnumPorts failed: " << ::GetLastError();
        return names;
    }
    const auto* infos = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
    for (DWORD index = 0; index < returned; ++index) {
        names.emplace_back(infos[index].pName);
    }
    return names;
}

HANDLE PortsTest::OpenXcv(LPCWSTR object, ACCESS_MASK access) {
    HANDLE xcv = nullptr;
    EXPECT_TRUE(table->pfnXcvOpenPort(harness.MonitorHandle(), object, access, &xcv));
    openXcvHandles.push_back(xcv);
    return xcv;
}

DWORD PortsTest::Xcv(HANDLE xcv, LPCWSTR command, const void* input, DWORD inputSize, void* output,
                     DWORD outputSize, DWORD* needed) {
    return table->pfnXcvDataPort(xcv, command, static_cast<PBYTE>(const_cast<void*>(input)),
                                 inputSize, static_cast<PBYTE>(output), outputSize, needed);
}

DWORD PortsTest::XcvText(HANDLE xcv, LPCWSTR command, const std::wstring& text) {
    DWORD needed = 0;
    return Xcv(xcv, command, text.c_str(), TextBytes(text), nullptr, 0, &needed);
}

} // namespace vela::test
