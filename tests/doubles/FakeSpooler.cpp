#include "doubles/FakeSpooler.h"

#include <cstring>

namespace vela {
namespace {

HANDLE PrinterHandle() {
    return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x9A1));
}
HMODULE SpoolerModule() {
    return reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x5B00));
}

} // namespace

FakeSpooler* FakeSpooler::active_ = nullptr;

FakeSpooler::FakeSpooler() {
    active_ = this;
}

FakeSpooler::~FakeSpooler() {
    if (active_ == this) {
        active_ = nullptr;
    }
}

BOOL FakeSpooler::OpenPrinterW(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW) {
    ++openPrinterCalls;
    if (failOpenPrinter || name == nullptr || printerName != name) {
        ::SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    ++openPrinters;
    *printer = PrinterHandle();
    return TRUE;
}

BOOL FakeSpooler::ClosePrinter(HANDLE printer) {
    ++closePrinterCalls;
    if (printer != PrinterHandle()) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    --openPrinters;
    return TRUE;
}

BOOL FakeSpooler::GetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD size,
                          LPDWORD needed) {
    ++getJobCalls;
    if (printer != PrinterHandle() || level != 1) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const size_t nameBytes = (documentName.size() + 1) * sizeof(wchar_t);
    const DWORD required = static_cast<DWORD>(sizeof(JOB_INFO_1W) + nameBytes);
    if (job == nullptr || size < required) {
        *needed = required;
        ::SetLastError(sizeQueryError);
        return FALSE;
    }
    ++getJobCallsWithBuffer;
    if (failSecondGetJob) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* info = reinterpret_cast<JOB_INFO_1W*>(job);
    std::memset(info, 0, sizeof(*info));
    info->JobId = jobId;
    auto* text = reinterpret_cast<wchar_t*>(job + sizeof(JOB_INFO_1W));
    std::memcpy(text, documentName.c_str(), nameBytes);
    info->pDocument = documentNamePresent ? text : nullptr;
    info->pPrinterName = nullptr;
    const bool changed = statusChangeAtCall > 0 && getJobCallsWithBuffer >= statusChangeAtCall;
    info->Status = changed ? changedStatus : jobStatus;
    *needed = required;
    return TRUE;
}

BOOL FakeSpooler::SetJobW(HANDLE, DWORD jobId, DWORD level, LPBYTE, DWORD command) {
    setJobCalls.push_back({jobId, level, command});
    return TRUE;
}

BOOL FakeSpooler::EnumPortsW(LPWSTR serverName, DWORD level, LPBYTE ports, DWORD size,
                             LPDWORD needed, LPDWORD returned) {
    return Win32Platform().spooler->EnumPortsW(serverName, level, ports, size, needed, returned);
}

HMODULE FakeSpooler::LoadLibraryW(LPCWSTR fileName) {
    lastLibrary = fileName != nullptr ? fileName : L"";
    if (failLoadLibrary) {
        ::SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++loadedLibraries;
    return SpoolerModule();
}

FARPROC FakeSpooler::GetProcAddress(HMODULE module, LPCSTR procName) {
    if (module != SpoolerModule() || procName == nullptr) {
        return nullptr;
    }
    if (std::strcmp(procName, "OpenPrinterW") == 0) {
        return reinterpret_cast<FARPROC>(&ExportedOpenPrinter);
    }
    if (std::strcmp(procName, "ClosePrinter") == 0) {
        return reinterpret_cast<FARPROC>(&ExportedClosePrinter);
    }
    if (std::strcmp(procName, "SplPromptUIInUsersSession") == 0 && !hidePromptFunction) {
        return reinterpret_cast<FARPROC>(&ExportedPrompt);
    }
    return nullptr;
}

BOOL FakeSpooler::FreeLibrary(HMODULE module) {
    if (module != SpoolerModule()) {
        return FALSE;
    }
    --loadedLibraries;
    return TRUE;
}

BOOL WINAPI FakeSpooler::ExportedOpenPrinter(LPWSTR name, LPHANDLE printer,
                                             LPPRINTER_DEFAULTSW defaults) {
    return active_->OpenPrinterW(name, printer, defaults);
}

BOOL WINAPI FakeSpooler::ExportedClosePrinter(HANDLE printer) {
    return active_->ClosePrinter(printer);
}

BOOL WINAPI FakeSpooler::ExportedPrompt(HANDLE printer, DWORD jobId, PSHOWUIPARAMS params,
                                        DWORD* response) {
    if (printer != PrinterHandle() || params == nullptr || response == nullptr) {
        return FALSE;
    }
    const MESSAGEBOX_PARAMS& box = params->MessageBoxParams;
    active_->prompts.push_back({jobId, active_->printerName, params->UIType, box.cbSize,
                                box.pTitle != nullptr ? box.pTitle : L"",
                                box.pMessage != nullptr ? box.pMessage : L"", box.Style,
                                box.dwTimeout, box.bWait});
    *response = IDOK;
    return TRUE;
}

} // namespace vela
