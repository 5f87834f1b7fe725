// The shipped DLL itself, loaded as the spooler loads it.
#include "sim/RegistryMonitorInit.h"

#include <gtest/gtest.h>

#include <string>

namespace vela::test {
namespace {

// The built DLL, in the build folder above the test executables' folder.
std::wstring BuiltMonitorPath() {
    wchar_t program[MAX_PATH] = {};
    std::wstring path(program, ::GetModuleFileNameW(nullptr, program, MAX_PATH));
    for (int level = 0; level < 2; ++level) {
        path.erase(path.find_last_of(L"\\/"));
    }
    return path + L"\\Vela3dpPrintMonitor.dll";
}

// Wine's cfgmgr32 has no CM_Register_Notification: the load, the initialisation
// and the unload go on without it.
TEST(BuiltDll, LoadsInitializesAndUnloadsWhereNoticesAreMissing) {
    const std::wstring path = BuiltMonitorPath();
    HMODULE module = ::LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr) << ::GetLastError();
    using Initialize = LPMONITOR2(WINAPI*)(PMONITORINIT, PHANDLE);
    const auto initialize = reinterpret_cast<Initialize>(
        reinterpret_cast<void*>(::GetProcAddress(module, "InitializePrintMonitor2")));
    ASSERT_NE(initialize, nullptr);
    {
        RegistryMonitorInit registry;
        HANDLE monitor = nullptr;
        LPMONITOR2 table = initialize(registry.Get(), &monitor);
        ASSERT_NE(table, nullptr) << ::GetLastError();
        table->pfnShutdown(monitor);
    }
    EXPECT_TRUE(::FreeLibrary(module));
    // Nothing of it stays behind, no thread of its own either.
    EXPECT_EQ(::GetModuleHandleW(L"Vela3dpPrintMonitor.dll"), nullptr);
}

} // namespace
} // namespace vela::test
