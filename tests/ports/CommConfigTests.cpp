// The default comm configuration commands, against a recording double for the
// exact calls and failures, and against Wine's own kernel32 for a round trip.
#include "PortsTestSupport.h"

#include "ports/CommSettings.h"

#include <cstring>

namespace vela::test {
namespace {

COMMCONFIG Record(DWORD baudRate) {
    COMMCONFIG config{};
    config.dwSize = sizeof(config);
    config.wVersion = 1;
    config.dcb.DCBlength = sizeof(DCB);
    config.dcb.BaudRate = baudRate;
    config.dcb.ByteSize = 8;
    config.dwProviderSubType = PST_RS232;
    return config;
}

class CommConfigTest : public PortsTest {
  protected:
    CommConfigTest() { harness.platform.commConfig = &commConfig; }
    void SetUp() override {
        PortsTest::SetUp();
        Initialize();
    }
    DWORD Set(HANDLE xcv, const void* record, DWORD size) {
        DWORD needed = 0;
        return Xcv(xcv, L"SetDefaultCommConfig", record, size, nullptr, 0, &needed);
    }
    DWORD Get(const std::wstring& device, void* output, DWORD size, DWORD* needed) {
        HANDLE xcv = OpenXcv(nullptr, 0);
        return Xcv(xcv, L"GetDefaultCommConfig", device.c_str(), TextBytes(device), output, size,
                   needed);
    }
    RecordingCommConfig commConfig;
};

TEST_F(CommConfigTest, SetPassesTheNameWithoutColonAndTheRecordsOwnSize) {
    HANDLE xcv = OpenXcv(L"COM5:");
    struct {
        COMMCONFIG config;
        BYTE providerData[8];
    } input{};
    input.config = Record(250000);
    input.config.dwSize = sizeof(input);
    EXPECT_EQ(Set(xcv, &input, sizeof(input)), 0u);
    EXPECT_EQ(commConfig.setCalls, 1);
    EXPECT_EQ(commConfig.lastName, L"COM5");
    EXPECT_EQ(commConfig.lastSize, static_cast<DWORD>(sizeof(input)));
    EXPECT_EQ(commConfig.stored.dcb.BaudRate, 250000u);
    EXPECT_EQ(harness.spoolerHelpers.reverts, 1);
    EXPECT_EQ(harness.spoolerHelpers.impersonations, 1);
}

TEST_F(CommConfigTest, SetRefusesShortRecordsAndNamesWithoutColon) {
    COMMCONFIG config = Record(9600);
    EXPECT_EQ(Set(OpenXcv(L"COM5:"), &config, 51), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Set(OpenXcv(L"COM5:"), nullptr, 52), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // The record claims more than the input holds.
    config.dwSize = 60;
    EXPECT_EQ(Set(OpenXcv(L"COM5:"), &config, 52), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    config.dwSize = 52;
    EXPECT_EQ(Set(OpenXcv(L"COM5"), &config, 52), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Set(OpenXcv(nullptr), &config, 52), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(commConfig.setCalls, 0);
    EXPECT_EQ(harness.spoolerHelpers.reverts, 0);
}

TEST_F(CommConfigTest, SetNeedsTheAdministerRight) {
    COMMCONFIG config = Record(9600);
    EXPECT_EQ(Set(OpenXcv(L"COM5:", SERVER_ACCESS_ENUMERATE), &config, 52),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(commConfig.setCalls, 0);
}

TEST_F(CommConfigTest, SetFailuresPassTheirCodeOn) {
    COMMCONFIG config = Record(9600);
    commConfig.failWith = ERROR_BADKEY;
    EXPECT_EQ(Set(OpenXcv(L"COM5:"), &config, 52), static_cast<DWORD>(ERROR_BADKEY));
    EXPECT_EQ(harness.spoolerHelpers.impersonations, 1);
    commConfig.failWith = 0;
    harness.spoolerHelpers.token = nullptr;
    ::SetLastError(ERROR_NO_TOKEN);
    EXPECT_EQ(Set(OpenXcv(L"COM5:"), &config, 52), static_cast<DWORD>(ERROR_NO_TOKEN));
    EXPECT_EQ(commConfig.setCalls, 1);
}

TEST_F(CommConfigTest, GetIntoFiftyOneBytesIs122With52Needed) {
    BYTE output[52];
    std::memset(output, 0xA5, sizeof(output));
    DWORD needed = 0;
    EXPECT_EQ(Get(L"COM5", output, 51, &needed), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 52u);
    EXPECT_EQ(output[0], 0xA5);
    EXPECT_EQ(Get(L"COM5", nullptr, 0, &needed), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 52u);
    EXPECT_EQ(commConfig.getCalls, 0);
}

TEST_F(CommConfigTest, GetAsksForRs232WithTheWholeOutputSize) {
    commConfig.stored = Record(115200);
    std::vector<BYTE> output(64, 0);
    DWORD needed = 0;
    EXPECT_EQ(Get(L"COM5", output.data(), 64, &needed), 0u);
    EXPECT_EQ(commConfig.lastName, L"COM5");
    EXPECT_EQ(commConfig.lastSize, 64u);
    EXPECT_EQ(commConfig.providerSubTypeOnEntry, static_cast<DWORD>(PST_RS232));
    EXPECT_EQ(needed, 52u);
    EXPECT_EQ(reinterpret_cast<const COMMCONFIG*>(output.data())->dcb.BaudRate, 115200u);
    // No identity change for a read.
    EXPECT_EQ(harness.spoolerHelpers.reverts, 0);
}

TEST_F(CommConfigTest, GetRefusesMalformedBuffersAndPassesFailuresOn) {
    COMMCONFIG output{};
    DWORD needed = 0;
    HANDLE xcv = OpenXcv(nullptr, 0);
    EXPECT_EQ(Xcv(xcv, L"GetDefaultCommConfig", nullptr, 10, &output, 52, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Xcv(xcv, L"GetDefaultCommConfig", L"COM5", 8, &output, 52, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Get(L"COM5", nullptr, 52, &needed), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(commConfig.getCalls, 0);
    commConfig.failWith = ERROR_BADKEY;
    EXPECT_EQ(Get(L"COM5", &output, 52, &needed), static_cast<DWORD>(ERROR_BADKEY));
}

// Wine's kernel32 keeps each device's DCB below this key.
constexpr wchar_t kWinePortsKey[] = L"System\\CurrentControlSet\\Services\\Class\\Ports\\COM7";

class WineCommConfigTest : public PortsTest {
  protected:
    void SetUp() override {
        PortsTest::SetUp();
        Initialize();
    }
    ScopedMachineValue stored{kWinePortsKey, L"DCB"};
};

TEST_F(WineCommConfigTest, WrittenConfigurationReadsBack) {
    HANDLE xcv = OpenXcv(L"COM7:");
    COMMCONFIG config = Record(57600);
    DWORD needed = 0;
    ASSERT_EQ(Xcv(xcv, L"SetDefaultCommConfig", &config, sizeof(config), nullptr, 0, &needed), 0u);
    COMMCONFIG output{};
    const std::wstring device = L"COM7";
    EXPECT_EQ(Xcv(xcv, L"GetDefaultCommConfig", device.c_str(), TextBytes(device), &output,
                  sizeof(output), &needed),
              0u);
    EXPECT_EQ(output.dcb.BaudRate, 57600u);
    EXPECT_EQ(needed, 52u);
}

TEST_F(WineCommConfigTest, UnknownDeviceFailsWithWinesCode) {
    COMMCONFIG output{};
    DWORD needed = 0;
    const std::wstring device = L"NOPE";
    const DWORD result = Xcv(OpenXcv(nullptr, 0), L"GetDefaultCommConfig", device.c_str(),
                             TextBytes(device), &output, sizeof(output), &needed);
    EXPECT_NE(result, 0u);
}

} // namespace
} // namespace vela::test
