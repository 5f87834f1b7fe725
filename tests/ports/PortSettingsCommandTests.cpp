// A port's settings through the transceive commands "GetPortSettings" and
// "SetPortSettings", and as the monitor reads them from the registry for a document.
#include "PortsTestSupport.h"

#include "core/PortSettingsLayout.h"
#include "ports/PortSettingsStore.h"
#include "sim/LogFile.h"

namespace vela::test {
namespace {

class PortSettingsTest : public PortsTest {
  protected:
    void SetUp() override {
        PortsTest::SetUp();
        Initialize();
        admin = OpenXcv(nullptr, SERVER_ACCESS_ADMINISTER);
        user = OpenXcv(nullptr, SERVER_ACCESS_ENUMERATE);
        ASSERT_EQ(XcvText(admin, L"AddPort", kPort), 0u);
        // A serial printer's port: only such a port takes settings.
        harness.registry.SetPortValue(kPort, L"\\\\.\\COM5");
        ResetLog();
    }
    DWORD Set(HANDLE xcv, const std::wstring& port, const PortSettingsChange& change) {
        const std::vector<uint8_t> input = EncodeSettingsChange(port, change);
        DWORD needed = 0;
        return Xcv(xcv, L"SetPortSettings", input.data(), static_cast<DWORD>(input.size()), nullptr,
                   0, &needed);
    }
    DWORD Get(const std::wstring& port, PortSettings* settings) {
        const std::vector<uint8_t> input = EncodePortName(port);
        std::vector<uint8_t> output(4096);
        DWORD needed = 0;
        const DWORD code =
            Xcv(user, L"GetPortSettings", input.data(), static_cast<DWORD>(input.size()),
                output.data(), static_cast<DWORD>(output.size()), &needed);
        if (code == ERROR_SUCCESS && !DecodePortSettings(output.data(), needed, settings)) {
            ADD_FAILURE() << "the answer is not the layout";
        }
        return code;
    }
    // A value under the port's settings key, or under the root key without a port.
    void Store(const wchar_t* port, const wchar_t* name, DWORD type, const void* data, DWORD size) {
        HKEY key = harness.registry.Root();
        if (port != nullptr) {
            ASSERT_EQ(::RegCreateKeyExW(harness.registry.Root(),
                                        (std::wstring(L"PortSettings\\") + port).c_str(), 0,
                                        nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
        }
        ASSERT_EQ(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        if (port != nullptr) {
            ::RegCloseKey(key);
        }
    }
    void StoreLines(const wchar_t* port, const wchar_t* name, const std::wstring& multiString) {
        Store(port, name, REG_MULTI_SZ, multiString.c_str(),
              static_cast<DWORD>(multiString.size() * sizeof(wchar_t)));
    }
    // The type of a value under the port's settings key; REG_NONE when missing.
    DWORD StoredType(const wchar_t* name) {
        DWORD type = REG_NONE;
        if (::RegGetValueW(harness.registry.Root(), L"PortSettings\\VelaCube:", name,
                           RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, nullptr) != ERROR_SUCCESS) {
            return REG_NONE;
        }
        return type;
    }

    static constexpr const wchar_t* kPort = L"VelaCube:";
    HANDLE admin = nullptr;
    HANDLE user = nullptr;
};

TEST_F(PortSettingsTest, WhatIsSetIsStoredAsTheSpoolerAndReadBack) {
    PortSettings settings;
    ASSERT_EQ(Get(kPort, &settings), 0u);
    EXPECT_EQ(settings.streamWindow, 0u);
    EXPECT_EQ(settings.baudRate, kAutomaticBaudRate);
    EXPECT_EQ(settings.cancelLines, DefaultCancelLines());
    EXPECT_TRUE(settings.pauseLines.empty());

    PortSettingsChange change;
    change.streamWindow = 127;
    change.baudRate = 250000;
    change.cancelLines = std::vector<std::string>{"M104 S0", "M84"};
    change.pauseLines = std::vector<std::string>{"M25"};
    change.resumeLines = std::vector<std::string>{"M24"};
    const int reverts = harness.spoolerHelpers.reverts;
    // In another letter case: names are compared as the registry compares them.
    ASSERT_EQ(Set(admin, L"velacube:", change), 0u);
    EXPECT_EQ(harness.spoolerHelpers.reverts, reverts + 1);
    EXPECT_EQ(harness.spoolerHelpers.impersonations, harness.spoolerHelpers.reverts);
    EXPECT_EQ(StoredType(kStreamWindowName), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(StoredType(kBaudRateName), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(StoredType(kCancelGcodeName), static_cast<DWORD>(REG_MULTI_SZ));

    ASSERT_EQ(Get(kPort, &settings), 0u);
    EXPECT_EQ(settings.streamWindow, 127u);
    EXPECT_EQ(settings.baudRate, 250000u);
    EXPECT_EQ(settings.cancelLines, *change.cancelLines);
    EXPECT_EQ(settings.pauseLines, *change.pauseLines);
    EXPECT_EQ(settings.resumeLines, *change.resumeLines);
    EXPECT_TRUE(ReadPortSettings(State(), kPort).streamWindowStored);

    // A change sets only what it names; an empty list removes the port's own.
    PortSettingsChange clear;
    clear.cancelLines = std::vector<std::string>{};
    clear.pauseLines = std::vector<std::string>{};
    ASSERT_EQ(Set(admin, kPort, clear), 0u);
    EXPECT_EQ(StoredType(kCancelGcodeName), static_cast<DWORD>(REG_NONE));
    ASSERT_EQ(Get(kPort, &settings), 0u);
    EXPECT_EQ(settings.cancelLines, DefaultCancelLines());
    EXPECT_TRUE(settings.pauseLines.empty());
    EXPECT_EQ(settings.resumeLines, *change.resumeLines);
    EXPECT_EQ(settings.baudRate, 250000u);
    EXPECT_EQ(ReadLog(), "");
}

TEST_F(PortSettingsTest, RefusedChangesWriteNothing) {
    PortSettingsChange good;
    good.baudRate = 115200;
    std::vector<uint8_t> malformed = EncodeSettingsChange(kPort, good);
    malformed.pop_back();
    std::vector<uint8_t> badValue = EncodeSettingsChange(kPort, good);
    badValue[badValue.size() - 6] = '2'; // 115202
    // A USB printer's port, and one listed without a value (an attached printer's).
    ASSERT_EQ(XcvText(admin, L"AddPort", L"VelaLab:"), 0u);
    ASSERT_EQ(XcvText(admin, L"AddPort", L"VelaAttached:"), 0u);
    ASSERT_EQ(::RegDeleteKeyValueW(harness.registry.Root(), L"Ports", L"VelaAttached:"),
              ERROR_SUCCESS);
    const int setValues = RegistryMonitorInit::SetValueCalls();
    const int deleteValues = RegistryMonitorInit::DeleteValueCalls();
    const struct {
        const char* what;
        HANDLE xcv;
        std::vector<uint8_t> input;
        DWORD code;
    } cases[] = {
        {"no administer right", user, EncodeSettingsChange(kPort, good), ERROR_ACCESS_DENIED},
        {"not the monitor's port", admin, EncodeSettingsChange(L"VelaNone:", good),
         ERROR_FILE_NOT_FOUND},
        {"malformed", admin, malformed, ERROR_INVALID_PARAMETER},
        {"value out of range", admin, badValue, ERROR_INVALID_DATA},
        {"no input", admin, {}, ERROR_INVALID_PARAMETER},
        {"a USB printer's port", admin, EncodeSettingsChange(L"VelaLab:", good),
         ERROR_NOT_SUPPORTED},
        {"an attached printer's port", admin, EncodeSettingsChange(L"VelaAttached:", good),
         ERROR_NOT_SUPPORTED},
    };
    for (const auto& item : cases) {
        DWORD needed = 0;
        EXPECT_EQ(Xcv(item.xcv, L"SetPortSettings",
                      item.input.empty() ? nullptr : item.input.data(),
                      static_cast<DWORD>(item.input.size()), nullptr, 0, &needed),
                  item.code)
            << item.what;
    }
    EXPECT_EQ(RegistryMonitorInit::SetValueCalls(), setValues);
    EXPECT_EQ(RegistryMonitorInit::DeleteValueCalls(), deleteValues);
    EXPECT_EQ(Set(admin, kPort, good), 0u);
}

// Each of the five writes failing in turn: the change is refused with the
// registry's code and every setting reads as before, restored or deleted again; a
// port that had no settings keeps no key.
TEST_F(PortSettingsTest, AWriteThatFailsPartWayLeavesTheSettingsAsTheyWere) {
    const DWORD window = 64;
    Store(kPort, kStreamWindowName, REG_DWORD, &window, sizeof(window));
    StoreLines(kPort, kCancelGcodeName, std::wstring(L"M104 S0\0\0", 9));
    StoreLines(kPort, kPauseGcodeName, std::wstring(L"M25\0\0", 5));
    ASSERT_EQ(XcvText(admin, L"AddPort", L"VelaLab:"), 0u);
    harness.registry.SetPortValue(L"VelaLab:", L"\\\\.\\COM6");
    const std::vector<uint8_t> before = EncodePortSettings(ReadPortSettings(State(), kPort));
    PortSettingsChange change;
    change.streamWindow = 127;
    change.baudRate = 250000;
    change.cancelLines = std::vector<std::string>{"M84"};
    change.pauseLines = std::vector<std::string>{}; // a deletion
    change.resumeLines = std::vector<std::string>{"M24"};
    for (int failing = 0; failing < 5; ++failing) {
        RegistryMonitorInit::FailWriteAfter(failing, ERROR_WRITE_PROTECT);
        EXPECT_EQ(Set(admin, kPort, change), static_cast<DWORD>(ERROR_WRITE_PROTECT)) << failing;
        EXPECT_EQ(EncodePortSettings(ReadPortSettings(State(), kPort)), before) << failing;
        RegistryMonitorInit::FailWriteAfter(failing, ERROR_WRITE_PROTECT);
        EXPECT_EQ(Set(admin, L"VelaLab:", change), static_cast<DWORD>(ERROR_WRITE_PROTECT));
        EXPECT_EQ(::RegDeleteKeyW(harness.registry.Root(), L"PortSettings\\VelaLab:"),
                  ERROR_FILE_NOT_FOUND)
            << failing;
    }
    EXPECT_EQ(ReadLog(), "");
}

TEST_F(PortSettingsTest, GetAnnouncesItsSizeAndKnowsOnlyTheMonitorsPorts) {
    const std::vector<uint8_t> input = EncodePortName(kPort);
    const std::vector<uint8_t> expected = EncodePortSettings(ReadPortSettings(State(), kPort));
    std::vector<uint8_t> output(expected.size(), 0xA5);
    DWORD needed = 0;
    EXPECT_EQ(Xcv(user, L"GetPortSettings", input.data(), static_cast<DWORD>(input.size()),
                  output.data(), static_cast<DWORD>(output.size() - 1), &needed),
              static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, expected.size());
    EXPECT_EQ(output[0], 0xA5);
    EXPECT_EQ(Xcv(user, L"GetPortSettings", input.data(), static_cast<DWORD>(input.size()),
                  output.data(), static_cast<DWORD>(output.size()), &needed),
              0u);
    EXPECT_EQ(output, expected);
    PortSettings settings;
    EXPECT_EQ(Get(L"VelaNone:", &settings), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Xcv(user, L"GetPortSettings", input.data(), static_cast<DWORD>(input.size() - 2),
                  output.data(), static_cast<DWORD>(output.size()), &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(PortSettingsTest, ADeletedPortTakesItsSettingsAlong) {
    PortSettingsChange change;
    change.baudRate = 250000;
    ASSERT_EQ(Set(admin, kPort, change), 0u);
    ASSERT_EQ(XcvText(admin, L"DeletePort", kPort), 0u);
    EXPECT_EQ(StoredType(kBaudRateName), static_cast<DWORD>(REG_NONE));
    ASSERT_EQ(XcvText(admin, L"AddPort", kPort), 0u);
    EXPECT_EQ(ReadPortSettings(State(), kPort).baudRate, kAutomaticBaudRate);
}

TEST_F(PortSettingsTest, StoredValuesThatBreakTheRulesAreIgnoredWithALogLine) {
    const DWORD window = 5000;
    const DWORD rate = 12345;
    const DWORD wide = 0x12345678;
    Store(kPort, kStreamWindowName, REG_DWORD, &window, sizeof(window));
    Store(kPort, kBaudRateName, REG_BINARY, &wide, sizeof(wide));
    StoreLines(kPort, kPauseGcodeName, std::wstring(L"M25\0M117 *\0", 12));
    StoreLines(kPort, kResumeGcodeName, std::wstring(L"M24\0\0", 5));
    PortSettings read = ReadPortSettings(State(), kPort);
    EXPECT_FALSE(read.streamWindowStored);
    EXPECT_EQ(read.streamWindow, 0u);
    EXPECT_EQ(read.baudRate, kAutomaticBaudRate);
    EXPECT_TRUE(read.pauseLines.empty());
    EXPECT_EQ(read.resumeLines, (std::vector<std::string>{"M24"}));
    const std::string log = ReadLog();
    EXPECT_NE(log.find("Ignored \"StreamWindow\" of the port \"VelaCube:\": A window of 5000 "
                       "bytes is too large"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Ignored \"BaudRate\" of the port \"VelaCube:\": it is not a REG_DWORD."),
              std::string::npos);
    EXPECT_NE(log.find("\"PauseGCode\" of the port \"VelaCube:\": Line 2 of the pause G-code "
                       "holds '*'"),
              std::string::npos);

    Store(kPort, kBaudRateName, REG_DWORD, &rate, sizeof(rate));
    EXPECT_EQ(ReadPortSettings(State(), kPort).baudRate, kAutomaticBaudRate);
    EXPECT_NE(ReadLog().find("12345 baud is not a standard speed"), std::string::npos);
}

// The port's own lines, else the monitor-wide ones under the root key (as stored
// before ports had their own), else the default lines; a list that breaks the
// rules counts as missing.
TEST_F(PortSettingsTest, CancelLinesFallBackFromThePortToTheMonitorToTheDefault) {
    const std::wstring own(L"M104 S0\0M84\0", 12);
    const std::wstring monitorWide(L"M140 S0\0", 8);
    const std::wstring broken(L"M104 S0\0M84 \x01\0", 14);
    const std::wstring empty(L"\0", 1);
    const struct {
        const wchar_t* what;
        std::wstring port; // empty: no value
        std::wstring root; // empty: no value
        std::vector<std::string> lines;
    } cases[] = {
        {L"neither", L"", L"", DefaultCancelLines()},
        {L"the port's", own, monitorWide, {"M104 S0", "M84"}},
        {L"the monitor's", L"", monitorWide, {"M140 S0"}},
        {L"the port's broken", broken, monitorWide, {"M140 S0"}},
        {L"both broken", broken, broken, DefaultCancelLines()},
        {L"an empty list", empty, empty, DefaultCancelLines()},
    };
    for (const auto& item : cases) {
        ::RegDeleteTreeW(harness.registry.Root(), L"PortSettings");
        ::RegDeleteValueW(harness.registry.Root(), kCancelGcodeName);
        if (!item.port.empty()) {
            StoreLines(kPort, kCancelGcodeName, item.port);
        }
        if (!item.root.empty()) {
            StoreLines(nullptr, kCancelGcodeName, item.root);
        }
        EXPECT_EQ(ReadPortSettings(State(), kPort).cancelLines, item.lines) << item.what;
    }
    EXPECT_NE(ReadLog().find("Ignored the monitor's \"CancelGCode\": Line 2 of the cancel G-code "
                             "holds a character that is not printable ASCII."),
              std::string::npos);
}

// The speed found is kept beside the setting: automatic stays automatic.
TEST_F(PortSettingsTest, TheMonitorRemembersAFoundSpeedBesideTheSetting) {
    ASSERT_EQ(RememberDetectedBaudRate(State(), kPort, 115200), 0u);
    EXPECT_EQ(ReadPortSettings(State(), kPort).detectedBaudRate, 115200u);
    EXPECT_EQ(ReadPortSettings(State(), kPort).baudRate, kAutomaticBaudRate);
    EXPECT_EQ(RememberDetectedBaudRate(State(), kPort, 115201),
              static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_EQ(RememberDetectedBaudRate(State(), L"Vela\\Cube:", 115200),
              static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_EQ(ReadPortSettings(State(), kPort).detectedBaudRate, 115200u);
}

} // namespace
} // namespace vela::test
