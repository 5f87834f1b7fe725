; The installer's own options, split as every Windows program splits its command line
; (CommandLineToArgvW), so that "/PORT=Vela Cube:" and /PORT="Vela Cube:" both name the
; port Vela Cube:. Options are matched ignoring case.

; ${OptionValue} ARGUMENT PREFIX RESULT: the rest of ARGUMENT after PREFIX, else RESULT
; stays as it is.
!macro OptionValue argument prefix result
  StrLen $R8 "${prefix}"
  StrCpy $R9 ${argument} $R8
  ${If} $R9 == "${prefix}"
    StrCpy ${result} ${argument} "" $R8
    StrCpy $R7 1
  ${EndIf}
!macroend
!define OptionValue "!insertmacro OptionValue"

; Sets $PortName and $WantPort from /PORT=NAME and $PortCom from /SERIAL=COMn.
Function ReadCommandLine
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $R7
  Push $R8
  Push $R9
  ; The command line by its pointer: its quotes would end a quoted string in a call's
  ; definition.
  System::Call 'kernel32::GetCommandLineW() p .r3'
  System::Call 'shell32::CommandLineToArgvW(p r3, *i 0 r1) p .r0'
  ${If} $0 P<> 0
    StrCpy $2 1
    ${DoWhile} $2 < $1
      IntPtrOp $3 $2 * ${NSIS_PTR_SIZE}
      IntPtrOp $3 $0 + $3
      System::Call '*$3(p .r3)'
      ; Copied up to its end: the last argument ends its block.
      System::Call 'kernel32::lstrcpynW(w .r4, p r3, i ${NSIS_MAX_STRLEN})'
      StrCpy $R7 0
      ${OptionValue} $4 "/PORT=" $PortName
      ${If} $R7 = 1
        StrCpy $WantPort 1
      ${EndIf}
      ${OptionValue} $4 "/SERIAL=" $PortCom
      IntOp $2 $2 + 1
    ${Loop}
    System::Call 'kernel32::LocalFree(p r0)'
  ${EndIf}
  Pop $R9
  Pop $R8
  Pop $R7
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
