; The page that offers a first port: its name, and the printer on it, a USB printer or
; a serial printer on one of the machine's COM ports. What it leaves: $WantPort (1 or
; 0), $PortName and $PortCom (empty for a USB printer). In silent mode the command
; line sets the same variables (see the main script).

Var WantPort
Var PortName
Var PortCom
Var PortPageAdd
Var PortPageName
Var PortPageUsb
Var PortPageSerial
Var PortPageComList

; The machine's COM ports, as the port screens list them: the values under SERIALCOMM.
Function FillComList
  Push $0
  Push $1
  Push $2
  StrCpy $0 0
  ${Do}
    EnumRegValue $1 HKLM "HARDWARE\DEVICEMAP\SERIALCOMM" $0
    ${If} $1 == ""
      ${Break}
    ${EndIf}
    ReadRegStr $2 HKLM "HARDWARE\DEVICEMAP\SERIALCOMM" $1
    ${If} $2 != ""
      ${NSD_CB_AddString} $PortPageComList $2
    ${EndIf}
    IntOp $0 $0 + 1
  ${Loop}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Controls follow the choices: nothing to fill in without a port, no COM port list
; for a USB printer.
Function PortPageSync
  Push $0
  Push $1
  Push $2
  ${NSD_GetState} $PortPageAdd $0
  ${NSD_GetState} $PortPageSerial $1
  EnableWindow $PortPageName $0
  EnableWindow $PortPageUsb $0
  ${NSD_CB_GetCount} $PortPageComList $2
  ${If} $2 = 0
    EnableWindow $PortPageSerial 0
  ${Else}
    EnableWindow $PortPageSerial $0
  ${EndIf}
  ${If} $0 = ${BST_CHECKED}
  ${AndIf} $1 = ${BST_CHECKED}
    EnableWindow $PortPageComList 1
  ${Else}
    EnableWindow $PortPageComList 0
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; The name rules the page can check before anything is installed (the monitor checks
; them all when the port is added): pops a name, pushes what is wrong with it or "".
Function CheckPortName
  Exch $0
  Push $1
  Push $2
  ${If} $0 == ""
    StrCpy $0 "Enter a name for the port."
  ${Else}
    StrCpy $1 0
    ${Do}
      StrCpy $2 $0 1 $1
      ${If} $2 == ""
        StrCpy $0 ""
        ${Break}
      ${ElseIf} $2 == ","
      ${OrIf} $2 == "\"
        StrCpy $0 "A port name cannot hold commas, backslashes or control characters."
        ${Break}
      ${EndIf}
      IntOp $1 $1 + 1
    ${Loop}
  ${EndIf}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

Function PortPageClicked
  Pop $0 ; the control
  Call PortPageSync
FunctionEnd

Function PortPageShow
  !insertmacro MUI_HEADER_TEXT "A port for your printer" \
    "A print queue sends its documents to a port of the monitor."
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 24u "The installer can add the first port now. You can add more \
later in a printer's properties (Ports, Add Port...), or with vela3dp-host port add."
  Pop $0
  ${NSD_CreateCheckbox} 0 30u 100% 10u "&Add a port"
  Pop $PortPageAdd
  ${NSD_CreateLabel} 12u 48u 60u 10u "Port &name:"
  Pop $0
  ${NSD_CreateText} 75u 46u 150u 12u $PortName
  Pop $PortPageName
  ${NSD_CreateRadioButton} 12u 66u 200u 10u "&USB printer"
  Pop $PortPageUsb
  ${NSD_CreateRadioButton} 12u 82u 68u 10u "&Serial printer on"
  Pop $PortPageSerial
  ${NSD_CreateDropList} 82u 80u 60u 80u ""
  Pop $PortPageComList
  Call FillComList
  ${NSD_CB_GetCount} $PortPageComList $0
  ${If} $0 = 0
    ${NSD_CreateLabel} 147u 82u 160u 10u "(this machine has no COM port)"
    Pop $0
  ${EndIf}

  ${If} $WantPort = 1
    ${NSD_Check} $PortPageAdd
  ${EndIf}
  ${If} $PortCom != ""
    ${NSD_Check} $PortPageSerial
    ${NSD_CB_SelectString} $PortPageComList $PortCom
  ${Else}
    ${NSD_Check} $PortPageUsb
    SendMessage $PortPageComList ${CB_SETCURSEL} 0 0
  ${EndIf}
  ${NSD_OnClick} $PortPageAdd PortPageClicked
  ${NSD_OnClick} $PortPageUsb PortPageClicked
  ${NSD_OnClick} $PortPageSerial PortPageClicked
  Call PortPageSync
  nsDialogs::Show
FunctionEnd

Function PortPageLeave
  ${NSD_GetState} $PortPageAdd $0
  ${If} $0 <> ${BST_CHECKED}
    StrCpy $WantPort 0
    Return
  ${EndIf}
  ${NSD_GetText} $PortPageName $1
  Push $1
  Call CheckPortName
  Pop $2
  ${If} $2 != ""
    MessageBox MB_ICONEXCLAMATION|MB_OK $2
    Abort ; stays on the page
  ${EndIf}
  StrCpy $3 ""
  ${NSD_GetState} $PortPageSerial $0
  ${If} $0 = ${BST_CHECKED}
    ${NSD_GetText} $PortPageComList $3
    ; A COM port from the command line that this machine does not have selects none.
    ${If} $3 == ""
      MessageBox MB_ICONEXCLAMATION|MB_OK "Choose the COM port of the serial printer."
      Abort ; stays on the page
    ${EndIf}
  ${EndIf}
  StrCpy $WantPort 1
  StrCpy $PortName $1
  StrCpy $PortCom $3
FunctionEnd
