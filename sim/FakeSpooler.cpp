#include "sim/FakeSpooler.h"

#include <algorithm>
#include <chrono>
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
    if (printer == PrinterHandle() && level == 2) {
        return GetJobSize(jobId, job, size, needed);
    }
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
    ++jobLooks_;
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
    // Fields a level-1 SetJobW would change when not passed back as they are.
    info->Priority = 7;
    info->Position = 3;
    info->TotalPages = 11;
    info->PagesPrinted = 2;
    const bool changed = statusChangeAtCall > 0 && jobLooks_ >= statusChangeAtCall;
    info->Status = changed ? changedStatus : jobStatus.load();
    *needed = required;
    return TRUE;
}

BOOL FakeSpooler::GetJobSize(DWORD jobId, LPBYTE job, DWORD size, LPDWORD needed) {
    const size_t nameBytes = (documentName.size() + 1) * sizeof(wchar_t);
    const DWORD required = static_cast<DWORD>(sizeof(JOB_INFO_2W) + nameBytes);
    *needed = required;
    if (job == nullptr || size < required) {
        ::SetLastError(sizeQueryError);
        return FALSE;
    }
    ++jobSizeReads;
    auto* info = reinterpret_cast<JOB_INFO_2W*>(job);
    std::memset(info, 0, sizeof(*info));
    info->JobId = jobId;
    auto* text = reinterpret_cast<wchar_t*>(job + sizeof(JOB_INFO_2W));
    std::memcpy(text, documentName.c_str(), nameBytes);
    info->pDocument = documentNamePresent ? text : nullptr;
    info->Status = jobStatus.load() | (jobSpooling ? JOB_STATUS_SPOOLING : 0);
    info->Size = jobSize.load();
    return TRUE;
}

bool FakeSpooler::KeepsOtherFields(DWORD jobId, const JOB_INFO_1W& job) const {
    const bool document = documentNamePresent
                              ? job.pDocument != nullptr && documentName == job.pDocument
                              : job.pDocument == nullptr;
    return document && job.JobId == jobId && job.Priority == 7 && job.Position == 3 &&
           job.TotalPages == 11 && job.PagesPrinted == 2 && job.pPrinterName == nullptr &&
           ((job.Status & ~JOB_STATUS_ERROR) == jobStatus.load() ||
            (job.Status & ~JOB_STATUS_ERROR) == changedStatus);
}

BOOL FakeSpooler::SetJobW(HANDLE, DWORD jobId, DWORD level, LPBYTE job, DWORD command) {
    if (level != 1) {
        setJobCalls.push_back({jobId, level, command});
        return TRUE;
    }
    // The read this text was written from was no look at the job.
    --jobLooks_;
    const auto& info = *reinterpret_cast<const JOB_INFO_1W*>(job);
    if (command != 0 || !KeepsOtherFields(jobId, info)) {
        ++statusCallsChangingFields;
    }
    if (onStatus) {
        onStatus(info.pStatus);
    }
    {
        std::lock_guard<std::mutex> guard(statusLock_);
        statusTexts_.push_back(info.pStatus != nullptr ? info.pStatus : kCleared);
        if ((info.Status & JOB_STATUS_ERROR) != 0) {
            errorTexts.push_back(info.pStatus != nullptr ? info.pStatus : kCleared);
        }
    }
    statusSet_.notify_all();
    if (refuseStatus) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

std::vector<std::wstring> FakeSpooler::StatusTexts() const {
    std::lock_guard<std::mutex> guard(statusLock_);
    return statusTexts_;
}

void FakeSpooler::ClearStatusTexts() {
    std::lock_guard<std::mutex> guard(statusLock_);
    std::vector<std::wstring>().swap(statusTexts_);
}

bool FakeSpooler::WaitForStatus(const std::wstring& text, DWORD milliseconds) {
    std::unique_lock<std::mutex> guard(statusLock_);
    return statusSet_.wait_for(guard, std::chrono::milliseconds(milliseconds), [&] {
        return std::find(statusTexts_.begin(), statusTexts_.end(), text) != statusTexts_.end();
    });
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
