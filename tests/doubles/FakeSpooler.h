// The spooler's printer and job calls, and the remove-model prompt, as a test double.
// The job's status can change at a chosen GetJobW call, and every SetJobW and prompt
// is recorded. Port enumeration goes to the real (Wine) spooler unless told otherwise.
#pragma once

#include "platform/Platform.h"

#include <string>
#include <vector>

namespace vela {

class FakeSpooler : public Spooler {
  public:
    FakeSpooler();
    ~FakeSpooler() override;
    FakeSpooler(const FakeSpooler&) = delete;
    FakeSpooler& operator=(const FakeSpooler&) = delete;

    BOOL OpenPrinterW(LPWSTR printerName, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) override;
    BOOL ClosePrinter(HANDLE printer) override;
    BOOL GetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD size,
                 LPDWORD needed) override;
    BOOL SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command) override;
    BOOL EnumPortsW(LPWSTR serverName, DWORD level, LPBYTE ports, DWORD size, LPDWORD needed,
                    LPDWORD returned) override;
    HMODULE LoadLibraryW(LPCWSTR fileName) override;
    FARPROC GetProcAddress(HMODULE module, LPCSTR procName) override;
    BOOL FreeLibrary(HMODULE module) override;

    struct SetJobCall {
        DWORD jobId;
        DWORD level;
        DWORD command;
    };
    struct Prompt {
        DWORD jobId;
        std::wstring printerName;
        UI_TYPE uiType;
        DWORD cbSize;
        std::wstring title;
        std::wstring message;
        DWORD style;
        DWORD timeout;
        BOOL wait;
    };

    // The printer the spooler knows, and its job.
    std::wstring printerName = L"Vela Printer";
    bool documentNamePresent = true;
    std::wstring documentName = L"model.gcode";
    DWORD jobStatus = JOB_STATUS_PRINTING;
    // From this GetJobW call with a buffer on (1-based), the job has this status.
    int statusChangeAtCall = 0;
    DWORD changedStatus = JOB_STATUS_DELETING;
    // Failure knobs.
    bool failOpenPrinter = false;
    DWORD sizeQueryError = ERROR_INSUFFICIENT_BUFFER;
    bool failSecondGetJob = false;
    bool failLoadLibrary = false;
    bool hidePromptFunction = false;

    // What happened.
    int openPrinterCalls = 0;
    int closePrinterCalls = 0;
    int openPrinters = 0;
    int getJobCalls = 0;
    int getJobCallsWithBuffer = 0;
    int loadedLibraries = 0;
    std::wstring lastLibrary;
    std::vector<SetJobCall> setJobCalls;
    std::vector<Prompt> prompts;

  private:
    static BOOL WINAPI ExportedOpenPrinter(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW);
    static BOOL WINAPI ExportedClosePrinter(HANDLE printer);
    static BOOL WINAPI ExportedPrompt(HANDLE printer, DWORD jobId, PSHOWUIPARAMS params,
                                      DWORD* response);
    static FakeSpooler* active_;
};

} // namespace vela
