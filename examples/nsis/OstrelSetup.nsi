; Setup of the AutoCAD add-on Ostrel 17: copies the add-on, RegOSTCtl.exe and
; its setup file, and lets RegOSTCtl register the add-on; its exit code says
; how that went. The uninstaller lets RegOSTCtl remove what the installs from
; this folder wrote, then removes the files.
;
; Built by build.sh, which defines
;   ARCH     x86 (32-bit setup, i686 RegOSTCtl.exe: 32-bit registry view) or
;            x64 (64-bit setup, x86_64 RegOSTCtl.exe: 64-bit view)
;   CTL_EXE  the RegOSTCtl.exe of that bitness
;   OUT_FILE where the setup goes
;
; Silent install: OstrelSetup.exe /S /D=C:\Program Files\Quenlar\Ostrel 17
; (/D= last and unquoted). Exit codes: 0 Ostrel is registered, for every user
; of the machine; 10 Ostrel is installed but no AutoCAD of the listed releases
; was found, so nothing will load it (a warning); 2 registering failed (the
; setup aborted); 1 cancelled by the user. The files and the uninstaller stay
; in every case.

!ifdef ARCH & CTL_EXE & OUT_FILE
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
!else
  InstallDir "$PROGRAMFILES\Quenlar\Ostrel 17"
!endif
RequestExecutionLevel admin
ShowInstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Ostrel"
  SetOutPath $INSTDIR
  File Ostrel.arx
  File RegOST.ini
  File "/oname=RegOSTCtl.exe" "${CTL_EXE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

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
    MessageBox MB_OK|MB_ICONSTOP "Some registry entries of Ostrel could not be removed \
      (RegOSTCtl.exe: $0). See RegOST.log in $INSTDIR, and run the uninstaller again \
      as an administrator." /SD IDOK
    Abort "Removing the registry entries failed."
  ${EndIf}

  Delete "$INSTDIR\Ostrel.arx"
  Delete "$INSTDIR\RegOSTCtl.exe"
  Delete "$INSTDIR\RegOST.ini"
  Delete "$INSTDIR\RegOST.log"
  Delete "$INSTDIR\TEMPTXT.log"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir $INSTDIR
SectionEnd
