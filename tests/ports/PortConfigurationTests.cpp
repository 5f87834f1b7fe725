// The port configuration behind the port screens and the host's port commands,
// against the monitor's own table through an in-process transceive route and the
// monitor's "Ports" key.
#include "PortsTestSupport.h"

#include "ports/PortSettingsStore.h"
#include "sim/MonitorTableRoute.h"
#include "portconfig/PortConfiguration.h"
#include "portconfig/PortNaming.h"
#include "portconfig/RegistryPortStore.h"
#include "portconfig/SettingsText.h"

#include <memory>

namespace vela::test {
namespace {

using portconfig::Outcome;
using portconfig::PortListing;

TEST(PortNamingTest, PortNamesAndSerialDevices) {
    const struct {
        std::wstring name;
        bool accepted;
    } names[] = {{L"Lab:", true},    {std::wstring(247, L'q'), true},
                 {L"", false},       {std::wstring(248, L'q'), false},
                 {L"Lab,2:", false}, {L"Lab\\2", false},
                 {L"Lab\t", false}};
    for (const auto& row : names) {
        EXPECT_EQ(portconfig::PortNameProblem(row.name).empty(), row.accepted) << row.name.size();
    }
    const struct {
        std::wstring text;
        std::wstring comName; // empty: refused
    } devices[] = {{L"COM3", L"COM3"}, {L"com12", L"COM12"}, {L"\\\\.\\cOm256", L"COM256"},
                   {L"COM257", L""},   {L"COM0", L""},       {L"COM03", L""},
                   {L"COM", L""},      {L"LPT1", L""},       {L"COM3x", L""},
                   {L"\\\\.\\", L""},  {L"\\\\?\\COM3", L""}};
    for (const auto& row : devices) {
        std::wstring comName;
        EXPECT_EQ(portconfig::ParseSerialDevice(row.text, &comName), !row.comName.empty())
            << std::string(row.text.begin(), row.text.end());
        if (!row.comName.empty()) {
            EXPECT_EQ(comName, row.comName);
        }
    }
}

class FixedComPorts : public portconfig::ComPortList {
  public:
    std::vector<std::wstring> Names() override { return {L"COM1", L"COM21"}; }
};

// The route to the monitor, with "SetPortSettings" refused on demand.
class SettingsRefusingRoute : public MonitorTableRoute {
  public:
    using MonitorTableRoute::MonitorTableRoute;
    DWORD Data(HANDLE xcv, const std::wstring& command, const void* input, DWORD inputSize,
               void* output, DWORD outputSize, DWORD* needed) override {
        if (command == L"SetPortSettings" && refuseWith != 0) {
            return refuseWith;
        }
        return MonitorTableRoute::Data(xcv, command, input, inputSize, output, outputSize, needed);
    }
    DWORD refuseWith = 0;
};

// The "Ports" key, with writes refused on demand as for a user without the rights,
// and, on demand, a device read that is out of date.
class GuardedStore : public portconfig::RegistryPortStore {
  public:
    using RegistryPortStore::RegistryPortStore;
    DWORD ReadDevice(const std::wstring& port, std::wstring* device) override {
        const DWORD code = RegistryPortStore::ReadDevice(port, device);
        if (code == ERROR_SUCCESS && !staleDevice.empty()) {
            *device = staleDevice;
        }
        return code;
    }
    DWORD WriteDevice(const std::wstring& port, const std::wstring& device) override {
        return refuseWrites ? ERROR_ACCESS_DENIED : RegistryPortStore::WriteDevice(port, device);
    }
    bool refuseWrites = false;
    std::wstring staleDevice;
};

class PortConfigurationTest : public PortsTest {
  protected:
    void SetUp() override {
        PortsTest::SetUp();
        Initialize();
        UseAccess(SERVER_ACCESS_ADMINISTER);
    }
    void TearDown() override {
        // Every step closes the transceive handles it opened.
        EXPECT_EQ(route->openHandles, 0);
        PortsTest::TearDown();
    }
    void UseAccess(ACCESS_MASK granted) {
        route = std::make_unique<SettingsRefusingRoute>(table, harness.MonitorHandle(), granted);
        configuration = std::make_unique<portconfig::PortConfiguration>(*route, store, comPorts);
    }

    std::unique_ptr<SettingsRefusingRoute> route;
    GuardedStore store{harness.registry.Root(), L""};
    FixedComPorts comPorts;
    std::unique_ptr<portconfig::PortConfiguration> configuration;
};

TEST_F(PortConfigurationTest, AddsListsReconfiguresAndDeletesPorts) {
    ASSERT_TRUE(configuration->AddPort(L"VelaLab:", L"").Ok());
    ASSERT_TRUE(configuration->AddPort(L"VelaCube:", L"com21").Ok());
    EXPECT_EQ(ListedNames(), (std::vector<std::wstring>{L"VelaLab:", L"VelaCube:"}));
    // The device path as the protocol handler opens it.
    EXPECT_EQ(harness.registry.PortValueData(L"VelaCube:"), L"\\\\.\\COM21");
    EXPECT_EQ(harness.registry.PortValueData(L"VelaLab:"), L"");

    ASSERT_TRUE(configuration->SetDevice(L"vELALAB:", L"\\\\.\\COM1").Ok());
    ASSERT_TRUE(configuration->SetDevice(L"VelaCube:", L"").Ok());
    std::vector<PortListing> ports;
    ASSERT_TRUE(configuration->ListPorts(&ports).Ok());
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].name, L"VelaLab:");
    EXPECT_EQ(ports[0].device, L"\\\\.\\COM1");
    EXPECT_EQ(ports[1].device, L"");

    ASSERT_TRUE(configuration->DeletePort(L"VelaLab:").Ok());
    EXPECT_FALSE(harness.registry.HasPortValue(L"VelaLab:"));
    const Outcome again = configuration->DeletePort(L"VelaLab:");
    EXPECT_EQ(again.code, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(again.message.find(L"not a port of the Vela3dp Print Monitor"), std::wstring::npos);
}

TEST_F(PortConfigurationTest, RefusedAddsLeaveNoPort) {
    ASSERT_TRUE(configuration->AddPort(L"VelaLab:", L"").Ok());
    const struct {
        std::wstring name;
        std::wstring device;
        DWORD code;
        std::wstring says;
    } refusals[] = {
        // Wine's spooler offers LPT1: through its own monitor.
        {L"lpt1:", L"", ERROR_ALREADY_EXISTS, L"is taken"},
        // The monitor's own port, in another letter case.
        {L"VELALAB:", L"COM1", ERROR_ALREADY_EXISTS, L"is taken"},
        {L"Vela,2:", L"", ERROR_INVALID_NAME, L"commas"},
        {std::wstring(248, L'q'), L"", ERROR_INVALID_NAME, L"at most 247"},
        {L"VelaNew:", L"LPT1", ERROR_INVALID_PARAMETER, L"not a serial port"},
        {L"VelaNew:", L"COM9", ERROR_DEV_NOT_EXIST, L"no serial port COM9"},
    };
    for (const auto& row : refusals) {
        const Outcome outcome = configuration->AddPort(row.name, row.device);
        EXPECT_EQ(outcome.code, row.code) << std::string(row.says.begin(), row.says.end());
        EXPECT_NE(outcome.message.find(row.says), std::wstring::npos);
    }
    EXPECT_EQ(ListedNames(), (std::vector<std::wstring>{L"VelaLab:"}));
    EXPECT_EQ(harness.registry.PortValueData(L"VelaLab:"), L"");
}

TEST_F(PortConfigurationTest, WithoutAdministratorRightsNothingChanges) {
    ASSERT_TRUE(configuration->AddPort(L"VelaLab:", L"").Ok());
    UseAccess(SERVER_ACCESS_ENUMERATE);
    store.refuseWrites = true;
    const Outcome outcomes[] = {configuration->AddPort(L"VelaNew:", L""),
                                configuration->SetDevice(L"VelaLab:", L"COM1"),
                                configuration->DeletePort(L"VelaLab:")};
    for (const Outcome& outcome : outcomes) {
        EXPECT_EQ(outcome.code, static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_NE(outcome.message.find(L"administrator"), std::wstring::npos);
    }
    EXPECT_EQ(ListedNames(), (std::vector<std::wstring>{L"VelaLab:"}));
    EXPECT_EQ(harness.registry.PortValueData(L"VelaLab:"), L"");
}

TEST_F(PortConfigurationTest, ASerialPortWhoseDeviceCannotBeStoredIsTakenBack) {
    store.refuseWrites = true;
    const Outcome outcome = configuration->AddPort(L"VelaCube:", L"COM21");
    EXPECT_EQ(outcome.code, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(ListedNames().empty());
    EXPECT_FALSE(harness.registry.HasPortValue(L"VelaCube:"));
}

TEST_F(PortConfigurationTest, OnlyTheMonitorsStoredPortsTakeADevice) {
    const Outcome outcome = configuration->SetDevice(L"VelaNone:", L"COM1");
    EXPECT_EQ(outcome.code, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // No value appears for a name the monitor does not store.
    EXPECT_FALSE(harness.registry.HasPortValue(L"VelaNone:"));
    EXPECT_EQ(store.WriteDevice(L"VelaNone:", L"\\\\.\\COM1"),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(harness.registry.HasPortValue(L"VelaNone:"));
}

PortSettingsChange SerialLine(uint32_t rate, uint32_t window) {
    PortSettingsChange change;
    change.baudRate = rate;
    change.streamWindow = window;
    return change;
}

TEST_F(PortConfigurationTest, ASerialPortsSettingsAreSetAndReadThroughTheMonitor) {
    ASSERT_TRUE(configuration->AddPort(L"VelaCube:", L"COM21", SerialLine(250000, 127)).Ok());
    PortSettingsChange lines;
    lines.cancelLines = portconfig::SplitGcodeText(L" M104 S0 ;M140 S0;; M84;");
    ASSERT_TRUE(configuration->ChangeSettings(L"velacube:", lines).Ok());
    PortSettings settings;
    ASSERT_TRUE(configuration->ReadSettings(L"VelaCube:", &settings).Ok());
    EXPECT_EQ(settings.baudRate, 250000u);
    EXPECT_EQ(settings.streamWindow, 127u);
    EXPECT_EQ(portconfig::GcodeLinesText(settings.cancelLines), L"M104 S0;M140 S0;M84");
    EXPECT_EQ(portconfig::GcodeLinesText(settings.pauseLines), L"(none)");
}

TEST_F(PortConfigurationTest, RefusedSettingsSayWhyAndChangeNothing) {
    ASSERT_TRUE(configuration->AddPort(L"VelaCube:", L"COM21").Ok());
    ASSERT_TRUE(configuration->AddPort(L"VelaLab:", L"").Ok());
    PortSettingsChange badLine;
    badLine.pauseLines = portconfig::SplitGcodeText(L"M25;M117 Pausé");
    const struct {
        std::wstring name;
        PortSettingsChange change;
        DWORD code;
        std::wstring says;
    } refusals[] = {
        {L"VelaCube:", SerialLine(12345, 0), ERROR_INVALID_DATA, L"not a standard speed"},
        {L"VelaCube:", SerialLine(0, 5000), ERROR_INVALID_DATA, L"at most 4096 bytes"},
        {L"VelaCube:", badLine, ERROR_INVALID_DATA, L"Line 2 of the pause G-code"},
        {L"VelaCube:", PortSettingsChange(), ERROR_INVALID_PARAMETER, L"Give a setting"},
        {L"VelaLab:", SerialLine(115200, 0), ERROR_NOT_SUPPORTED, L"USB printer"},
        {L"VelaNone:", SerialLine(115200, 0), ERROR_FILE_NOT_FOUND, L"not a port of"},
    };
    for (const auto& row : refusals) {
        const Outcome outcome = configuration->ChangeSettings(row.name, row.change);
        EXPECT_EQ(outcome.code, row.code) << std::string(row.says.begin(), row.says.end());
        EXPECT_NE(outcome.message.find(row.says), std::wstring::npos);
    }
    UseAccess(SERVER_ACCESS_ENUMERATE);
    const Outcome denied = configuration->ChangeSettings(L"VelaCube:", SerialLine(115200, 0));
    EXPECT_EQ(denied.code, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_NE(denied.message.find(L"administrator"), std::wstring::npos);
    EXPECT_FALSE(ReadPortSettings(State(), L"VelaCube:").streamWindowStored);
    EXPECT_EQ(ReadPortSettings(State(), L"VelaCube:").baudRate, kAutomaticBaudRate);
}

// The port became a USB printer's after it was read as serial: the monitor refuses
// the settings itself, and the reason is the USB printer.
TEST_F(PortConfigurationTest, TheMonitorRefusesSettingsForAUsbPrinter) {
    ASSERT_TRUE(configuration->AddPort(L"VelaLab:", L"").Ok());
    store.staleDevice = L"\\\\.\\COM21";
    const Outcome refused = configuration->ChangeSettings(L"VelaLab:", SerialLine(115200, 0));
    EXPECT_EQ(refused.code, static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    EXPECT_NE(refused.message.find(L"\"VelaLab:\" is a port for a USB printer"),
              std::wstring::npos);
    EXPECT_EQ(ReadPortSettings(State(), L"VelaLab:").baudRate, kAutomaticBaudRate);
}

TEST_F(PortConfigurationTest, APortWhoseSettingsCannotBeStoredIsNotAdded) {
    const struct {
        std::wstring device;
        PortSettingsChange change;
        DWORD code;
    } refusals[] = {
        {L"", SerialLine(115200, 0), ERROR_NOT_SUPPORTED},
        {L"COM21", SerialLine(115201, 0), ERROR_INVALID_DATA},
    };
    for (const auto& row : refusals) {
        EXPECT_EQ(configuration->AddPort(L"VelaCube:", row.device, row.change).code, row.code);
    }
    EXPECT_EQ(RegistryMonitorInit::SetValueCalls(), 0);
    route->refuseWith = ERROR_WRITE_PROTECT;
    EXPECT_EQ(configuration->AddPort(L"VelaCube:", L"COM21", SerialLine(115200, 0)).code,
              static_cast<DWORD>(ERROR_WRITE_PROTECT));
    EXPECT_TRUE(ListedNames().empty());
    EXPECT_FALSE(harness.registry.HasPortValue(L"VelaCube:"));
}

} // namespace
} // namespace vela::test
