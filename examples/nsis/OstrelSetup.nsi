; Setup of the AutoCAD add-on Ostrel 17, one for both editions. A 32-bit
; installer, so that the Windows download of NSIS 3 builds it: it reaches the
; 64-bit Program Files and registry view through x64.nsh.
;
; On 64-bit Windows each edition's RegOSTCtl.exe /VERIFY first says, from a
; temporary folder with the setup file, whether its registry view has an
; AutoCAD of a listed release (2 or 7: none). The setup installs the x64
; edition into Program Files where a 64-bit AutoCAD is, the x86 edition into
; Program Files (x86) where a 32-bit one is, both where both are, the x64 one
; where none is (ending with 10), and uninstalls an edition an earlier run
; installed that is no longer needed. On 32-bit Windows: the x86 edition.
; Each edition's folder gets its RegOSTCtl.exe, the add-on of its machine as
; Ostrel.arx, RegOST.ini and RegOST's licence; RegOSTCtl registers the
; add-on. One uninstaller and uninstall entry, in the machine's own edition's
; folder and registry view, remove every edition installed.
;
; Built by build.sh, or on Windows by makensis with SETUP_INI (the vendor's
; RegOST.ini), ARX_X86 and ARX_X64 (the add-on for 32-bit and for 64-bit
; AutoCAD) and OUT_FILE defined; CTL_X86, CTL_X64 and LICENCE (RegOSTCtl.exe
; of each edition, RegOST's licence) default to the release's.
;
; Silent install: OstrelSetup.exe /S; the folders are fixed. Exit codes, the
; worst of the editions' (a failure, 1618, 10, 3010, 0): 0 registered, for
; every user; 3010 registered, the new Ostrel.arx replaces the one AutoCAD
; holds at the next restart; 10 no AutoCAD of the listed releases (a
; warning); 1618 another run of RegOSTCtl held the registry past its wait:
; run the setup again; 2 registering failed; 1 cancelled. The files and the
; uninstaller stay in every case.

!ifdef SETUP_INI & ARX_X86 & ARX_X64 & OUT_FILE
!else
  !error "build with build.sh OUT_DIR SETUP_INI ARX_X86 ARX_X64, or define these four"
!endif
!ifndef CTL_X86
  !define CTL_X86 "..\..\x86\RegOSTCtl.exe"
  !define CTL_X64 "..\..\x64\RegOSTCtl.exe"
  !define LICENCE "..\..\LICENSE"
!endif
Unicode true
!include LogicLib.nsh
!include x64.nsh

Name "Ostrel 17"
OutFile "${OUT_FILE}"
; The uninstaller's folder: the machine's own edition's (set in .onInit).
InstallDir "$PROGRAMFILES\Quenlar\Ostrel 17"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenlar Ostrel 17"
!define FOLDER "Quenlar\Ostrel 17"
!define FAILED 2
RequestExecutionLevel admin

Page instfiles
UninstPage uninstConfirm
UninstPage instfiles
; The setup's exit code so far, and why when it is a failure; whether this
; run installs each edition.
Var Worst
Var Reason
Var WantX64
Var WantX86
; Set when an Ostrel.arx in use waits for the next restart.
Var Restart

!macro ONE_OF CODE
  ${If} $Worst == 0
  ${OrIf} $Worst == 3010
  ${AndIf} ${CODE} != 0
    StrCpy $Worst ${CODE}
  ${ElseIf} $Worst == 10
  ${AndIf} ${CODE} != 0
  ${AndIf} ${CODE} != 3010
    StrCpy $Worst ${CODE}
  ${ElseIf} $Worst == 1618
  ${AndIf} ${CODE} == ${FAILED}
    StrCpy $Worst ${CODE}
  ${EndIf}
!macroend

Function .onInit
  ${If} ${RunningX64}
    StrCpy $INSTDIR "$PROGRAMFILES64\${FOLDER}"
  ${Else}
    StrCpy $INSTDIR "$PROGRAMFILES32\${FOLDER}"
  ${EndIf}
  StrCpy $Worst 0
FunctionEnd

; $0: the code of /VERIFY of one edition. Out: $0 "yes" where that edition's
; view has an AutoCAD of a listed release, "no" where it has none, "unknown"
; where RegOSTCtl could not say (no valid setup file, a temporary folder it
; cannot use, or it did not start).
Function HasAutoCAD
  ${If} $0 == 2
  ${OrIf} $0 == 7
    StrCpy $0 no
  ${ElseIf} $0 == 3
  ${OrIf} $0 == ""
  ${OrIf} $0 == 87
    StrCpy $0 unknown
  ${Else}
    StrCpy $0 yes
  ${EndIf}
FunctionEnd

Function ChooseEditions
  StrCpy $WantX86 1
  StrCpy $WantX64 0
  ${IfNot} ${RunningX64}
    Return
  ${EndIf}
  InitPluginsDir
  SetOutPath "$PLUGINSDIR\x64"
  File "/oname=RegOSTCtl.exe" "${CTL_X64}"
  File "/oname=RegOST.ini" "${SETUP_INI}"
  SetOutPath "$PLUGINSDIR\x86"
  File "/oname=RegOSTCtl.exe" "${CTL_X86}"
  File "/oname=RegOST.ini" "${SETUP_INI}"
  SetOutPath $TEMP
  StrCpy $0 ""
  ExecWait '"$PLUGINSDIR\x64\RegOSTCtl.exe" /VERIFY' $0
  Call HasAutoCAD
  StrCpy $1 $0
  StrCpy $0 ""
  ExecWait '"$PLUGINSDIR\x86\RegOSTCtl.exe" /VERIFY' $0
  Call HasAutoCAD
  DetailPrint "AutoCAD of a listed release: 64-bit $1, 32-bit $0."
  ; Without an answer, or without any AutoCAD, the machine's own edition.
  ${If} $1 == unknown
  ${OrIf} $0 == unknown
  ${OrIf} $1$0 == nono
    StrCpy $1 yes
    StrCpy $0 no
  ${EndIf}
  ${IfThen} $1 == yes ${|} StrCpy $WantX64 1 ${|}
  ${IfThen} $0 == no ${|} StrCpy $WantX86 0 ${|}
FunctionEnd

; $0: RegOSTCtl's exit code of an /INSTALL. Counts it into $Worst.
Function InstallOutcome
  ${If} $0 == 0
    ${IfThen} $Restart == 1 ${|} StrCpy $0 3010 ${|}
  ${ElseIf} $0 == 2
  ${OrIf} $0 == 7
    ; 7: this edition's AutoCAD went away since the check.
    DetailPrint "No AutoCAD 17.1 or 17.2 found for $R0."
    StrCpy $0 10
  ${ElseIf} $0 == 1618
    DetailPrint "Another setup is registering an add-on."
  ${Else}
    ${If} $0 == 1
      StrCpy $Reason "A registry entry could not be written: run the setup as an administrator."
    ${ElseIf} $0 == 3
      StrCpy $Reason "RegOST.ini is missing or lists no valid release: nothing was registered."
    ${ElseIf} $0 == 5
      StrCpy $Reason "TEMPTXT.log cannot be written: nothing was registered."
    ${ElseIf} $0 == 6
      StrCpy $Reason "Ostrel.arx is built for the other edition: nothing was registered."
    ${ElseIf} $0 == ""
      StrCpy $Reason "RegOSTCtl.exe did not start."
    ${Else}
      StrCpy $Reason "RegOSTCtl.exe ended with exit code $0."
    ${EndIf}
    StrCpy $Reason "$Reason$\r$\n$\r$\nThe run is logged in RegOST.log (in $R0, or in \
      %TEMP% when it could not be written there)."
    StrCpy $0 ${FAILED}
  ${EndIf}
  !insertmacro ONE_OF $0
FunctionEnd

; $R0: an edition's folder. Lets its RegOSTCtl remove what the installs from
; there wrote, then removes its files; on a failure it keeps them, so that
; the uninstall can run again. $0: 0, 1618 or ${FAILED}.
!macro REMOVE_EDITION UN
Function ${UN}RemoveEdition
  StrCpy $0 0
  ${IfNot} ${FileExists} "$R0\RegOSTCtl.exe"
    Return
  ${EndIf}
  ClearErrors
  ExecWait '"$R0\RegOSTCtl.exe" /UNINSTALL' $0
  ${IfThen} ${Errors} ${|} StrCpy $0 "not started" ${|}
  ${If} $0 != 0
  ${AndIf} $0 != 4
    StrCpy $Reason "Some registry entries of Ostrel could not be removed (RegOSTCtl.exe: \
      $0). See RegOST.log in $R0, and run the uninstaller again as an administrator."
    ${IfThen} $0 != 1618 ${|} StrCpy $0 ${FAILED} ${|}
    Return
  ${EndIf}
  StrCpy $0 0
  ; Ostrel.arx that AutoCAD holds goes at the next restart.
  Delete /REBOOTOK "$R0\Ostrel.arx"
  Delete "$R0\Ostrel.arx.new"
  Delete "$R0\RegOSTCtl.exe"
  Delete "$R0\RegOST.ini"
  Delete "$R0\RegOST-LICENSE.txt"
  Delete "$R0\RegOST.log"
  Delete "$R0\TEMPTXT.log"
  RMDir $R0
  RMDir "$R0\.."
FunctionEnd
!macroend
!insertmacro REMOVE_EDITION ""
!insertmacro REMOVE_EDITION "un."

; The files of one edition into $R0. Ostrel.arx in use (AutoCAD has it
; loaded) is not skipped: the new one waits beside it and replaces it at the
; next restart.
!macro EDITION_FILES CTL ARX
  SetOutPath $R0
  StrCpy $Restart 0
  SetOverwrite try
  ClearErrors
  File "/oname=Ostrel.arx" "${ARX}"
  ${If} ${Errors}
    DetailPrint "Ostrel.arx is in use: it is replaced at the next restart."
    File "/oname=Ostrel.arx.new" "${ARX}"
    Rename /REBOOTOK "$R0\Ostrel.arx.new" "$R0\Ostrel.arx"
    StrCpy $Restart 1
  ${EndIf}
  SetOverwrite on
  File "/oname=RegOSTCtl.exe" "${CTL}"
  File "/oname=RegOST.ini" "${SETUP_INI}"
  File "/oname=RegOST-LICENSE.txt" "${LICENCE}"
!macroend

; $R0: the folder, $R1: x64 or x86.
Function InstallEdition
  ${If} $R1 == x64
    !insertmacro EDITION_FILES "${CTL_X64}" "${ARX_X64}"
  ${Else}
    !insertmacro EDITION_FILES "${CTL_X86}" "${ARX_X86}"
  ${EndIf}
  ; Quoted: Windows does not re-quote a path with blanks. /ALLUSERS: every
  ; other user of the machine gets the per-user half at the next logon.
  StrCpy $0 ""
  ExecWait '"$R0\RegOSTCtl.exe" /INSTALL /ALLUSERS' $0
  DetailPrint "RegOSTCtl.exe /INSTALL ($R1): $0"
  Call InstallOutcome
FunctionEnd

Function WriteUninstallEntry
  SetOutPath $INSTDIR
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  ${IfThen} ${RunningX64} ${|} SetRegView 64 ${|}
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayName "Ostrel 17"
  WriteRegStr HKLM "${UNINSTALL_KEY}" Publisher "Quenlar"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayVersion "17"
  WriteRegStr HKLM "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoRepair 1
  SetRegView lastused
FunctionEnd

Section "Ostrel"
  Call ChooseEditions
  Call WriteUninstallEntry
  ; Editions no longer needed go first; the x64 one is registered last, so
  ; the per-user vendor key both share names its Ostrel.arx.
  ${If} $WantX86 == 0
    StrCpy $R0 "$PROGRAMFILES32\${FOLDER}"
    Call RemoveEdition
    !insertmacro ONE_OF $0
  ${EndIf}
  ${If} $WantX64 == 0
  ${AndIf} ${RunningX64}
    StrCpy $R0 "$PROGRAMFILES64\${FOLDER}"
    Call RemoveEdition
    !insertmacro ONE_OF $0
  ${EndIf}
  ${If} $WantX86 == 1
    StrCpy $R0 "$PROGRAMFILES32\${FOLDER}"
    StrCpy $R1 x86
    Call InstallEdition
  ${EndIf}
  ${If} $WantX64 == 1
    StrCpy $R0 "$PROGRAMFILES64\${FOLDER}"
    StrCpy $R1 x64
    Call InstallEdition
  ${EndIf}
  SetOutPath $INSTDIR
  ${If} $Worst == 10
    MessageBox MB_OK|MB_ICONEXCLAMATION "Ostrel is installed, but no AutoCAD 17.1 or 17.2 \
      was found, so no AutoCAD will load it.$\r$\n$\r$\nRun this setup again once AutoCAD \
      is installed." /SD IDOK
  ${ElseIf} $Worst == 1618
    MessageBox MB_OK|MB_ICONEXCLAMATION "Another setup has been registering an add-on with \
      AutoCAD for too long: run this setup again later." /SD IDOK
  ${ElseIf} $Worst == ${FAILED}
    MessageBox MB_OK|MB_ICONSTOP "Registering Ostrel with AutoCAD failed.$\r$\n$\r$\n\
      $Reason" /SD IDOK
  ${EndIf}
  ; A deployment tool must not count the machine as done: it retries 1618.
  SetErrorLevel $Worst
  ${If} $Worst == 1618
  ${OrIf} $Worst == ${FAILED}
    ; No rollback: the uninstaller removes whatever was written.
    Abort "Registering Ostrel with AutoCAD did not complete."
  ${EndIf}
SectionEnd

Function un.onInit
  StrCpy $Worst 0
FunctionEnd
Section "Uninstall"
  ; Each edition's RegOSTCtl removes what TEMPTXT.log records, in the view
  ; it was written in, and only what is still that folder's.
  StrCpy $R0 "$PROGRAMFILES32\${FOLDER}"
  Call un.RemoveEdition
  !insertmacro ONE_OF $0
  ${If} ${RunningX64}
    StrCpy $R0 "$PROGRAMFILES64\${FOLDER}"
    Call un.RemoveEdition
    !insertmacro ONE_OF $0
  ${EndIf}
  ${If} $Worst != 0
    ; The uninstaller and its entry stay, so that it can run again.
    SetErrorLevel $Worst
    MessageBox MB_OK|MB_ICONSTOP $Reason /SD IDOK
    Abort "Removing the registry entries failed."
  ${EndIf}
  ${IfThen} ${RunningX64} ${|} SetRegView 64 ${|}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir $INSTDIR
  RMDir "$INSTDIR\.."
  ${IfThen} ${RebootFlag} ${|} SetErrorLevel 3010 ${|}
SectionEnd
