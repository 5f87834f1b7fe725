// The entries the monitor answers without a device: SetPortTimeOuts,
// GetPrinterDataFromPort, ReadPort and SendRecvBidiDataFromPort.
#include "PortsTestSupport.h"

#include "ports/PortList.h"

#include <cstring>

namespace vela::test {
namespace {

class DeviceEntryTest : public PortsTest {
  protected:
    void SetUp() override {
        harness.registry.SetPortValue(L"COM9:", L"");
        PortsTest::SetUp();
        Initialize();
        port = Context()->firstPort;
        ASSERT_NE(port, nullptr);
    }
    PortEntry* port = nullptr;
};

TEST_F(DeviceEntryTest, SetPortTimeOutsIsRefused) {
    COMMTIMEOUTS timeouts{1, 2, 3, 4, 5};
    ::SetLastError(0);
    EXPECT_FALSE(table->pfnSetPortTimeOuts(port, &timeouts, 0));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(table->pfnSetPortTimeOuts(port, &timeouts, 1));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(DeviceEntryTest, GetPrinterDataFromPortIsRefusedAndReturnsNothing) {
    wchar_t output[16] = {L'x'};
    DWORD returned = 99;
    EXPECT_FALSE(table->pfnGetPrinterDataFromPort(port, 0x2D0000, nullptr, nullptr, 0, output,
                                                  sizeof(output), &returned));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(output[0], L'x');
    EXPECT_FALSE(table->pfnGetPrinterDataFromPort(port, 0, nullptr, nullptr, 0, output,
                                                  sizeof(output), nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(DeviceEntryTest, ReadPortRepliesWithTheFixedText) {
    BYTE buffer[32];
    std::memset(buffer, 0xA5, sizeof(buffer));
    DWORD read = 0;
    ASSERT_TRUE(table->pfnReadPort(port, buffer, sizeof(buffer), &read));
    EXPECT_EQ(read, 19u);
    EXPECT_EQ(std::memcmp(buffer, "Read Printer Params", 20), 0);
    EXPECT_EQ(buffer[20], 0xA5);
    std::memset(buffer, 0xA5, sizeof(buffer));
    ASSERT_TRUE(table->pfnReadPort(port, buffer, 20, &read));
    EXPECT_EQ(buffer[19], 0);
}

TEST_F(DeviceEntryTest, ReadPortIntoTooSmallOrNoBufferWritesNothing) {
    BYTE buffer[20];
    std::memset(buffer, 0xA5, sizeof(buffer));
    DWORD read = 7;
    EXPECT_FALSE(table->pfnReadPort(port, buffer, 19, &read));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(buffer[0], 0xA5);
    read = 7;
    EXPECT_FALSE(table->pfnReadPort(port, nullptr, 20, &read));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(read, 0u);
    EXPECT_FALSE(table->pfnReadPort(port, buffer, 20, nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(buffer[0], 0xA5);
}

TEST_F(DeviceEntryTest, BidiRequestsSucceedWithoutResponse) {
    auto* response = reinterpret_cast<PBIDI_RESPONSE_CONTAINER>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(table->pfnSendRecvBidiDataFromPort(port, 1, L"Get", nullptr, &response), 0u);
    EXPECT_EQ(response, reinterpret_cast<PBIDI_RESPONSE_CONTAINER>(static_cast<ULONG_PTR>(0x1234)));
}

TEST_F(DeviceEntryTest, TableProvidesThePortManagementEntries) {
    EXPECT_NE(table->pfnEnumPorts, nullptr);
    EXPECT_NE(table->pfnReadPort, nullptr);
    EXPECT_NE(table->pfnAddPortEx, nullptr);
    EXPECT_NE(table->pfnGetPrinterDataFromPort, nullptr);
    EXPECT_NE(table->pfnSetPortTimeOuts, nullptr);
    EXPECT_NE(table->pfnXcvOpenPort, nullptr);
    EXPECT_NE(table->pfnXcvDataPort, nullptr);
    EXPECT_NE(table->pfnXcvClosePort, nullptr);
    EXPECT_NE(table->pfnSendRecvBidiDataFromPort, nullptr);
    EXPECT_EQ(table->pfnAddPort, nullptr);
    EXPECT_EQ(table->pfnDeletePort, nullptr);
}

} // namespace
} // namespace vela::test
