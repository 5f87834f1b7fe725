// The system's "TransmissionRetryTimeout", read and written in the prefix's
// HKEY_LOCAL_MACHINE; every test puts back the value it found.
#include "PortsTestSupport.h"

#include "ports/CommSettings.h"

namespace vela::test {
namespace {

class RetryTimeoutTest : public PortsTest {
  protected:
    void SetUp() override {
        PortsTest::SetUp();
        // Wine's prefix lacks the key that every Windows system has.
        value.CreateKey();
        Initialize();
    }
    DWORD ReadThroughCommand(HANDLE xcv) {
        DWORD seconds = 0;
        DWORD needed = 0;
        EXPECT_EQ(Xcv(xcv, L"GetTransmissionRetryTimeout", nullptr, 0, &seconds, 4, &needed), 0u);
        EXPECT_EQ(needed, 4u);
        return seconds;
    }
    ScopedMachineValue value{kWindowsSettingsKey, kRetryTimeoutValue};
};

TEST_F(RetryTimeoutTest, NumberTextIsRead) {
    value.SetText(L"90");
    EXPECT_EQ(ReadTransmissionRetryTimeout(), 90u);
    EXPECT_EQ(ReadThroughCommand(OpenXcv(nullptr, 0)), 90u);
}

TEST_F(RetryTimeoutTest, NineDigitsTakeTheSecondQuery) {
    value.SetText(L"123456789");
    EXPECT_EQ(ReadTransmissionRetryTimeout(), 123456789u);
}

TEST_F(RetryTimeoutTest, UnusableValuesReadAs45) {
    value.SetText(L"abc");
    EXPECT_EQ(ReadTransmissionRetryTimeout(), 45u);
    value.SetText(L"");
    EXPECT_EQ(ReadTransmissionRetryTimeout(), 45u);
    const DWORD number = 90;
    value.SetRaw(REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(ReadTransmissionRetryTimeout(), 45u);
    value.Remove();
    EXPECT_EQ(ReadTransmissionRetryTimeout(), 45u);
}

TEST_F(RetryTimeoutTest, ShortAndOddDataStaysInBounds) {
    value.SetRaw(REG_SZ, L"", 0);
    EXPECT_EQ(ReadTransmissionRetryTimeout(), 45u);
    value.SetRaw(REG_SZ, "7", 1);
    EXPECT_EQ(ReadTransmissionRetryTimeout(), 45u);
    // Two characters and half of a third.
    value.SetRaw(REG_SZ, L"77\x3939", 5);
    EXPECT_EQ(ReadTransmissionRetryTimeout(), 77u);
    // Exactly the first query's size, with no room for a terminator.
    value.SetRaw(REG_SZ, L"12345", 10);
    EXPECT_EQ(ReadTransmissionRetryTimeout(), 12345u);
}

TEST_F(RetryTimeoutTest, TextStoredWithoutTerminatorKeepsItsLastDigit) {
    value.SetRaw(REG_SZ, L"90", 4);
    EXPECT_EQ(ReadTransmissionRetryTimeout(), 90u);
}

TEST_F(RetryTimeoutTest, ConfigureCommandStoresTheTextUnchanged) {
    HANDLE admin = OpenXcv(nullptr, SERVER_ACCESS_ADMINISTER);
    EXPECT_EQ(XcvText(admin, L"ConfigureLPTPortCommandOK", L"0x20"), 0u);
    EXPECT_EQ(value.Type(), static_cast<DWORD>(REG_SZ));
    const std::vector<BYTE> data = value.Data();
    ASSERT_EQ(data.size(), 10u);
    EXPECT_STREQ(reinterpret_cast<const wchar_t*>(data.data()), L"0x20");
    // "%lu" takes the leading digit only.
    EXPECT_EQ(ReadThroughCommand(admin), 0u);
    EXPECT_EQ(harness.spoolerHelpers.reverts, 1);
    EXPECT_EQ(harness.spoolerHelpers.impersonations, 1);
}

TEST_F(RetryTimeoutTest, ConfigureCommandNeedsTheRightAndATerminatedText) {
    value.SetText(L"60");
    HANDLE user = OpenXcv(nullptr, SERVER_ACCESS_ENUMERATE);
    HANDLE admin = OpenXcv(nullptr, SERVER_ACCESS_ADMINISTER);
    EXPECT_EQ(XcvText(user, L"ConfigureLPTPortCommandOK", L"90"),
              static_cast<DWORD>(ERROR_ACCESS_DENIED));
    DWORD needed = 0;
    EXPECT_EQ(Xcv(admin, L"ConfigureLPTPortCommandOK", nullptr, 6, nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Xcv(admin, L"ConfigureLPTPortCommandOK", L"90", 4, nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ReadTransmissionRetryTimeout(), 60u);
    EXPECT_EQ(harness.spoolerHelpers.reverts, 0);
}

TEST_F(RetryTimeoutTest, WriteWithoutTheSpoolersIdentityFailsAndWritesNothing) {
    value.SetText(L"60");
    harness.spoolerHelpers.token = nullptr;
    ::SetLastError(0);
    const DWORD result = WriteTransmissionRetryTimeout(L"90");
    EXPECT_NE(result, 0u);
    ::SetLastError(ERROR_NO_TOKEN);
    EXPECT_EQ(WriteTransmissionRetryTimeout(L"90"), static_cast<DWORD>(ERROR_NO_TOKEN));
    EXPECT_EQ(ReadTransmissionRetryTimeout(), 60u);
    EXPECT_EQ(harness.spoolerHelpers.impersonations, 0);
}

TEST_F(RetryTimeoutTest, GetCommandNeedsFourBytes) {
    HANDLE user = OpenXcv(nullptr, 0);
    BYTE output[4] = {0xA5, 0xA5, 0xA5, 0xA5};
    DWORD needed = 0;
    EXPECT_EQ(Xcv(user, L"GetTransmissionRetryTimeout", nullptr, 0, output, 3, &needed),
              static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 4u);
    EXPECT_EQ(output[0], 0xA5);
    EXPECT_EQ(Xcv(user, L"GetTransmissionRetryTimeout", nullptr, 0, nullptr, 4, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

} // namespace
} // namespace vela::test
