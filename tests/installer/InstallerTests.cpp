// The installer, run silently as a deployment would, against the spooler of this
// machine: what lands where, what the spooler lists, and what the uninstaller named in
// the installed apps' entry takes away again.
#include "InstallerTestSupport.h"

#include "sim/WineSpooler.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace vela::installer_test {
namespace {

struct SilentInstall {
    const char* name;
    const wchar_t* arguments;
    DWORD exitCode;
    const wchar_t* port;   // the port asked for, or nullptr
    const wchar_t* device; // its stored device (empty for a USB printer), or nullptr when
                           // the port is refused
};

void PrintTo(const SilentInstall& row, std::ostream* out) {
    *out << row.name;
}

class SilentInstallTest : public ::testing::TestWithParam<SilentInstall> {
  protected:
    void SetUp() override {
        RemoveInstallation();
        AddMachineComPort(kTestComPort);
    }
    void TearDown() override {
        RemoveInstallation();
        RemoveMachineComPort();
    }
};

TEST_P(SilentInstallTest, InstallsListsAndUninstalls) {
    const SilentInstall& row = GetParam();
    ASSERT_EQ(RunToEnd(QuotedPath(SetupPath()) + L" " + row.arguments), row.exitCode);

    for (const std::wstring& file : InstalledFiles()) {
        EXPECT_TRUE(FileExists(file)) << file;
    }
    const std::wstring uninstall = ReadUninstallValue(L"QuietUninstallString");
    EXPECT_EQ(uninstall, QuotedPath(InstallFolder() + L"\\uninstall.exe") + L" /S");
    EXPECT_EQ(ReadUninstallValue(L"DisplayName"), kMonitorName);
    EXPECT_EQ(ListedMonitorDll(kMonitorName), kMonitorDll);
    if (row.port != nullptr) {
        EXPECT_EQ(ListedPortMonitor(row.port), row.device != nullptr ? kMonitorName : L"");
        EXPECT_EQ(StoredPortDevice(row.port), row.device != nullptr ? row.device : kNoValue);
    }
    ASSERT_FALSE(uninstall.empty());

    ASSERT_EQ(RunToEnd(uninstall), 0u);
    for (const std::wstring& file : InstalledFiles()) {
        EXPECT_FALSE(FileExists(file)) << file;
    }
    EXPECT_FALSE(FileExists(InstallFolder()));
    EXPECT_EQ(ReadUninstallValue(L"DisplayName"), L"");
    EXPECT_EQ(ListedMonitorDll(kMonitorName), L"");
    if (row.port != nullptr) {
        EXPECT_EQ(ListedPortMonitor(row.port), L"");
    }
}

// Both ways a Windows command line quotes a value with spaces.
INSTANTIATE_TEST_SUITE_P(
    Rows, SilentInstallTest,
    ::testing::Values(
        SilentInstall{"UsbPort", L"/S \"/PORT=Vela Install USB:\"", 0, L"Vela Install USB:", L""},
        SilentInstall{"SerialPort", L"/S /PORT=\"Vela Install Serial:\" /serial=COM57", 0,
                      L"Vela Install Serial:", L"\\\\.\\COM57"},
        SilentInstall{"NoPort", L"/S", 0, nullptr, nullptr},
        // The machine has no COM58: the monitor is installed, the port is not.
        SilentInstall{"RefusedPort", L"/S /PORT=VelaInstallNoCom: /SERIAL=COM58", 3,
                      L"VelaInstallNoCom:", nullptr}),
    [](const ::testing::TestParamInfo<SilentInstall>& info) { return info.param.name; });

// A monitor registered already (its DLL possibly in the spooler's hands) stays as it
// is: the installer refuses before it copies anything.
TEST(Installer, RefusesOverAnInstalledMonitorAndLeavesItsFiles) {
    RemoveInstallation();
    ASSERT_TRUE(WriteMonitorDriverValue(kMonitorDll));
    const std::wstring dll = SystemFolder() + L"\\" + kMonitorDll;
    ASSERT_TRUE(WriteTextFile(dll, "installed before"));

    EXPECT_EQ(RunToEnd(QuotedPath(SetupPath()) + L" /S /PORT=VelaInstallAgain:"), 2u);
    EXPECT_EQ(ReadTextFile(dll), "installed before");
    EXPECT_FALSE(FileExists(InstallFolder()));
    EXPECT_EQ(ReadUninstallValue(L"DisplayName"), L"");
    RemoveInstallation();
}

// A printer on a port of the monitor keeps the whole installation: without its port or
// its monitor it would have nowhere to print. Once the printer is gone, so is the rest.
TEST(Installer, UninstallKeepsEverythingWhileAPrinterUsesAPortOfTheMonitor) {
    RemoveInstallation();
    const std::wstring port = L"VelaInstallPrinted:";
    ASSERT_EQ(RunToEnd(QuotedPath(SetupPath()) + L" /S /PORT=" + port), 0u);
    // EnsurePrinters also makes the key "Ports\<port>" below the monitor's key: Wine's
    // AddPrinterW finds a port's monitor only there (Windows asks the monitors).
    ASSERT_EQ(test::spooler::EnsurePrinters({{kTestPrinter, port, L""}}), "");

    // In place (_?=), so that the exit code is the uninstaller's own, not that of the
    // copy of itself it otherwise hands its work to.
    const std::wstring uninstaller = QuotedPath(InstallFolder() + L"\\uninstall.exe");
    EXPECT_EQ(RunToEnd(uninstaller + L" /S _?=" + InstallFolder()), 2u);
    for (const std::wstring& file : InstalledFiles()) {
        EXPECT_TRUE(FileExists(file)) << file;
    }
    EXPECT_EQ(ListedMonitorDll(kMonitorName), kMonitorDll);
    EXPECT_EQ(ListedPortMonitor(port.c_str()), kMonitorName);
    EXPECT_EQ(ReadUninstallValue(L"AddedPort"), port);

    ASSERT_EQ(test::spooler::DeletePrinter(kTestPrinter), 0u);
    EXPECT_EQ(RunToEnd(ReadUninstallValue(L"QuietUninstallString")), 0u);
    for (const std::wstring& file : InstalledFiles()) {
        EXPECT_FALSE(FileExists(file)) << file;
    }
    EXPECT_EQ(ListedMonitorDll(kMonitorName), L"");
    EXPECT_EQ(ListedPortMonitor(port.c_str()), L"");
    RemoveInstallation();
}

} // namespace
} // namespace vela::installer_test
