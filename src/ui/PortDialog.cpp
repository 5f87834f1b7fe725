#include "ui/PortDialog.h"

#include "ui/PortDialogIds.h"

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
    ::EnableWindow(::GetDlgItem(dialog, IDC_SERIAL_DEVICE), serial ? TRUE : FALSE);
    // A machine without serial ports offers only USB.
    ::EnableWindow(::GetDlgItem(dialog, IDC_KIND_SERIAL), fields.comPorts.empty() ? FALSE : TRUE);
}

void ReadFields(HWND dialog, PortDialogFields& fields) {
    if (fields.editableName) {
        fields.name = ItemText(dialog, IDC_PORT_NAME);
    }
    fields.comName.clear();
    if (::IsDlgButtonChecked(dialog, IDC_KIND_SERIAL) == BST_CHECKED) {
        fields.comName = ItemText(dialog, IDC_SERIAL_DEVICE);
    }
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
        ::EnableWindow(::GetDlgItem(dialog, IDC_SERIAL_DEVICE),
                       ::IsDlgButtonChecked(dialog, IDC_KIND_SERIAL) == BST_CHECKED);
        return TRUE;
    case IDOK: {
        ReadFields(dialog, *data->fields);
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

} // namespace vela::ui
