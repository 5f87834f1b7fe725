#include "ui/PortDialog.h"

#include "ui/PortDialogIds.h"

#include <iterator>

namespace vela::ui {
namespace {

constexpr wchar_t kTitle[] = L"Vela3dp Print Monitor";

struct DialogData {
    PortDialogFields* fields;
    const std::function<portconfig::Outcome(const PortDialogFields&)>* apply;
};

std::wstring ItemText(HWND dialog, int item) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(::GetDlgItem(dialog, item))) + 1,
                      L'\0');
    const UINT length = ::GetDlgItemTextW(dialog, item, &text[0], static_cast<int>(text.size()));
    text.resize(length);
    return text;
}

bool Checked(HWND dialog, int item) {
    return ::IsDlgButtonChecked(dialog, item) == BST_CHECKED;
}

void Enable(HWND dialog, int item, bool enabled) {
    ::EnableWindow(::GetDlgItem(dialog, item), enabled ? TRUE : FALSE);
}

// The serial device and line take input only for a serial printer, and the
// window's size only when a window is chosen.
void EnableSerialFields(HWND dialog) {
    const bool serial = Checked(dialog, IDC_KIND_SERIAL);
    for (int item : {IDC_SERIAL_DEVICE, IDC_BAUD_LABEL, IDC_BAUD_RATE, IDC_WINDOW_OFF,
                     IDC_WINDOW_ON, IDC_BYTES_LABEL}) {
        Enable(dialog, item, serial);
    }
    Enable(dialog, IDC_WINDOW_BYTES, serial && Checked(dialog, IDC_WINDOW_ON));
}

void ShowSerialLine(HWND dialog, const PortDialogFields& fields) {
    ::SendDlgItemMessageW(dialog, IDC_BAUD_RATE, CB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(L"Automatic"));
    int selected = 0;
    for (size_t i = 0; i < std::size(kStandardBaudRates); ++i) {
        const std::wstring rate = std::to_wstring(kStandardBaudRates[i]);
        ::SendDlgItemMessageW(dialog, IDC_BAUD_RATE, CB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(rate.c_str()));
        if (kStandardBaudRates[i] == fields.baudRate) {
            selected = static_cast<int>(i + 1);
        }
    }
    ::SendDlgItemMessageW(dialog, IDC_BAUD_RATE, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    const bool windowed = fields.streamWindow != 0;
    ::CheckRadioButton(dialog, IDC_WINDOW_OFF, IDC_WINDOW_ON,
                       windowed ? IDC_WINDOW_ON : IDC_WINDOW_OFF);
    if (windowed) {
        ::SetDlgItemInt(dialog, IDC_WINDOW_BYTES, fields.streamWindow, FALSE);
    }
}

void ShowFields(HWND dialog, const PortDialogFields& fields) {
    ::SetDlgItemTextW(dialog, IDC_PORT_NAME, fields.name.c_str());
    ::SendDlgItemMessageW(dialog, IDC_PORT_NAME, EM_SETREADONLY, fields.editableName ? FALSE : TRUE,
                          0);
    int selected = 0;
    for (size_t i = 0; i < fields.comPorts.size(); ++i) {
        ::SendDlgItemMessageW(dialog, IDC_SERIAL_DEVICE, CB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(fields.comPorts[i].c_str()));
        if (fields.comPorts[i] == fields.comName) {
            selected = static_cast<int>(i);
        }
    }
    ::SendDlgItemMessageW(dialog, IDC_SERIAL_DEVICE, CB_SETCURSEL, static_cast<WPARAM>(selected),
                          0);
    const bool serial = !fields.comName.empty();
    ::CheckRadioButton(dialog, IDC_KIND_USB, IDC_KIND_SERIAL,
                       serial ? IDC_KIND_SERIAL : IDC_KIND_USB);
    ShowSerialLine(dialog, fields);
    EnableSerialFields(dialog);
    // A machine without serial ports offers only USB.
    Enable(dialog, IDC_KIND_SERIAL, !fields.comPorts.empty());
}

// The fields as the user left them; false, with the reason, for a window the
// settings cannot hold.
bool ReadFields(HWND dialog, PortDialogFields& fields, std::wstring* problem) {
    if (fields.editableName) {
        fields.name = ItemText(dialog, IDC_PORT_NAME);
    }
    fields.comName.clear();
    if (!Checked(dialog, IDC_KIND_SERIAL)) {
        return true;
    }
    fields.comName = ItemText(dialog, IDC_SERIAL_DEVICE);
    const LRESULT rate = ::SendDlgItemMessageW(dialog, IDC_BAUD_RATE, CB_GETCURSEL, 0, 0);
    fields.baudRate = rate > 0 && static_cast<size_t>(rate) <= std::size(kStandardBaudRates)
                          ? kStandardBaudRates[rate - 1]
                          : kAutomaticBaudRate;
    fields.streamWindow = 0;
    if (Checked(dialog, IDC_WINDOW_ON)) {
        BOOL translated = FALSE;
        const UINT bytes = ::GetDlgItemInt(dialog, IDC_WINDOW_BYTES, &translated, FALSE);
        *problem = !translated ? L"Enter the window's size in bytes, at most " +
                                     std::to_wstring(kMaxStreamWindowBytes) + L"."
                               : StreamWindowProblem(bytes);
        fields.streamWindow = bytes;
    }
    return problem->empty();
}

INT_PTR CALLBACK PortDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        ShowFields(dialog, *reinterpret_cast<DialogData*>(lParam)->fields);
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    auto* data = reinterpret_cast<DialogData*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (data == nullptr) {
        return FALSE;
    }
    switch (LOWORD(wParam)) {
    case IDC_KIND_USB:
    case IDC_KIND_SERIAL:
    case IDC_WINDOW_OFF:
    case IDC_WINDOW_ON:
        EnableSerialFields(dialog);
        return TRUE;
    case IDOK: {
        std::wstring problem;
        PortDialogFields entered = *data->fields;
        if (!ReadFields(dialog, entered, &problem)) {
            ::MessageBoxW(dialog, problem.c_str(), kTitle, MB_OK | MB_ICONWARNING);
            return TRUE;
        }
        *data->fields = entered;
        const portconfig::Outcome outcome = (*data->apply)(*data->fields);
        if (outcome.Ok()) {
            ::EndDialog(dialog, IDOK);
        } else {
            ::MessageBoxW(dialog, outcome.message.c_str(), kTitle, MB_OK | MB_ICONWARNING);
        }
        return TRUE;
    }
    case IDCANCEL:
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

bool ShowPortDialog(HINSTANCE module, HWND owner, PortDialogFields& fields,
                    const std::function<portconfig::Outcome(const PortDialogFields&)>& apply) {
    DialogData data{&fields, &apply};
    const INT_PTR result = ::DialogBoxParamW(module, MAKEINTRESOURCEW(IDD_PORT), owner,
                                             PortDialogProc, reinterpret_cast<LPARAM>(&data));
    return result == IDOK;
}

PortSettingsChange ChangedSettings(const PortDialogFields& shown, const PortDialogFields& entered) {
    PortSettingsChange change;
    if (entered.comName.empty()) {
        return change;
    }
    if (entered.baudRate != shown.baudRate) {
        change.baudRate = entered.baudRate;
    }
    if (entered.streamWindow != shown.streamWindow) {
        change.streamWindow = entered.streamWindow;
    }
    return change;
}

} // namespace vela::ui
