// The spooler's printer and job calls, and the remove-model prompt, as a test double.
// The job's status can change at a chosen GetJobW call, and every SetJobW and prompt
// is recorded, a level-1 SetJobW as the job's status text. Port enumeration goes to
// the real (Wine) spooler unless told otherwise.
#pragma once

#include "platform/Platform.h"

#include <condition_variable>
#include <atomic>
#include <functional>
#include <mutex>
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
    std::atomic<DWORD> jobStatus{JOB_STATUS_PRINTING};
    // The spooled document's bytes a level-2 GetJobW reports (0: none known), and
    // JOB_STATUS_SPOOLING added to its status while the document still spools.
    std::atomic<DWORD> jobSize{0};
    std::atomic<bool> jobSpooling{false};
    // From this GetJobW call with a buffer on (1-based), the job has this status.
    // Reads that a status text is written from (a level-1 SetJobW follows) do not
    // count: the count is of the monitor's looks at the job.
    int statusChangeAtCall = 0;
    DWORD changedStatus = JOB_STATUS_DELETING;
    // Failure knobs.
    bool failOpenPrinter = false;
    DWORD sizeQueryError = ERROR_INSUFFICIENT_BUFFER;
    bool failSecondGetJob = false;
    bool failLoadLibrary = false;
    bool hidePromptFunction = false;
    // SetJobW level 1 (the status text) fails.
    bool refuseStatus = false;
    // Told each status text as it is set (nullptr: cleared); from the caller's thread.
    std::function<void(const wchar_t*)> onStatus;

    // What happened.
    int openPrinterCalls = 0;
    int closePrinterCalls = 0;
    int openPrinters = 0;
    std::atomic<int> getJobCalls{0};
    std::atomic<int> getJobCallsWithBuffer{0};
    // Level-2 reads with a buffer, which are not counted as looks at the job.
    std::atomic<int> jobSizeReads{0};
    int loadedLibraries = 0;
    std::wstring lastLibrary;
    // The job commands (level 0); the status texts are kept apart.
    std::vector<SetJobCall> setJobCalls;
    std::vector<Prompt> prompts;

    // What a status text cleared (pStatus NULL) is recorded as.
    static constexpr const wchar_t* kCleared = L"<cleared>";
    // Each status text set, refused ones too, in order.
    std::vector<std::wstring> StatusTexts() const;
    void ClearStatusTexts();
    // Waits (real time) until this text has been set; false when it never came.
    bool WaitForStatus(const std::wstring& text, DWORD milliseconds);
    // Level-1 calls that changed a job field other than pStatus (JOB_STATUS_ERROR
    // added to the status does not count).
    int statusCallsChangingFields = 0;
    // The status texts set with JOB_STATUS_ERROR: the job marked failed.
    std::vector<std::wstring> errorTexts;

  private:
    bool KeepsOtherFields(DWORD jobId, const JOB_INFO_1W& job) const;
    BOOL GetJobSize(DWORD jobId, LPBYTE job, DWORD size, LPDWORD needed);

    std::atomic<int> jobLooks_{0};
    mutable std::mutex statusLock_;
    std::condition_variable statusSet_;
    std::vector<std::wstring> statusTexts_;

    static BOOL WINAPI ExportedOpenPrinter(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW);
    static BOOL WINAPI ExportedClosePrinter(HANDLE printer);
    static BOOL WINAPI ExportedPrompt(HANDLE printer, DWORD jobId, PSHOWUIPARAMS params,
                                      DWORD* response);
    static FakeSpooler* active_;
};

} // namespace vela
