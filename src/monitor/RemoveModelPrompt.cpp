#include "monitor/RemoveModelPrompt.h"

#include "platform/SeamResources.h"

#include <string>

namespace vela {
namespace {

// Resolved from the spooler's own library at run time: the prompt entry exists only
// in the spooler process of newer systems.
using OpenPrinterFunction = BOOL(WINAPI*)(LPWSTR, LPHANDLE, LPPRINTER_DEFAULTSW);
using ClosePrinterFunction = BOOL(WINAPI*)(HANDLE);
using PromptFunction = BOOL(WINAPI*)(HANDLE, DWORD, PSHOWUIPARAMS, DWORD*);

template <typename Function> Function Resolve(Spooler& spooler, HMODULE module, const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(spooler.GetProcAddress(module, name)));
}

// The spooler's own library, from the system folder wherever Windows is installed.
std::wstring SpoolerLibraryPath() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return std::wstring();
    }
    return std::wstring(folder, length) + L"\\spoolss.dll";
}

} // namespace

static_assert(sizeof(MESSAGEBOX_PARAMS) == 40, "message box parameters as the spooler expects");

const wchar_t kRemoveModelTitle[] = L"3D Printer V24.1: Remove Model";
const wchar_t kRemoveModelMessage[] =
    L"Press OK after removing your model from the 3D printer to start the next print.";

BOOL PromptRemoveModel(MonitorState& /*state*/, LPCWSTR printerName, DWORD jobId, LPCWSTR title,
                       LPCWSTR message) {
    if (printerName == nullptr) {
        return 0;
    }
    Spooler& spooler = *CurrentPlatform().spooler;
    const std::wstring path = SpoolerLibraryPath();
    if (path.empty()) {
        return 0;
    }
    const UniqueSpoolerModule owner(spooler.LoadLibraryW(path.c_str()));
    if (!owner.Valid()) {
        return 0;
    }
    const HMODULE library = owner.Get();
    // Looked up first: where the library has no prompt, its OpenPrinterW may be a
    // stub that ends the process (Wine's is).
    auto prompt = Resolve<PromptFunction>(spooler, library, "SplPromptUIInUsersSession");
    if (prompt == nullptr) {
        return 0;
    }
    auto openPrinter = Resolve<OpenPrinterFunction>(spooler, library, "OpenPrinterW");
    HANDLE printer = nullptr;
    if (openPrinter == nullptr ||
        !openPrinter(const_cast<LPWSTR>(printerName), &printer, nullptr)) {
        return 0;
    }
    SHOWUIPARAMS params{};
    params.UIType = kMessageBox;
    params.MessageBoxParams.cbSize = sizeof(MESSAGEBOX_PARAMS);
    params.MessageBoxParams.pTitle = const_cast<LPWSTR>(title);
    params.MessageBoxParams.pMessage = const_cast<LPWSTR>(message);
    params.MessageBoxParams.Style = MB_ICONEXCLAMATION | MB_OK;
    params.MessageBoxParams.dwTimeout = 0;
    params.MessageBoxParams.bWait = TRUE;
    DWORD response = 0;
    const BOOL result = prompt(printer, jobId, &params, &response);
    // Closed through the library's own function, while the library is loaded.
    auto closePrinter = Resolve<ClosePrinterFunction>(spooler, library, "ClosePrinter");
    if (closePrinter != nullptr) {
        closePrinter(printer);
    }
    return result;
}

} // namespace vela
