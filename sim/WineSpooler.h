// The monitor inside the real spooler of the Wine prefix the program runs in: the
// built DLLs installed as an installer installs them, ports and printers added as
// a user adds them, and documents printed as a program prints them. Wine's spooler
// (winspool, localspl, winprint) runs inside the calling process and loads the
// monitor there, so every program that calls it loads the monitor anew; only the
// prefix's files and registry persist between programs. Nothing of the project's
// doubles stands in for the spooler here. For the spooler suite and benchmark.
#pragma once

#include "platform/UniqueResource.h"
#include "platform/Win32Headers.h"

#include <string>
#include <vector>

namespace vela::test::spooler {

constexpr wchar_t kMonitorName[] = L"Vela3dp Print Monitor";
constexpr wchar_t kMonitorLibrary[] = L"Vela3dpPrintMonitor.dll";
constexpr wchar_t kMonitorUiLibrary[] = L"Vela3dpPrintMonitorUI.dll";
constexpr wchar_t kMonitorKeyPath[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Vela3dp Print Monitor";
// A driver that every Wine prefix carries: its PostScript driver. The monitor
// never looks at it; a printer needs one.
constexpr wchar_t kDriverName[] = L"Vela3dp Test Driver";

// A handle from OpenPrinterW (a printer, or a transceive handle).
struct PrinterTraits : NullIsInvalid<HANDLE> {
    static void Close(HANDLE printer) noexcept { ::ClosePrinter(printer); }
};
using UniquePrinter = UniqueResource<HANDLE, PrinterTraits>;

// A printer of the monitor: its queue, its port and the port's serial device
// (\\.\COMn), or none for a USB printer.
struct PrinterSetup {
    std::wstring printer;
    std::wstring port;
    std::wstring device;
};

// The folder that holds the program, levelsUp folders up (0: its own).
std::wstring ProgramFolder(int levelsUp);

// The steps of an installation; each gives ERROR_SUCCESS or the Win32 error.
// Both DLLs from folder into the system folder, as an installer copies them.
DWORD CopyMonitorLibraries(const std::wstring& folder);
DWORD DeleteMonitorLibraries();
// AddMonitorW level 2, which loads the monitor and initialises it.
DWORD AddMonitor();
DWORD DeleteMonitor();
// A transceive command of the monitor through ",XcvMonitor <name>" with the
// administer right: the name and its terminator as input, an optional output.
DWORD MonitorCommand(const wchar_t* command, const std::wstring& input, void* output = nullptr,
                     DWORD outputSize = 0, DWORD* needed = nullptr);
// Wine finds the monitor of a port only through a key "Ports\<port>" below the
// monitor's key; Windows asks the monitors themselves.
DWORD LinkPortForWine(const std::wstring& port);
DWORD UnlinkPortForWine(const std::wstring& port);
// The port's device as the port screens store it: the data of its "Ports" value.
DWORD WritePortDevice(const std::wstring& port, const std::wstring& device);
DWORD ReadPortDevice(const std::wstring& port, std::wstring* device);
// A COM port the machine lists (HARDWARE\DEVICEMAP\SERIALCOMM), as the port
// screen offers them.
DWORD ListComPort(const std::wstring& comName);
DWORD AddDriver();
// AddPrinterW on the port, with the RAW datatype and the "winprint" processor.
DWORD AddPrinter(const PrinterSetup& setup);
DWORD DeletePrinter(const std::wstring& printer);

// Whatever of the installation is missing, each an empty text or the step that
// failed and its error. The DLLs (copied afresh: a DLL loaded in this process
// cannot be) and the monitor:
std::string EnsureMonitor(const std::wstring& libraryFolder);
// Each printer's port with its device, the driver and the printers.
std::string EnsurePrinters(const std::vector<PrinterSetup>& printers);

// A document printed as a program prints it: OpenPrinterW, StartDocPrinterW with
// the RAW datatype, WritePrinter in pieces of the given size, EndDocPrinter,
// ClosePrinter. Wine's spooler keeps the bytes until EndDocPrinter, which hands
// them to the monitor: OpenPort, StartDocPort, WritePort, EndDocPort, ClosePort.
struct PrintOutcome {
    // The first call that failed ("" when none did) and its error.
    std::string failedCall;
    DWORD error = ERROR_SUCCESS;
    // How long EndDocPrinter took: the monitor's whole document.
    double endSeconds = 0;
    bool Printed() const { return failedCall.empty(); }
};
PrintOutcome PrintDocument(const std::wstring& printer, const std::string& bytes, size_t piece,
                           const std::wstring& documentName = L"model.gcode");

// EnumPortsW at level 1 or 2; monitor and description stay empty at level 1.
struct PortRecord {
    std::wstring name;
    std::wstring monitor;
    std::wstring description;
    DWORD type = 0;
};
DWORD EnumeratePorts(DWORD level, std::vector<PortRecord>* ports);

} // namespace vela::test::spooler
