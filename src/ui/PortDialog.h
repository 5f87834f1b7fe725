// The port screen: a modal dialog from the resource script. It only shows and
// reads fields; what OK does is the caller's.
#pragma once

#include "core/PortSettings.h"
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
    // A serial printer's line: the speed (0: automatic) and the window in bytes
    // (0: one line at a time). A USB printer has neither; they are left as shown.
    uint32_t baudRate = kAutomaticBaudRate;
    uint32_t streamWindow = 0;
};

// Runs the dialog. apply is called on OK with the fields as the user left them,
// once the screen has checked the window's size; a failed outcome is shown and
// the dialog stays open. True when apply succeeded, false on Cancel or when the
// dialog could not be shown.
bool ShowPortDialog(HINSTANCE module, HWND owner, PortDialogFields& fields,
                    const std::function<portconfig::Outcome(const PortDialogFields&)>& apply);

// The settings the user changed on the screen, for a serial printer; none for a
// USB printer. What was shown and left stays as it is stored.
PortSettingsChange ChangedSettings(const PortDialogFields& shown, const PortDialogFields& entered);

} // namespace vela::ui
