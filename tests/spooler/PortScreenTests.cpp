// ConfigurePortW through Wine's spooler, which asks the monitor for its screens'
// DLL ("MonitorUI"), loads it and opens the port's screen. A CBT hook on this
// thread (the screen is modal on the calling thread) sees the screen become
// active, reads what it shows and does what a user would.
#include "spooler/SpoolerTestBed.h"

#include "ui/PortDialogIds.h"

namespace vela::test::spooler {
namespace {

enum class Choice { Usb, SerialCom63, Cancel };

// What the screen showed, and a message box's text if one came.
struct Seen {
    std::wstring name;
    bool serialChecked = false;
    std::wstring device;
    std::wstring message;
};

Choice g_choice = Choice::Cancel;
bool g_acted = false;
Seen g_seen;

std::wstring ItemText(HWND window, int item) {
    wchar_t text[256] = {};
    ::GetDlgItemTextW(window, item, text, 256);
    return text;
}

void UseScreen(HWND screen) {
    g_acted = true;
    g_seen.name = ItemText(screen, IDC_PORT_NAME);
    g_seen.serialChecked = ::IsDlgButtonChecked(screen, IDC_KIND_SERIAL) == BST_CHECKED;
    g_seen.device = ItemText(screen, IDC_SERIAL_DEVICE);
    switch (g_choice) {
    case Choice::Usb:
        ::CheckRadioButton(screen, IDC_KIND_USB, IDC_KIND_SERIAL, IDC_KIND_USB);
        ::PostMessageW(screen, WM_COMMAND, IDOK, 0);
        break;
    case Choice::SerialCom63:
        ::CheckRadioButton(screen, IDC_KIND_USB, IDC_KIND_SERIAL, IDC_KIND_SERIAL);
        ::SendDlgItemMessageW(screen, IDC_SERIAL_DEVICE, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(L"COM63"));
        ::PostMessageW(screen, WM_COMMAND, IDOK, 0);
        break;
    case Choice::Cancel:
        ::PostMessageW(screen, WM_COMMAND, IDCANCEL, 0);
        break;
    }
}

LRESULT CALLBACK WatchForScreen(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[16] = {};
        ::GetClassNameW(window, className, 16);
        if (::GetDlgItem(window, IDC_PORT_NAME) != nullptr) {
            if (!g_acted) {
                UseScreen(window);
            }
        } else if (std::wstring(className) == L"#32770") {
            // A message box: the screen refused the change. Closed, and the
            // screen with it.
            g_seen.message = ItemText(window, 0xFFFF);
            ::PostMessageW(window, WM_COMMAND, IDOK, 0);
            ::PostMessageW(::GetWindow(window, GW_OWNER), WM_COMMAND, IDCANCEL, 0);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

class PortScreenTest : public SpoolerTest {};

TEST_F(PortScreenTest, ConfigurePortChangesThePortsKind) {
    const std::wstring com61 = L"\\\\.\\COM61";
    const std::wstring com63 = L"\\\\.\\COM63";
    const struct Row {
        const char* what;
        std::wstring before;
        Choice choice;
        BOOL result;
        std::wstring after;
    } rows[] = {
        {"serial to USB", com61, Choice::Usb, TRUE, L""},
        {"USB to serial", L"", Choice::SerialCom63, TRUE, com63},
        {"serial to another line", com61, Choice::SerialCom63, TRUE, com63},
        {"cancelled", com61, Choice::Cancel, FALSE, com61},
    };
    // The machine's COM ports the screen offers.
    for (const wchar_t* com : {L"COM61", L"COM63"}) {
        ASSERT_EQ(ListComPort(com), 0u);
    }
    const HHOOK hook = ::SetWindowsHookExW(WH_CBT, WatchForScreen, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_EQ(WritePortDevice(kScreenPrinter.port, row.before), 0u);
        g_choice = row.choice;
        g_acted = false;
        g_seen = Seen{};
        std::wstring port = kScreenPrinter.port;
        const BOOL result = ::ConfigurePortW(nullptr, nullptr, &port[0]);
        const DWORD error = ::GetLastError();

        EXPECT_TRUE(g_acted) << "the screen never showed";
        EXPECT_EQ(g_seen.message, L"");
        EXPECT_EQ(g_seen.name, kScreenPrinter.port);
        EXPECT_EQ(g_seen.serialChecked, !row.before.empty());
        if (!row.before.empty()) {
            EXPECT_EQ(L"\\\\.\\" + g_seen.device, row.before);
        }
        // Wine's spooler does not keep the screen's error (ERROR_CANCELLED).
        EXPECT_EQ(result, row.result) << error;
        std::wstring device;
        ASSERT_EQ(ReadPortDevice(kScreenPrinter.port, &device), 0u);
        EXPECT_EQ(device, row.after);
    }
    ::UnhookWindowsHookEx(hook);
}

} // namespace
} // namespace vela::test::spooler
