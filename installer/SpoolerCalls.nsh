; The spooler calls the installer makes itself: registering and deleting the port
; monitor, and the words for the errors the spooler answers. The installer is a 64-bit
; program, so a NULL environment is the spooler's own ("Windows x64"), as the monitor
; DLL is.

!define MONITOR_NAME "Vela3dp Print Monitor"
!define MONITOR_DLL_NAME "Vela3dpPrintMonitor.dll"
!define UI_DLL_NAME "Vela3dpPrintMonitorUI.dll"
!define MONITOR_KEY "SYSTEM\CurrentControlSet\Control\Print\Monitors\${MONITOR_NAME}"

!define ERROR_MOD_NOT_FOUND 126
!define ERROR_PROC_NOT_FOUND 127
!define ERROR_SHARING_VIOLATION 32
!define RPC_S_SERVER_UNAVAILABLE 1722
!define ERROR_PRINT_MONITOR_ALREADY_INSTALLED 3006
!define ERROR_PRINT_MONITOR_IN_USE 3008
!define ERROR_UNKNOWN_PRINT_MONITOR 3000

; Words for a Win32 error code: ${SpoolerErrorText} CODE RESULT-VARIABLE
!macro SpoolerErrorText code result
  ${Select} ${code}
  ${Case} 5
    StrCpy ${result} "access denied: run the installer as an administrator"
  ${Case} ${ERROR_SHARING_VIOLATION}
    StrCpy ${result} "a file is in use: restart Windows, then run the installer again"
  ${Case} ${ERROR_MOD_NOT_FOUND}
    StrCpy ${result} "the spooler could not load ${MONITOR_DLL_NAME}"
  ${Case} ${ERROR_PROC_NOT_FOUND}
    StrCpy ${result} "${MONITOR_DLL_NAME} did not start as a port monitor"
  ${Case} ${RPC_S_SERVER_UNAVAILABLE}
    StrCpy ${result} "the Print Spooler service is not running: start it, then try again"
  ${Case} ${ERROR_PRINT_MONITOR_ALREADY_INSTALLED}
    StrCpy ${result} "the monitor is already installed"
  ${Case} ${ERROR_PRINT_MONITOR_IN_USE}
    StrCpy ${result} "a printer still uses a port of the monitor: delete that printer, \
or move it to another port, then try again"
  ${CaseElse}
    StrCpy ${result} "error ${code}"
  ${EndSelect}
!macroend
!define SpoolerErrorText "!insertmacro SpoolerErrorText"

; AddMonitor at level 2 (name, NULL environment, DLL name); the monitor's DLL must be
; in the system folder already. Leaves 0 in $0 on success, else the error code.
Function RegisterMonitor
  Push $1
  Push $2
  Push $3
  Push $4
  ; Each string in a block of its own, so that the record holds plain pointers.
  System::Call '*(&w64 "${MONITOR_NAME}") p .r1'
  System::Call '*(&w64 "${MONITOR_DLL_NAME}") p .r2'
  System::Call '*(p r1, p 0, p r2) p .r3'
  System::Call 'winspool.drv::AddMonitorW(p 0, i 2, p r3) i .r0 ?e'
  Pop $4
  ${If} $0 <> 0
    StrCpy $0 0
  ${ElseIf} $4 = 0
    ; A failure that left no error code is still a failure.
    StrCpy $0 -1
  ${Else}
    StrCpy $0 $4
  ${EndIf}
  System::Free $3
  System::Free $2
  System::Free $1
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

; DeleteMonitor on this machine (its environment is NULL). Leaves 0 in $0 on success (also
; when the spooler no longer knows the monitor), else the error code.
Function un.DeleteMonitor
  Push $1
  System::Call 'winspool.drv::DeleteMonitorW(p 0, p 0, w "${MONITOR_NAME}") i .r0 ?e'
  Pop $1
  ${If} $0 <> 0
  ${OrIf} $1 = ${ERROR_UNKNOWN_PRINT_MONITOR}
    StrCpy $0 0
  ${ElseIf} $1 = 0
    StrCpy $0 -1
  ${Else}
    StrCpy $0 $1
  ${EndIf}
  Pop $1
FunctionEnd
