// Transceive handles: opening, the handle list, closing and command dispatch.
#include "PortsTestSupport.h"

#include "ports/Transceive.h"
#include "ports/XcvInput.h"

#include <cstring>

namespace vela::test {
namespace {

using TransceiveHandleTest = PortsTest;

TEST_F(TransceiveHandleTest, OpenedHandleHasItsRecordLayout) {
    Initialize();
    auto* handle = static_cast<XcvHandle*>(OpenXcv(L"COM1:", SERVER_ALL_ACCESS));
    ASSERT_NE(handle, nullptr);
    const auto* bytes = reinterpret_cast<const unsigned char*>(handle);
    EXPECT_EQ(bytes[0], 0x43);
    EXPECT_EQ(bytes[1], 0x58);
    EXPECT_EQ(handle->recordSize, sizeof(XcvHandle) + 6 * sizeof(WCHAR));
    EXPECT_EQ(handle->objectName, reinterpret_cast<LPWSTR>(handle + 1));
    EXPECT_STREQ(handle->objectName, L"COM1:");
    EXPECT_EQ(handle->grantedAccess, static_cast<ACCESS_MASK>(SERVER_ALL_ACCESS));
    EXPECT_EQ(handle->monitor, Context());
    EXPECT_EQ(handle->next, nullptr);
    EXPECT_EQ(Context()->firstXcvHandle, handle);
}

TEST_F(TransceiveHandleTest, MonitorLevelOpenGetsAnEmptyName) {
    Initialize();
    auto* handle = static_cast<XcvHandle*>(OpenXcv(nullptr));
    ASSERT_NE(handle, nullptr);
    EXPECT_STREQ(handle->objectName, L"");
    EXPECT_EQ(handle->recordSize, sizeof(XcvHandle) + sizeof(WCHAR));
}

TEST_F(TransceiveHandleTest, HandlesListInOpeningOrderAndCloseUnlinks) {
    Initialize();
    HANDLE first = nullptr;
    HANDLE second = nullptr;
    HANDLE third = nullptr;
    ASSERT_TRUE(table->pfnXcvOpenPort(harness.MonitorHandle(), L"A:", 0, &first));
    ASSERT_TRUE(table->pfnXcvOpenPort(harness.MonitorHandle(), L"B:", 0, &second));
    ASSERT_TRUE(table->pfnXcvOpenPort(harness.MonitorHandle(), L"C:", 0, &third));
    EXPECT_EQ(Context()->firstXcvHandle, first);
    EXPECT_EQ(Context()->firstXcvHandle->next, second);
    EXPECT_EQ(Context()->firstXcvHandle->next->next, third);
    EXPECT_TRUE(table->pfnXcvClosePort(second));
    EXPECT_EQ(Context()->firstXcvHandle->next, third);
    // A second close of the same handle is harmless.
    EXPECT_TRUE(table->pfnXcvClosePort(second));
    EXPECT_TRUE(table->pfnXcvClosePort(first));
    EXPECT_EQ(Context()->firstXcvHandle, third);
    EXPECT_TRUE(table->pfnXcvClosePort(third));
    EXPECT_EQ(Context()->firstXcvHandle, nullptr);
    EXPECT_TRUE(table->pfnXcvClosePort(nullptr));
}

TEST_F(TransceiveHandleTest, OpenWithoutOutHandleFails) {
    Initialize();
    EXPECT_FALSE(table->pfnXcvOpenPort(harness.MonitorHandle(), L"A:", 0, nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Context()->firstXcvHandle, nullptr);
}

TEST_F(TransceiveHandleTest, CommandNamesMatchExactly) {
    Initialize();
    HANDLE xcv = OpenXcv(nullptr);
    BYTE output[64] = {};
    DWORD needed = 99;
    EXPECT_EQ(Xcv(xcv, L"monitorui", nullptr, 0, output, sizeof(output), &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(Xcv(xcv, L"MonitorUI ", nullptr, 0, output, sizeof(output), &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Xcv(xcv, L"", nullptr, 0, output, sizeof(output), &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Xcv(xcv, nullptr, nullptr, 0, output, sizeof(output), &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Xcv(xcv, L"MonitorUI", nullptr, 0, output, sizeof(output), nullptr),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Xcv(nullptr, L"MonitorUI", nullptr, 0, output, sizeof(output), &needed),
              static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// A record that XcvOpenPort did not give, or gave and XcvClosePort freed, runs
// nothing. The closed handle comes first: nothing may take its block meanwhile.
TEST_F(TransceiveHandleTest, OnlyAnOpenHandleRunsCommands) {
    Initialize();
    const std::wstring name = L"VelaNew:";
    auto* open = static_cast<XcvHandle*>(OpenXcv(nullptr));
    XcvHandle foreign = *open;
    foreign.signature = 0x5450; // a port handle's
    HANDLE closed = nullptr;
    ASSERT_TRUE(
        table->pfnXcvOpenPort(harness.MonitorHandle(), nullptr, SERVER_ACCESS_ADMINISTER, &closed));
    ASSERT_TRUE(table->pfnXcvClosePort(closed));
    const struct {
        const char* what;
        HANDLE xcv;
    } cases[] = {{"closed", closed}, {"not opened", &foreign}};
    for (const auto& item : cases) {
        DWORD needed = 99;
        EXPECT_EQ(Xcv(item.xcv, L"AddPort", name.c_str(), TextBytes(name), nullptr, 0, &needed),
                  static_cast<DWORD>(ERROR_INVALID_HANDLE))
            << item.what;
        EXPECT_TRUE(ListedNames().empty()) << item.what;
    }
    EXPECT_TRUE(table->pfnXcvClosePort(closed));
    EXPECT_EQ(XcvText(open, L"AddPort", name), 0u);
}

TEST_F(TransceiveHandleTest, MonitorUiNeeds52Bytes) {
    Initialize();
    HANDLE xcv = OpenXcv(nullptr, 0);
    BYTE output[60];
    std::memset(output, 0xA5, sizeof(output));
    DWORD needed = 0;
    EXPECT_EQ(Xcv(xcv, L"MonitorUI", nullptr, 0, output, 50, &needed),
              static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 52u);
    EXPECT_EQ(output[0], 0xA5);
    EXPECT_EQ(Xcv(xcv, L"MonitorUI", nullptr, 0, output, 52, &needed), 0u);
    EXPECT_EQ(needed, 52u);
    EXPECT_STREQ(reinterpret_cast<const wchar_t*>(output), L"Vela3dpPrintMonitorUI.dll");
    EXPECT_EQ(output[52], 0xA5);
    // A size that promises room where there is no buffer.
    EXPECT_EQ(Xcv(xcv, L"MonitorUI", nullptr, 0, nullptr, 52, &needed),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Xcv(xcv, L"MonitorUI", nullptr, 0, nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 52u);
}

TEST_F(TransceiveHandleTest, PortIsValidAcceptsAnything) {
    Initialize();
    HANDLE xcv = OpenXcv(L"COM1:", 0);
    DWORD needed = 0;
    EXPECT_EQ(Xcv(xcv, L"PortIsValid", nullptr, 0, nullptr, 0, &needed), 0u);
    EXPECT_EQ(XcvText(xcv, L"PortIsValid", L"not a port at all"), 0u);
}

TEST(XcvInput, TerminatedTextStaysWithinItsSize) {
    const wchar_t text[] = L"AB\0C";
    const auto* bytes = reinterpret_cast<const BYTE*>(text);
    EXPECT_EQ(TerminatedTextLength(bytes, 6), 2u);
    EXPECT_EQ(TerminatedTextLength(bytes, 7), 2u);
    EXPECT_EQ(TerminatedTextLength(bytes, 5), kNoTerminator);
    EXPECT_EQ(TerminatedTextLength(bytes, 0), kNoTerminator);
    EXPECT_EQ(TerminatedTextLength(nullptr, 6), kNoTerminator);
    EXPECT_EQ(TerminatedTextLength(bytes + 4, 2), 0u);
    EXPECT_EQ(TerminatedTextLength(bytes + 6, 2), kNoTerminator);
    // A terminator split over the size does not count.
    const BYTE split[] = {'A', 0, 0};
    EXPECT_EQ(TerminatedTextLength(split, 3), kNoTerminator);
}

} // namespace
} // namespace vela::test
