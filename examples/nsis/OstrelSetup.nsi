; Setup of the AutoCAD add-on Ostrel 17, one per edition: copies the add-on
; of the edition, RegOSTCtl.exe and its setup file, and lets RegOSTCtl
; register the add-on; its exit code says how that went. The uninstaller lets
; RegOSTCtl remove what the installs from this folder wrote, then removes the
; files. Both editions install side by side, each with its own folder,
; registry view and uninstall entry.
;
; Built by build.sh, which defines
;   ARCH     x86 (32-bit setup, i686 RegOSTCtl.exe: 32-bit registry view,
;            Program Files (x86) on 64-bit Windows) or
;            x64 (64-bit setup, x86_64 RegOSTCtl.exe: 64-bit view, Program Files)
;   CTL_EXE  the RegOSTCtl.exe of that edition
;   ADDON    the add-on of that edition, installed as Ostrel.arx
;   OUT_FILE where the setup goes
;
; Silent install: OstrelSetup.exe /S (or /S /D=C:\Other\Folder, /D= last and
; unquoted). Exit codes: 0 Ostrel is registered, for every user of the
; machine; 10 Ostrel is installed but no AutoCAD of the listed releases was
; found, so nothing will load it (a warning); 12 this machine's AutoCAD is the
; other edition's: its setup is the one for this machine (the setup aborted);
; 1618 another run of RegOSTCtl held the registry past its wait: nothing was
; registered, run the setup again (a deployment tool retries 1618 itself);
; 2 registering failed (the setup aborted); 1 cancelled by the user. The
; files and the uninstaller stay in every case.

!ifdef ARCH & CTL_EXE & ADDON & OUT_FILE
!else
  !error "build with build.sh OUT_DIR x86|x64"
!endif

Unicode true
!if "${ARCH}" == "x64"
  Target amd64-unicode
!else if "${ARCH}" != "x86"
  !error "ARCH must be x86 or x64"
!endif

!include LogicLib.nsh

Name "Ostrel 17"
OutFile "${OUT_FILE}"
!if "${ARCH}" == "x64"
  InstallDir "$PROGRAMFILES64\Quenlar\Ostrel 17"
  !define EDITION "64-bit"
  !define OTHER "x86 (32-bit)"
!else
  ; Program Files (x86) on 64-bit Windows.
  InstallDir "$PROGRAMFILES\Quenlar\Ostrel 17"
  !define EDITION "32-bit"
  !define OTHER "x64 (64-bit)"
!endif
; In the setup's own registry view, so each edition has its own.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quenlar Ostrel 17 ${ARCH}"
RequestExecutionLevel admin
ShowInstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Ostrel"
  SetOutPath $INSTDIR
  File "/oname=Ostrel.arx" "${ADDON}"
  File RegOST.ini
  File "/oname=RegOSTCtl.exe" "${CTL_EXE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayName "Ostrel 17 (${EDITION})"
  WriteRegStr HKLM "${UNINSTALL_KEY}" Publisher "Quenlar"
  WriteRegStr HKLM "${UNINSTALL_KEY}" DisplayVersion "17"
  WriteRegStr HKLM "${UNINSTALL_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" UninstallString '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" QuietUninstallString '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoModify 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" NoRepair 1

  ; Quoted: Windows does not re-quote a path with blanks. The current folder
  ; does not matter to RegOSTCtl. /ALLUSERS: every other user of the machine
  ; gets the per-user half at the next logon.
  ClearErrors
  ExecWait '"$INSTDIR\RegOSTCtl.exe" /INSTALL /ALLUSERS' $0
  ${If} ${Errors}
    StrCpy $1 "RegOSTCtl.exe did not start."
  ${ElseIf} $0 == 0
    DetailPrint "Ostrel is registered with AutoCAD."
    Return
  ${ElseIf} $0 == 2
    DetailPrint "No AutoCAD 17.1 or 17.2 found."
    MessageBox MB_OK|MB_ICONEXCLAMATION "Ostrel is installed, but no AutoCAD 17.1 or \
      17.2 was found, so no AutoCAD will load it.$\r$\n$\r$\nRun this setup again once \
      AutoCAD is installed." /SD IDOK
    ; A deployment tool must not count the machine as done.
    SetErrorLevel 10
    Return
  ${ElseIf} $0 == 7
    DetailPrint "This machine's AutoCAD is the other edition's."
    MessageBox MB_OK|MB_ICONSTOP "This is the ${EDITION} setup of Ostrel, but the AutoCAD on \
      this machine is of the other edition: run the ${OTHER} setup of Ostrel instead.$\r$\n$\r$\n\
      Nothing was registered with AutoCAD; the uninstaller removes this one." /SD IDOK
    SetErrorLevel 12
    Abort "Wrong edition of Ostrel for this machine's AutoCAD."
  ${ElseIf} $0 == 1618
    DetailPrint "Another setup is registering an add-on."
    MessageBox MB_OK|MB_ICONEXCLAMATION "Another setup has been registering an add-on with \
      AutoCAD for too long. Nothing was registered: run this setup again later." /SD IDOK
    ; Deployment tools retry 1618 ("another installation is in progress").
    SetErrorLevel 1618
    Abort "Registering Ostrel with AutoCAD has to wait: run the setup again."
  ${ElseIf} $0 == 1
    StrCpy $1 "A registry entry could not be written: run the setup as an administrator."
  ${ElseIf} $0 == 3
    StrCpy $1 "RegOST.ini is missing or lists no valid release: nothing was registered."
  ${ElseIf} $0 == 5
    StrCpy $1 "TEMPTXT.log cannot be written: nothing was registered."
  ${Else}
    StrCpy $1 "RegOSTCtl.exe ended with exit code $0."
  ${EndIf}
  ; No rollback: the uninstaller removes whatever was written.
  MessageBox MB_OK|MB_ICONSTOP "Registering Ostrel with AutoCAD failed.$\r$\n$\r$\n$1$\r$\n$\r$\n\
    The run is logged in RegOST.log (in $INSTDIR, or in %TEMP% when it could not be \
    written there)." /SD IDOK
  Abort "Registering Ostrel with AutoCAD failed."
SectionEnd

Section "Uninstall"
  ; RegOSTCtl removes what TEMPTXT.log records, in the registry view it was
  ; written in, and only what is still this folder's. 4: nothing recorded.
  ClearErrors
  ExecWait '"$INSTDIR\RegOSTCtl.exe" /UNINSTALL' $0
  ${IfThen} ${Errors} ${|} StrCpy $0 "not started" ${|}
  ${If} $0 != 0
  ${AndIf} $0 != 4
    ; Keep the files, so that the uninstall can be run again.
    ${IfThen} $0 == 1618 ${|} SetErrorLevel 1618 ${|}
    MessageBox MB_OK|MB_ICONSTOP "Some registry entries of Ostrel could not be removed \
      (RegOSTCtl.exe: $0). See RegOST.log in $INSTDIR, and run the uninstaller again \
      as an administrator." /SD IDOK
    Abort "Removing the registry entries failed."
  ${EndIf}

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  Delete "$INSTDIR\Ostrel.arx"
  Delete "$INSTDIR\RegOSTCtl.exe"
  Delete "$INSTDIR\RegOST.ini"
  Delete "$INSTDIR\RegOST.log"
  Delete "$INSTDIR\TEMPTXT.log"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir $INSTDIR
SectionEnd
