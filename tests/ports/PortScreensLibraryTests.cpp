// The port screens' DLL as the spooler's "Add port" and "Configure port" load it:
// its entry, its function table and the dialog its screens show. The screens
// themselves need a desktop and a spooler that knows the monitor.
#include "ui/PortDialogIds.h"

#include "platform/Win32Headers.h"

#include <gtest/gtest.h>

#include <string>

namespace vela::test {
namespace {

// The built DLL, in the build folder above the test executables' folder.
std::wstring BuiltLibraryPath() {
    wchar_t program[MAX_PATH] = {};
    std::wstring path(program, ::GetModuleFileNameW(nullptr, program, MAX_PATH));
    for (int level = 0; level < 2; ++level) {
        path.erase(path.find_last_of(L"\\/"));
    }
    return path + L"\\Vela3dpPrintMonitorUI.dll";
}

TEST(PortScreensLibraryTest, LoadsAndOffersItsTableAndDialog) {
    const std::wstring path = BuiltLibraryPath();
    HMODULE module = ::LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr) << ::GetLastError() << " " << std::string(path.begin(), path.end());
    using Initialize = PMONITORUI(WINAPI*)();
    const auto initialize =
        reinterpret_cast<Initialize>(::GetProcAddress(module, "InitializePrintMonitorUI"));
    ASSERT_NE(initialize, nullptr);
    const MONITORUI* table = initialize();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->dwMonitorUISize, sizeof(MONITORUI));
    EXPECT_NE(table->pfnAddPortUI, nullptr);
    EXPECT_NE(table->pfnConfigurePortUI, nullptr);
    EXPECT_NE(table->pfnDeletePortUI, nullptr);
    EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(IDD_PORT), MAKEINTRESOURCEW(5)), nullptr);
    ::FreeLibrary(module);
}

} // namespace
} // namespace vela::test
