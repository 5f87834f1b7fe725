// Vela3dpPrintMonitorUI.dll: the port configuration screens that the spooler's
// "Add port", "Configure port" and "Delete port" load for the monitor. The screens
// reach the monitor through the spooler's transceive calls, which also read and
// store a serial port's speed and window, and write a serial port's device into
// the monitor's "Ports" key.
#include "portconfig/MachineComPorts.h"
#include "portconfig/MonitorNames.h"
#include "portconfig/PortConfiguration.h"
#include "portconfig/PortNaming.h"
#include "portconfig/RegistryPortStore.h"
#include "portconfig/SpoolerRoute.h"
#include "platform/RegistryKey.h"
#include "ui/PortDialog.h"

#include <memory>

namespace {

using vela::portconfig::Outcome;

HINSTANCE g_module = nullptr;

constexpr wchar_t kTitle[] = L"Vela3dp Print Monitor";

// The machine the screens configure: its spooler, its registry and its COM ports.
class ConfiguredMachine {
  public:
    explicit ConfiguredMachine(PCWSTR server)
        : route_(server != nullptr ? server : L""),
          registryStatus_(::RegConnectRegistryW(server, HKEY_LOCAL_MACHINE, machineKey_.Put())),
          store_(machineKey_.Get(), vela::portconfig::kMonitorKeyPath),
          configuration_(route_, store_, comPorts_) {}
    ConfiguredMachine(const ConfiguredMachine&) = delete;
    ConfiguredMachine& operator=(const ConfiguredMachine&) = delete;

    // The machine's registry could not be reached: why, for the user.
    Outcome Reachable() const {
        if (registryStatus_ == ERROR_SUCCESS) {
            return Outcome{};
        }
        return Outcome{static_cast<DWORD>(registryStatus_),
                       L"The registry of the print server cannot be reached (error " +
                           std::to_wstring(registryStatus_) + L")."};
    }
    vela::portconfig::PortConfiguration& Configuration() { return configuration_; }
    std::vector<std::wstring> ComPorts() { return comPorts_.Names(); }

  private:
    vela::portconfig::SpoolerRoute route_;
    // Before the store, which uses it, and closed after it.
    vela::UniqueRegKey machineKey_;
    LONG registryStatus_;
    vela::portconfig::RegistryPortStore store_;
    vela::portconfig::MachineComPorts comPorts_;
    vela::portconfig::PortConfiguration configuration_;
};

// The spooler's convention: the Win32 code as last error and FALSE.
BOOL Report(HWND owner, const Outcome& outcome) {
    if (outcome.Ok()) {
        return TRUE;
    }
    ::MessageBoxW(owner, outcome.message.c_str(), kTitle, MB_OK | MB_ICONWARNING);
    ::SetLastError(outcome.code);
    return FALSE;
}

BOOL Cancelled() {
    ::SetLastError(ERROR_CANCELLED);
    return FALSE;
}

BOOL WINAPI AddPortScreen(PCWSTR server, HWND owner, PCWSTR /*monitorName*/, PWSTR* portNameOut) {
    if (portNameOut != nullptr) {
        *portNameOut = nullptr;
    }
    ConfiguredMachine machine(server);
    if (!machine.Reachable().Ok()) {
        return Report(owner, machine.Reachable());
    }
    vela::ui::PortDialogFields fields;
    fields.editableName = true;
    fields.comPorts = machine.ComPorts();
    const vela::ui::PortDialogFields shown = fields;
    const bool added = vela::ui::ShowPortDialog(
        g_module, owner, fields, [&machine, &shown](const vela::ui::PortDialogFields& entered) {
            return machine.Configuration().AddPort(entered.name, entered.comName,
                                                   vela::ui::ChangedSettings(shown, entered));
        });
    if (!added) {
        return Cancelled();
    }
    if (portNameOut != nullptr) {
        // The caller frees the name with LocalFree, as spooler strings are freed.
        const size_t bytes = (fields.name.size() + 1) * sizeof(wchar_t);
        auto* copy = static_cast<PWSTR>(::LocalAlloc(LPTR, bytes));
        if (copy != nullptr) {
            ::CopyMemory(copy, fields.name.c_str(), bytes);
        }
        *portNameOut = copy;
    }
    return TRUE;
}

BOOL WINAPI ConfigurePortScreen(PCWSTR server, HWND owner, PCWSTR portName) {
    ConfiguredMachine machine(server);
    if (!machine.Reachable().Ok()) {
        return Report(owner, machine.Reachable());
    }
    vela::portconfig::PortListing port;
    const Outcome found =
        machine.Configuration().FindPort(portName != nullptr ? portName : L"", &port);
    if (!found.Ok()) {
        return Report(owner, found);
    }
    vela::ui::PortDialogFields fields;
    fields.name = port.name;
    fields.comPorts = machine.ComPorts();
    std::wstring comName;
    if (vela::portconfig::ParseSerialDevice(port.device, &comName)) {
        fields.comName = comName;
        // A device that is unplugged now is still shown as the port's own.
        bool present = false;
        for (const std::wstring& name : fields.comPorts) {
            present = present || name == comName;
        }
        if (!present) {
            fields.comPorts.push_back(comName);
        }
    }
    vela::PortSettings settings;
    const Outcome read = machine.Configuration().ReadSettings(port.name, &settings);
    if (!read.Ok()) {
        return Report(owner, read);
    }
    fields.baudRate = settings.baudRate;
    fields.streamWindow = settings.streamWindow;
    const vela::ui::PortDialogFields shown = fields;
    const bool configured = vela::ui::ShowPortDialog(
        g_module, owner, fields, [&machine, &shown](const vela::ui::PortDialogFields& entered) {
            const Outcome device = machine.Configuration().SetDevice(entered.name, entered.comName);
            const vela::PortSettingsChange change = vela::ui::ChangedSettings(shown, entered);
            if (!device.Ok() || change.Empty()) {
                return device;
            }
            return machine.Configuration().ChangeSettings(entered.name, change);
        });
    return configured ? TRUE : Cancelled();
}

BOOL WINAPI DeletePortScreen(PCWSTR server, HWND owner, PCWSTR portName) {
    const std::wstring name = portName != nullptr ? portName : L"";
    const std::wstring question = L"Delete the port \"" + name + L"\"?";
    if (::MessageBoxW(owner, question.c_str(), kTitle, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return Cancelled();
    }
    ConfiguredMachine machine(server);
    return Report(owner, machine.Configuration().DeletePort(name));
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" PMONITORUI WINAPI InitializePrintMonitorUI() {
    static MONITORUI table = {sizeof(MONITORUI), AddPortScreen, ConfigurePortScreen,
                              DeletePortScreen};
    return &table;
}
