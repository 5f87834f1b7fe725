; The Vela3dp Print Monitor's installer. It copies the monitor and its port screens
; into the system folder the spooler loads monitors from and the host program into
; Program Files, registers the monitor with the spooler (AddMonitor), offers a first
; port, and leaves an uninstaller, listed under the installed apps, that deletes that
; port, the monitor and the files again.
;
; Built by CMake (target "installer"):
;   makensis -WX -DMONITOR_DLL=... -DUI_DLL=... -DHOST_EXE=... -DOUTFILE=... -DVERSION=x.y.z
;
; Command line, also for a silent install (/S):
;   /PORT=NAME     add a port of that name (without it a silent install adds none)
;   /SERIAL=COMn   the port's printer is a serial printer on COMn (else a USB printer)
; Exit codes: 0 installed; 1 cancelled; 2 refused or failed, nothing installed;
; 3 installed, but the port asked for was not added; 740 no administrator rights.

Unicode true
; A 64-bit installer: the monitor DLL is x86_64 as the spooler is, the system folder it
; sees is the real System32 (no file system redirection to undo), its registry view is
; the 64-bit one, and the NULL environment of its AddMonitor is the spooler's own (a
; 32-bit caller's would be "Windows NT x86").
Target amd64-unicode
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include StrFunc.nsh
!include MUI2.nsh
!include nsDialogs.nsh

${UnStrStr}

!ifndef MONITOR_DLL | UI_DLL | HOST_EXE | OUTFILE | VERSION
  !error "define MONITOR_DLL, UI_DLL, HOST_EXE, OUTFILE and VERSION"
!endif

!define PRODUCT "Vela3dp Print Monitor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vela3dpPrintMonitor"
!define HOST_NAME "vela3dp-host.exe"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; Not to be chosen in the dialog: the uninstaller runs the host program from here with
; administrator rights, so it stays in a folder only administrators can change.
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!include "SpoolerCalls.nsh"
!include "PortPage.nsh"
!include "CommandLine.nsh"
!include "PrintersInUse.nsh"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
Page custom PortPageShow PortPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Vela3dp"

; The spooler takes monitors only from administrators; say so rather than fail later.
!macro RefuseWithoutAdministrator un
  Function ${un}RefuseWithoutAdministrator
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      MessageBox MB_ICONSTOP|MB_OK "Installing or removing the ${PRODUCT} needs administrator \
rights: run this program as an administrator." /SD IDOK
      SetErrorLevel 740
      Quit
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro RefuseWithoutAdministrator ""
!insertmacro RefuseWithoutAdministrator "un."

Function .onInit
  SetRegView 64
  Call RefuseWithoutAdministrator
  ; Installed already (by this installer or by "vela3dp-host install"): its DLLs are in
  ; use and its registration stays; a failed second install must not take them away.
  ReadRegStr $0 HKLM "${MONITOR_KEY}" "Driver"
  ${If} $0 != ""
    MessageBox MB_ICONSTOP|MB_OK "The ${PRODUCT} is installed already. To install this \
version, first uninstall the one installed (Settings, Apps)." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}

  ; The dialog offers a port named so; a silent install adds one only when asked to.
  StrCpy $PortName "Vela3dp:"
  StrCpy $PortCom ""
  StrCpy $WantPort 1
  ${If} ${Silent}
    StrCpy $WantPort 0
  ${EndIf}
  Call ReadCommandLine
FunctionEnd

; Where the files unpack: inside the install folder, which only administrators can
; change, not in the temporary folder, which the user's other, unelevated programs can
; change too (the spooler runs the DLLs as SYSTEM).
!define STAGING "$INSTDIR\unpacked"

Function RemoveStaging
  Delete "${STAGING}\${MONITOR_DLL_NAME}"
  Delete "${STAGING}\${UI_DLL_NAME}"
  Delete "${STAGING}\${HOST_NAME}"
  RMDir "${STAGING}"
FunctionEnd

; Copies the unpacked files into place. Leaves 0 in $0, or the error code and in $1 the
; file that failed.
Function PlaceFiles
  StrCpy $1 "$SYSDIR\${MONITOR_DLL_NAME}"
  System::Call 'kernel32::CopyFileW(w "${STAGING}\${MONITOR_DLL_NAME}", w r1, i 0) i .r0 ?e'
  Pop $2
  ${If} $0 <> 0
    StrCpy $1 "$SYSDIR\${UI_DLL_NAME}"
    System::Call 'kernel32::CopyFileW(w "${STAGING}\${UI_DLL_NAME}", w r1, i 0) i .r0 ?e'
    Pop $2
  ${EndIf}
  ${If} $0 <> 0
    StrCpy $1 "$INSTDIR\${HOST_NAME}"
    System::Call 'kernel32::CopyFileW(w "${STAGING}\${HOST_NAME}", w r1, i 0) i .r0 ?e'
    Pop $2
  ${EndIf}
  ${If} $0 <> 0
    StrCpy $0 0
  ${ElseIf} $2 = 0
    StrCpy $0 -1
  ${Else}
    StrCpy $0 $2
  ${EndIf}
FunctionEnd

; What a failed install leaves behind: nothing.
Function RemovePlacedFiles
  Delete /REBOOTOK "$SYSDIR\${MONITOR_DLL_NAME}"
  Delete /REBOOTOK "$SYSDIR\${UI_DLL_NAME}"
  Delete "$INSTDIR\${HOST_NAME}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
FunctionEnd

Function WriteUninstallEntry
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Vela3dp"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  ${GetSize} "$SYSDIR" "/M=Vela3dpPrintMonitor*.dll /S=0K /G=0" $3 $1 $2
  IntOp $0 $0 + $3
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
FunctionEnd

; The first port, through the host program's port command, which goes through the
; spooler to the monitor just registered and says why it refuses a port.
Function AddFirstPort
  ${If} $WantPort <> 1
    Return
  ${EndIf}
  ; A port name holds no backslash, so a quote is its only character to escape.
  ${WordReplace} $PortName '"' '\"' "+" $1
  StrCpy $2 '"$INSTDIR\${HOST_NAME}" port add "$1"'
  ${If} $PortCom != ""
    StrCpy $2 '$2 --serial "$PortCom"'
  ${EndIf}
  DetailPrint "Adding the port $\"$PortName$\""
  nsExec::ExecToStack $2
  Pop $0
  Pop $1
  ${If} $0 == 0
    WriteRegStr HKLM "${UNINSTALL_KEY}" "AddedPort" $PortName
    DetailPrint $1
  ${Else}
    DetailPrint "The port was not added: $1"
    MessageBox MB_ICONEXCLAMATION|MB_OK "The monitor is installed, but the port $PortName was \
not added:$\r$\n$1$\r$\nYou can add a port in a printer's properties (Ports, Add Port...)." /SD IDOK
    SetErrorLevel 3
  ${EndIf}
FunctionEnd

Section "-Install"
  SetOutPath "${STAGING}"
  File "/oname=${HOST_NAME}" "${HOST_EXE}"
  File "/oname=${MONITOR_DLL_NAME}" "${MONITOR_DLL}"
  File "/oname=${UI_DLL_NAME}" "${UI_DLL}"
  ; The working folder of the installer and the programs it runs: one that only
  ; administrators can change, and not the install folder, which a failed install removes.
  SetOutPath "$SYSDIR"
  Call PlaceFiles
  Call RemoveStaging
  ${If} $0 <> 0
    ${SpoolerErrorText} $0 $2
    StrCpy $3 "Copying $1 failed: $2."
    Goto failed
  ${EndIf}
  ClearErrors
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    StrCpy $3 "Writing $INSTDIR\uninstall.exe failed."
    Goto failed
  ${EndIf}

  DetailPrint "Registering the port monitor ${MONITOR_NAME}"
  Call RegisterMonitor
  ${If} $0 <> 0
    ${SpoolerErrorText} $0 $2
    StrCpy $3 "The spooler did not take the port monitor: $2."
    Goto failed
  ${EndIf}
  Call WriteUninstallEntry
  Call AddFirstPort
  Return

failed:
  Call RemovePlacedFiles
  DetailPrint $3
  MessageBox MB_ICONSTOP|MB_OK "$3$\r$\nNothing was installed." /SD IDOK
  SetErrorLevel 2
  Abort
SectionEnd

Function un.onInit
  SetRegView 64
  Call un.RefuseWithoutAdministrator
FunctionEnd

; Nothing goes while a printer still uses a port of the monitor. Then the port the
; installer added, through the monitor, which refuses while a document prints on it;
; then the monitor. A refusal before the monitor is deleted leaves the monitor and its
; files installed.
Section "Uninstall"
  ; Not the temporary folder this copy of the uninstaller runs from: the host program
  ; runs with this working folder.
  SetOutPath "$SYSDIR"
  Call un.PrinterOnMonitorPort
  ${If} $0 <> 0
    ${SpoolerErrorText} $0 $2
    DetailPrint "The spooler did not list its ports and printers: $2."
    MessageBox MB_ICONSTOP|MB_OK "The spooler did not list its ports and printers: $2.$\r$\nNothing \
was removed." /SD IDOK
    SetErrorLevel 2
    Abort
  ${ElseIf} $1 != ""
    DetailPrint "The printer $\"$1$\" prints to the port $\"$2$\" of the monitor."
    MessageBox MB_ICONSTOP|MB_OK "The printer $1 prints to the port $2 of the monitor: delete \
that printer, or move it to another port, then uninstall again.$\r$\nNothing was removed." \
      /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  ReadRegStr $4 HKLM "${UNINSTALL_KEY}" "AddedPort"
  ${If} $4 != ""
  ${AndIf} ${FileExists} "$INSTDIR\${HOST_NAME}"
    DetailPrint "Deleting the port $\"$4$\""
    ${WordReplace} $4 '"' '\"' "+" $1
    nsExec::ExecToStack '"$INSTDIR\${HOST_NAME}" port delete "$1"'
    Pop $0
    Pop $1
    ${UnStrStr} $2 $1 "is not a port of the"
    ${If} $0 != 0
    ${AndIf} $2 == ""
      DetailPrint "The port was not deleted: $1"
      MessageBox MB_ICONSTOP|MB_OK "The port $4 was not deleted:$\r$\n$1$\r$\nNothing was \
removed." /SD IDOK
      SetErrorLevel 2
      Abort
    ${EndIf}
    DeleteRegValue HKLM "${UNINSTALL_KEY}" "AddedPort"
  ${EndIf}

  DetailPrint "Deleting the port monitor ${MONITOR_NAME}"
  Call un.DeleteMonitor
  ${If} $0 <> 0
    ${SpoolerErrorText} $0 $2
    DetailPrint "The spooler kept the port monitor: $2."
    MessageBox MB_ICONSTOP|MB_OK "The spooler kept the port monitor: $2.$\r$\nThe files stay \
installed." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  ; A DLL the spooler still holds goes when Windows restarts.
  Delete /REBOOTOK "$SYSDIR\${MONITOR_DLL_NAME}"
  Delete /REBOOTOK "$SYSDIR\${UI_DLL_NAME}"
  Delete "$INSTDIR\${HOST_NAME}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${If} ${RebootFlag}
    MessageBox MB_ICONINFORMATION|MB_OK "The monitor's DLLs are still in use; they are \
removed when Windows restarts." /SD IDOK
  ${EndIf}
SectionEnd
