// vela3dp-host: runs the monitor's own code in this process, playing the spooler's
// part, to print jobs on simulated printers; registers the monitor with a real
// Windows spooler; and adds, configures and deletes its ports.
#include "HostArguments.h"
#include "JobFile.h"
#include "PortCommands.h"
#include "SerialPrint.h"
#include "SpoolerSetup.h"
#include "UsbPrint.h"
#include "platform/Win32Headers.h"

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> CommandWords() {
    std::vector<std::wstring> words;
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (arguments == nullptr) {
        return words;
    }
    for (int i = 1; i < count; ++i) {
        words.emplace_back(arguments[i]);
    }
    ::LocalFree(arguments);
    return words;
}

int MakeJob(const vela::host::HostArguments& arguments) {
    const std::vector<uint8_t> stream = vela::host::MakeJobStream(arguments.records);
    if (!vela::host::WriteWholeFile(arguments.path, stream)) {
        std::fprintf(stderr, "Cannot write %ls\n", arguments.path.c_str());
        return 2;
    }
    std::printf("Wrote %ls: %d records, %llu bytes\n", arguments.path.c_str(), arguments.records,
                static_cast<unsigned long long>(stream.size()));
    return 0;
}

} // namespace

int main() {
    using vela::host::Command;
    // Progress lines and the monitor's own output appear in the order they happen.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const vela::host::ParsedArguments parsed = vela::host::ParseHostArguments(CommandWords());
    if (!parsed.ok) {
        std::fprintf(stderr, "vela3dp-host: %s\n\n%s", parsed.error.c_str(),
                     vela::host::UsageText());
        return 2;
    }
    switch (parsed.arguments.command) {
    case Command::Help:
        std::printf("%s", vela::host::UsageText());
        return 0;
    case Command::PrintUsb:
        return vela::host::PrintOnUsbPrinter(parsed.arguments);
    case Command::PrintSerial:
        return vela::host::PrintOnSerialPrinter(parsed.arguments);
    case Command::MakeJob:
        return MakeJob(parsed.arguments);
    case Command::Install:
        return vela::host::InstallMonitor();
    case Command::Uninstall:
        return vela::host::UninstallMonitor();
    case Command::Ports:
    case Command::PortAdd:
    case Command::PortSetSerial:
    case Command::PortSet:
    case Command::PortDelete:
        return vela::host::RunPortCommand(parsed.arguments);
    }
    return 2;
}
