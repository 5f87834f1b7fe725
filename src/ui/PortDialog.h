// The port screen: a modal dialog from the resource script. It only shows and
// reads fields; what OK does is the caller's.
#pragma once

#include "portconfig/PortConfiguration.h"

#include <functional>
#include <string>
#include <vector>

namespace vela::ui {

struct PortDialogFields {
    // Editable only when adding a port.
    bool editableName = false;
    std::wstring name;
    // "COMn", or empty for a USB printer.
    std::wstring comName;
    std::vector<std::wstring> comPorts;
};

// Runs the dialog. apply is called on OK with the fields as the user left them;
// a failed outcome is shown and the dialog stays open. True when apply succeeded,
// false on Cancel or when the dialog could not be shown.
bool ShowPortDialog(HINSTANCE module, HWND owner, PortDialogFields& fields,
                    const std::function<portconfig::Outcome(const PortDialogFields&)>& apply);

} // namespace vela::ui
