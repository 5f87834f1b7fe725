// EnumPorts: the port list in the PORT_INFO_1 and PORT_INFO_2 forms.
#include "PortsTestSupport.h"

#include <algorithm>
#include <cstring>

namespace vela::test {
namespace {

constexpr BYTE kFill = 0xA5;

class EnumPortsTest : public PortsTest {
  protected:
    BOOL Enum(DWORD level, LPBYTE buffer, DWORD size, DWORD* needed, DWORD* returned) {
        return table->pfnEnumPorts(harness.MonitorHandle(), nullptr, level, buffer, size, needed,
                                   returned);
    }
};

TEST_F(EnumPortsTest, SizeQueryReportsExactBytesAndSecondCallSucceeds) {
    harness.registry.SetPortValue(L"COM9:", L"");
    harness.registry.SetPortValue(L"Bench12:", L"");
    Initialize();
    for (DWORD level : {1u, 2u}) {
        DWORD needed = 0;
        DWORD returned = 7;
        ::SetLastError(0);
        EXPECT_FALSE(Enum(level, nullptr, 0, &needed, &returned));
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(returned, 0u);
        const DWORD expected = level == 1 ? (8 + 12) + (8 + 18) : (32 + 110) + (32 + 2 * (9 + 49));
        EXPECT_EQ(needed, expected);
        std::vector<BYTE> buffer(needed);
        EXPECT_TRUE(Enum(level, buffer.data(), needed, &needed, &returned));
        EXPECT_EQ(needed, expected);
        EXPECT_EQ(returned, 2u);
    }
    std::vector<std::wstring> names = EnumeratedNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Bench12:", L"COM9:"}));
}

TEST_F(EnumPortsTest, EmptyListNeedsNothingButANullBufferStillFails) {
    Initialize();
    DWORD needed = 9;
    DWORD returned = 9;
    EXPECT_FALSE(Enum(1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(returned, 0u);
    BYTE buffer[4] = {};
    EXPECT_TRUE(Enum(2, buffer, 0, &needed, &returned));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(returned, 0u);
}

TEST_F(EnumPortsTest, Com9AtLevelOne) {
    harness.registry.SetPortValue(L"COM9:", L"");
    Initialize();
    std::vector<BYTE> buffer(20 + 8, kFill);
    DWORD needed = 0;
    DWORD returned = 0;
    ASSERT_TRUE(Enum(1, buffer.data(), 20, &needed, &returned));
    EXPECT_EQ(needed, 20u);
    EXPECT_EQ(returned, 1u);
    const auto* info = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
    EXPECT_EQ(reinterpret_cast<const BYTE*>(info->pName), buffer.data() + 8);
    EXPECT_STREQ(info->pName, L"COM9:");
    // Nothing beyond the stated size.
    EXPECT_TRUE(std::all_of(buffer.begin() + 20, buffer.end(), [](BYTE b) { return b == kFill; }));
}

TEST_F(EnumPortsTest, Com9AtLevelTwoFillsTheLast110Bytes) {
    harness.registry.SetPortValue(L"COM9:", L"");
    Initialize();
    std::vector<BYTE> buffer(142 + 8, kFill);
    DWORD needed = 0;
    DWORD returned = 0;
    ASSERT_TRUE(Enum(2, buffer.data(), 142, &needed, &returned));
    EXPECT_EQ(needed, 142u);
    EXPECT_EQ(returned, 1u);
    const auto* info = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
    const BYTE* end = buffer.data() + 142;
    EXPECT_EQ(reinterpret_cast<const BYTE*>(info->pPortName), end - 12);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(info->pMonitorName), end - 12 - 44);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(info->pDescription), end - 110);
    EXPECT_STREQ(info->pPortName, L"COM9:");
    EXPECT_STREQ(info->pMonitorName, L"Vela3dp Print Monitor");
    EXPECT_STREQ(info->pDescription, L"Vela3dp Print Monitor Port");
    EXPECT_EQ(info->fPortType, 3u);
    EXPECT_EQ(info->Reserved, 0u);
    EXPECT_TRUE(std::all_of(buffer.begin() + 142, buffer.end(), [](BYTE b) { return b == kFill; }));
}

TEST_F(EnumPortsTest, RecordsGoUpInListOrderAndStringsDownFromTheBufferEnd) {
    harness.registry.SetPortValue(L"A1:", L"");
    harness.registry.SetPortValue(L"B22:", L"");
    Initialize();
    // A larger buffer than needed: the strings still start at its very end.
    std::vector<BYTE> buffer(100, kFill);
    DWORD needed = 0;
    DWORD returned = 0;
    ASSERT_TRUE(Enum(1, buffer.data(), 100, &needed, &returned));
    EXPECT_EQ(needed, 16u + 8 + 10);
    ASSERT_EQ(returned, 2u);
    const auto* infos = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
    EXPECT_EQ(reinterpret_cast<const BYTE*>(infos[0].pName), buffer.data() + 100 - 8);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(infos[1].pName), buffer.data() + 100 - 8 - 10);
    EXPECT_STREQ(infos[0].pName, L"A1:");
    EXPECT_STREQ(infos[1].pName, L"B22:");
    // The gap between records and strings is left as it was.
    EXPECT_TRUE(
        std::all_of(buffer.begin() + 16, buffer.end() - 18, [](BYTE b) { return b == kFill; }));
}

TEST_F(EnumPortsTest, BufferOneByteShortWritesNothing) {
    harness.registry.SetPortValue(L"COM9:", L"");
    Initialize();
    std::vector<BYTE> buffer(141, kFill);
    DWORD needed = 0;
    DWORD returned = 5;
    EXPECT_FALSE(Enum(2, buffer.data(), 141, &needed, &returned));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, 142u);
    EXPECT_EQ(returned, 0u);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](BYTE b) { return b == kFill; }));
}

TEST_F(EnumPortsTest, BadArgumentsAndLevels) {
    Initialize();
    DWORD needed = 0;
    DWORD returned = 0;
    BYTE buffer[64] = {};
    EXPECT_FALSE(Enum(1, buffer, sizeof(buffer), nullptr, &returned));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(Enum(1, buffer, sizeof(buffer), &needed, nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(Enum(1, nullptr, 5, &needed, &returned));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    for (DWORD level : {0u, 3u}) {
        EXPECT_FALSE(Enum(level, buffer, sizeof(buffer), &needed, &returned));
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    }
}

TEST_F(EnumPortsTest, NoMonitorHandleIsRefused) {
    Initialize();
    DWORD needed = 0;
    DWORD returned = 0;
    EXPECT_FALSE(table->pfnEnumPorts(nullptr, nullptr, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

} // namespace
} // namespace vela::test
