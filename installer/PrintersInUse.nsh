; Whether a printer still prints to a port of the monitor. The uninstaller asks before it
; deletes anything: a deleted port or monitor would leave that printer with nowhere to
; send its documents, and a spooler that refuses DeleteMonitor only after the port is
; gone would leave half an installation.

!define PRINTER_ENUM_LOCAL 2
; The records' sizes in a 64-bit process: PORT_INFO_2W holds three pointers and two
; DWORDs; PRINTER_INFO_5W two pointers and three DWORDs, padded to a pointer's size.
!define PORT_INFO_2_SIZE 32
!define PRINTER_INFO_5_SIZE 32

; A text at a pointer into R-VARIABLE (a register name such as r8).
!macro TextAt pointer register
  System::Call 'kernel32::lstrcpynW(w .${register}, p ${pointer}, i ${NSIS_MAX_STRLEN})'
!macroend
!define TextAt "!insertmacro TextAt"

; The monitor's ports as ",NAME,NAME," in $R0 (a port name holds no comma). Leaves 0 in
; $0, else the spooler's error code; changes $1 to $9.
Function un.MonitorPorts
  StrCpy $R0 ","
  System::Call 'winspool.drv::EnumPortsW(p 0, i 2, p 0, i 0, *i .r1, *i .r2) i .r0 ?e'
  Pop $9
  ${If} $0 <> 0
    StrCpy $0 0
    Return
  ${ElseIf} $9 <> 122 ; ERROR_INSUFFICIENT_BUFFER
    StrCpy $0 $9
    Return
  ${EndIf}
  System::Alloc $1
  Pop $3
  System::Call 'winspool.drv::EnumPortsW(p 0, i 2, p r3, i r1, *i .r1, *i .r2) i .r0 ?e'
  Pop $9
  ${If} $0 = 0
    StrCpy $0 $9
  ${Else}
    StrCpy $0 0
    StrCpy $4 0
    ${DoWhile} $4 < $2
      IntPtrOp $5 $4 * ${PORT_INFO_2_SIZE}
      IntPtrOp $5 $3 + $5
      System::Call '*$5(p .r6, p .r7)'
      ${If} $6 P<> 0
      ${AndIf} $7 P<> 0
        ${TextAt} $7 r8
        ${If} $8 == "${MONITOR_NAME}"
          ${TextAt} $6 r8
          StrCpy $R0 "$R0$8,"
        ${EndIf}
      ${EndIf}
      IntOp $4 $4 + 1
    ${Loop}
  ${EndIf}
  System::Free $3
FunctionEnd

; Whether a printer's port list ("NAME" or "NAME,NAME", maybe with a space after each
; comma) in $8 names a port in $R0. Leaves the port in $R1, or "" when none is.
Function un.PortOfMonitorIn
  StrCpy $R1 ""
  StrCpy $R2 0
  StrCpy $R3 ""
  ${Do}
    StrCpy $R4 $8 1 $R2
    ${If} $R4 == ","
    ${OrIf} $R4 == ""
      ${If} $R3 != ""
        ${UnStrStr} $R5 $R0 ",$R3,"
        ${If} $R5 != ""
          StrCpy $R1 $R3
          ${Break}
        ${EndIf}
      ${EndIf}
      ${If} $R4 == ""
        ${Break}
      ${EndIf}
      StrCpy $R3 ""
    ${ElseIf} $R4 != " "
    ${OrIf} $R3 != ""
      StrCpy $R3 "$R3$R4"
    ${EndIf}
    IntOp $R2 $R2 + 1
  ${Loop}
FunctionEnd

; The first local printer on a port of the monitor: its name in $1 and the port in $2,
; both "" when there is none. Leaves 0 in $0, else the spooler's error code; changes $3
; to $9 and $R0 to $R5.
Function un.PrinterOnMonitorPort
  Call un.MonitorPorts
  StrCpy $1 ""
  StrCpy $2 ""
  ${If} $0 <> 0
  ${OrIf} $R0 == ","
    Return
  ${EndIf}
  System::Call 'winspool.drv::EnumPrintersW(i ${PRINTER_ENUM_LOCAL}, p 0, i 5, p 0, i 0, *i .r4, \
*i .r5) i .r0 ?e'
  Pop $9
  ${If} $0 <> 0
    StrCpy $0 0
    Return
  ${ElseIf} $9 <> 122 ; ERROR_INSUFFICIENT_BUFFER
    StrCpy $0 $9
    Return
  ${EndIf}
  System::Alloc $4
  Pop $3
  System::Call 'winspool.drv::EnumPrintersW(i ${PRINTER_ENUM_LOCAL}, p 0, i 5, p r3, i r4, \
*i .r4, *i .r5) i .r0 ?e'
  Pop $9
  ${If} $0 = 0
    StrCpy $0 $9
  ${Else}
    StrCpy $0 0
    StrCpy $4 0
    ${DoWhile} $4 < $5
      IntPtrOp $6 $4 * ${PRINTER_INFO_5_SIZE}
      IntPtrOp $6 $3 + $6
      System::Call '*$6(p .r6, p .r7)'
      ${If} $6 P<> 0
      ${AndIf} $7 P<> 0
        ${TextAt} $7 r8
        Call un.PortOfMonitorIn
        ${If} $R1 != ""
          ${TextAt} $6 r1
          StrCpy $2 $R1
          ${Break}
        ${EndIf}
      ${EndIf}
      IntOp $4 $4 + 1
    ${Loop}
  ${EndIf}
  System::Free $3
FunctionEnd
