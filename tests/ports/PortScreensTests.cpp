// The port screens' DLL as the spooler's "Add port" and "Configure port" load it:
// its entry and its function table; the screen's dialog, from the DLL's template,
// driven as a user would (a CBT hook on this thread sees each window become active,
// reads and changes its fields and presses a button); and the add screen through
// Wine's spooler. What OK does is the port configuration's, tested on its own.
#include "ui/PortDialog.h"
#include "ui/PortDialogIds.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>

namespace vela::test {
namespace {

// The built DLL, in the build folder above the test executables' folder.
std::wstring BuiltLibraryPath() {
    wchar_t program[MAX_PATH] = {};
    std::wstring path(program, ::GetModuleFileNameW(nullptr, program, MAX_PATH));
    for (int level = 0; level < 2; ++level) {
        path.erase(path.find_last_of(L"\\/"));
    }
    return path + L"\\Vela3dpPrintMonitorUI.dll";
}

TEST(PortScreensLibraryTest, LoadsAndOffersItsTable) {
    const std::wstring path = BuiltLibraryPath();
    HMODULE module = ::LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr) << ::GetLastError() << " " << std::string(path.begin(), path.end());
    using Initialize = PMONITORUI(WINAPI*)();
    const auto initialize =
        reinterpret_cast<Initialize>(::GetProcAddress(module, "InitializePrintMonitorUI"));
    ASSERT_NE(initialize, nullptr);
    const MONITORUI* table = initialize();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->dwMonitorUISize, sizeof(MONITORUI));
    EXPECT_NE(table->pfnAddPortUI, nullptr);
    EXPECT_NE(table->pfnConfigurePortUI, nullptr);
    EXPECT_NE(table->pfnDeletePortUI, nullptr);
    ::FreeLibrary(module);
}

// What the user does with each window that becomes active, in order.
std::deque<std::function<void(HWND)>> g_steps;

LRESULT CALLBACK WatchForDialog(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && !g_steps.empty()) {
        auto step = std::move(g_steps.front());
        g_steps.pop_front();
        step(reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

std::wstring Text(HWND dialog, int item) {
    wchar_t text[256] = {};
    ::GetDlgItemTextW(dialog, item, text, 256);
    return text;
}

class PortDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        module = ::LoadLibraryW(BuiltLibraryPath().c_str());
        ASSERT_NE(module, nullptr);
        hook = ::SetWindowsHookExW(WH_CBT, WatchForDialog, nullptr, ::GetCurrentThreadId());
        ASSERT_NE(hook, nullptr);
    }
    void TearDown() override {
        EXPECT_TRUE(g_steps.empty()) << "a window the test waited for never showed";
        g_steps.clear();
        ::UnhookWindowsHookEx(hook);
        ::FreeLibrary(module);
    }
    bool Show(ui::PortDialogFields& fields) {
        return ui::ShowPortDialog(module, nullptr, fields,
                                  [this](const ui::PortDialogFields& entered) {
                                      applied.push_back(entered);
                                      return portconfig::Outcome{};
                                  });
    }

    // OK applied the fields once, as these.
    void ExpectAppliedOnce(const std::wstring& name, const std::wstring& comName) {
        ASSERT_EQ(applied.size(), 1u);
        EXPECT_EQ(applied[0].name, name);
        EXPECT_EQ(applied[0].comName, comName);
    }

    HMODULE module = nullptr;
    HHOOK hook = nullptr;
    std::vector<ui::PortDialogFields> applied;
};

TEST_F(PortDialogTest, AddingTakesTheTypedNameAndTheChosenSerialPort) {
    ui::PortDialogFields fields;
    fields.editableName = true;
    fields.comPorts = {L"COM1", L"COM21"};
    g_steps = {[](HWND dialog) {
        EXPECT_EQ(::IsDlgButtonChecked(dialog, IDC_KIND_USB), static_cast<UINT>(BST_CHECKED));
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_SERIAL_DEVICE)));
        ::SetDlgItemTextW(dialog, IDC_PORT_NAME, L"VelaLab:");
        ::CheckRadioButton(dialog, IDC_KIND_USB, IDC_KIND_SERIAL, IDC_KIND_SERIAL);
        ::SendDlgItemMessageW(dialog, IDC_SERIAL_DEVICE, CB_SETCURSEL, 1, 0);
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }};
    EXPECT_TRUE(Show(fields));
    ExpectAppliedOnce(L"VelaLab:", L"COM21");
}

TEST_F(PortDialogTest, ConfiguringShowsThePortAndCanMakeItUsb) {
    ui::PortDialogFields fields;
    fields.name = L"VelaCube:";
    fields.comName = L"COM21";
    fields.comPorts = {L"COM1", L"COM21"};
    g_steps = {[](HWND dialog) {
        EXPECT_EQ(Text(dialog, IDC_PORT_NAME), L"VelaCube:");
        EXPECT_NE(::GetWindowLongW(::GetDlgItem(dialog, IDC_PORT_NAME), GWL_STYLE) & ES_READONLY,
                  0);
        EXPECT_EQ(::IsDlgButtonChecked(dialog, IDC_KIND_SERIAL), static_cast<UINT>(BST_CHECKED));
        EXPECT_EQ(Text(dialog, IDC_SERIAL_DEVICE), L"COM21");
        ::CheckRadioButton(dialog, IDC_KIND_USB, IDC_KIND_SERIAL, IDC_KIND_USB);
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }};
    EXPECT_TRUE(Show(fields));
    ExpectAppliedOnce(L"VelaCube:", L"");
}

TEST_F(PortDialogTest, CancelAppliesNothing) {
    ui::PortDialogFields fields;
    fields.editableName = true;
    g_steps = {[](HWND dialog) {
        // No serial ports on the machine: only USB can be chosen, which has no serial line.
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_KIND_SERIAL)));
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_BAUD_RATE)));
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDC_WINDOW_ON)));
        ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }};
    EXPECT_FALSE(Show(fields));
    EXPECT_TRUE(applied.empty());
}

// Chooses a radio button as a click does: checked, and the dialog told.
void Choose(HWND dialog, int first, int last, int chosen) {
    ::CheckRadioButton(dialog, first, last, chosen);
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(chosen, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, chosen)));
}

bool Enabled(HWND dialog, int item) {
    return ::IsWindowEnabled(::GetDlgItem(dialog, item)) != FALSE;
}

TEST_F(PortDialogTest, TheSerialLineIsShownAndSetForASerialPrinterOnly) {
    ui::PortDialogFields fields;
    fields.name = L"VelaCube:";
    fields.comName = L"COM21";
    fields.comPorts = {L"COM1", L"COM21"};
    fields.baudRate = 115200;
    fields.streamWindow = 300;
    const ui::PortDialogFields shown = fields;
    g_steps = {[](HWND dialog) {
        EXPECT_EQ(Text(dialog, IDC_BAUD_RATE), L"115200");
        EXPECT_EQ(::IsDlgButtonChecked(dialog, IDC_WINDOW_ON), static_cast<UINT>(BST_CHECKED));
        EXPECT_EQ(Text(dialog, IDC_WINDOW_BYTES), L"300");
        EXPECT_TRUE(Enabled(dialog, IDC_WINDOW_BYTES));
        Choose(dialog, IDC_KIND_USB, IDC_KIND_SERIAL, IDC_KIND_USB);
        for (int item : {IDC_BAUD_RATE, IDC_WINDOW_OFF, IDC_WINDOW_ON, IDC_WINDOW_BYTES}) {
            EXPECT_FALSE(Enabled(dialog, item)) << item;
        }
        Choose(dialog, IDC_KIND_USB, IDC_KIND_SERIAL, IDC_KIND_SERIAL);
        EXPECT_TRUE(Enabled(dialog, IDC_BAUD_RATE));
        const LRESULT automatic =
            ::SendDlgItemMessageW(dialog, IDC_BAUD_RATE, CB_FINDSTRINGEXACT,
                                  static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"Automatic"));
        EXPECT_EQ(automatic, 0);
        const LRESULT fast =
            ::SendDlgItemMessageW(dialog, IDC_BAUD_RATE, CB_FINDSTRINGEXACT,
                                  static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"250000"));
        ::SendDlgItemMessageW(dialog, IDC_BAUD_RATE, CB_SETCURSEL, static_cast<WPARAM>(fast), 0);
        Choose(dialog, IDC_WINDOW_OFF, IDC_WINDOW_ON, IDC_WINDOW_OFF);
        EXPECT_FALSE(Enabled(dialog, IDC_WINDOW_BYTES));
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }};
    EXPECT_TRUE(Show(fields));
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].baudRate, 250000u);
    EXPECT_EQ(applied[0].streamWindow, 0u);
    const PortSettingsChange change = ui::ChangedSettings(shown, applied[0]);
    EXPECT_EQ(change.baudRate, std::optional<uint32_t>(250000));
    EXPECT_EQ(change.streamWindow, std::optional<uint32_t>(0));
}

TEST_F(PortDialogTest, AWindowTheSettingsCannotHoldIsRefusedWithTheReason) {
    const struct {
        const wchar_t* typed;
        const wchar_t* says;
    } cases[] = {{L"5000", L"at most 4096 bytes"}, {L"", L"Enter the window's size in bytes"}};
    for (const auto& item : cases) {
        ui::PortDialogFields fields;
        fields.editableName = true;
        fields.comPorts = {L"COM21"};
        std::wstring said;
        g_steps = {[&item](HWND dialog) {
                       ::SetDlgItemTextW(dialog, IDC_PORT_NAME, L"VelaLab:");
                       Choose(dialog, IDC_KIND_USB, IDC_KIND_SERIAL, IDC_KIND_SERIAL);
                       Choose(dialog, IDC_WINDOW_OFF, IDC_WINDOW_ON, IDC_WINDOW_ON);
                       ::SetDlgItemTextW(dialog, IDC_WINDOW_BYTES, item.typed);
                       ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                   },
                   [&said](HWND box) {
                       said = Text(box, 0xFFFF);
                       ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                       ::PostMessageW(::GetWindow(box, GW_OWNER), WM_COMMAND, IDCANCEL, 0);
                   }};
        EXPECT_FALSE(Show(fields));
        EXPECT_NE(said.find(item.says), std::wstring::npos)
            << std::string(said.begin(), said.end());
    }
    EXPECT_TRUE(applied.empty());
}

// Only what the user changed is stored, and nothing for a USB printer.
TEST(PortDialogSettingsTest, OnlyChangedSerialSettingsAreStored) {
    ui::PortDialogFields shown;
    shown.comName = L"COM21";
    shown.baudRate = 115200;
    shown.streamWindow = 127;
    ui::PortDialogFields usb = shown;
    usb.comName.clear();
    usb.baudRate = 250000;
    ui::PortDialogFields faster = shown;
    faster.baudRate = 250000;
    EXPECT_TRUE(ui::ChangedSettings(shown, shown).Empty());
    EXPECT_TRUE(ui::ChangedSettings(shown, usb).Empty());
    const PortSettingsChange change = ui::ChangedSettings(shown, faster);
    EXPECT_EQ(change.baudRate, std::optional<uint32_t>(250000));
    EXPECT_FALSE(change.streamWindow.has_value());
}

// The add screen as the spooler's "Add port" runs it, through Wine's spooler,
// which does not know the monitor: the screen says so and stays open.
TEST_F(PortDialogTest, AddScreenSaysWhyThePortCannotBeAdded) {
    std::wstring said;
    g_steps = {[](HWND dialog) {
                   ::SetDlgItemTextW(dialog, IDC_PORT_NAME, L"VelaLab:");
                   ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
               },
               [&said](HWND box) {
                   said = Text(box, 0xFFFF); // the message box's text
                   ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                   ::PostMessageW(::GetWindow(box, GW_OWNER), WM_COMMAND, IDCANCEL, 0);
               }};
    using Initialize = PMONITORUI(WINAPI*)();
    const auto initialize =
        reinterpret_cast<Initialize>(::GetProcAddress(module, "InitializePrintMonitorUI"));
    ASSERT_NE(initialize, nullptr);
    PWSTR added = reinterpret_cast<PWSTR>(1);
    EXPECT_FALSE(initialize()->pfnAddPortUI(nullptr, nullptr, L"Vela3dp Print Monitor", &added));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_EQ(added, nullptr);
    EXPECT_EQ(said, L"The spooler does not know the Vela3dp Print Monitor: install it first.");
}

} // namespace
} // namespace vela::test
