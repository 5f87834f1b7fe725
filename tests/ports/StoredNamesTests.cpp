// Names stored under "Ports" by other programs, as the monitor loads them.
#include "PortsTestSupport.h"

#include <algorithm>

namespace vela::test {
namespace {

using StoredNamesTest = PortsTest;

TEST_F(StoredNamesTest, DefaultValueOfThePortsKeyHidesNoStoredName) {
    // Put there by another program; it names no port.
    harness.registry.SetPortValue(L"", L"");
    harness.registry.SetPortValue(L"Zed:", L"");
    harness.registry.SetPortValue(L"Alpha:", L"");
    Initialize();
    std::vector<std::wstring> names = ListedNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Alpha:", L"Zed:"}));
}

} // namespace
} // namespace vela::test
