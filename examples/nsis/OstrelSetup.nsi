; Setup of the AutoCAD add-on Ostrel 17: copies the add-on, RegOST.exe and its
; setup file, lets RegOST register the add-on, and judges from RegOST's log
; whether that worked. The uninstaller removes the registry values that RegOST
; recorded in TEMPTXT.log for this product's installs, in Ostrel's own keys
; and only while they hold the recorded data, then the files.
;
; Built by build.sh, which defines
;   ARCH       x86 (32-bit setup, 32-bit registry view, i686 RegOST.exe) or
;              x64 (64-bit setup, 64-bit view, x86_64 RegOST.exe)
;   REGOST_EXE the RegOST.exe of that bitness
;   OUT_FILE   where the setup goes
;
; Silent install: OstrelSetup.exe /S /D=C:\Program Files\Quenlar\Ostrel 17
; (/D= last and unquoted). Exit code 0 only when RegOST reported success; 2
; when it reported errors or left no log. The files stay in either case.

!ifdef ARCH & REGOST_EXE & OUT_FILE
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

Var RunLog      ; the RegOST.log this run wrote to, or "" when none
Var RunStart    ; its size before the run: this run's lines start there

; Pushes the size of the file whose path is on the stack (0 when missing).
Function FileSize
  Exch $0
  Push $1
  ClearErrors
  FileOpen $1 $0 r
  ${If} ${Errors}
    StrCpy $0 0
  ${Else}
    FileSeek $1 0 END $0
    FileClose $1
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

; Strips the line end from the line in $0 (FileRead keeps it).
!macro TRIM_LINE_END UN
Function ${UN}TrimLineEnd
  Push $1
  ${Do}
    StrCpy $1 $0 1 -1
    ${If} $1 == "$\r"
    ${OrIf} $1 == "$\n"
      StrCpy $0 $0 -1
    ${Else}
      ${ExitDo}
    ${EndIf}
  ${Loop}
  Pop $1
FunctionEnd
!macroend
!insertmacro TRIM_LINE_END ""
!insertmacro TRIM_LINE_END "un."

; Sets $2 to 1 when the line in $0 is a run header ("12/07/26 -- 21:45:10 ").
Function IsRunHeader
  Push $1
  StrCpy $2 0
  StrLen $1 $0
  ${If} $1 == 21
    StrCpy $1 $0 4 8
    ${If} $1 == " -- "
      StrCpy $1 $0 1 2
      ${If} $1 == "/"
        StrCpy $1 $0 1 14
        ${IfThen} $1 == ":" ${|} StrCpy $2 1 ${|}
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $1
FunctionEnd

; Judges the last run in $RunLog (from $RunStart on, after its last header).
; Sets $R8 to 1 on success and $R9 to the offset of that run's first line.
Function JudgeRun
  StrCpy $R8 0
  StrCpy $R9 $RunStart
  ClearErrors
  FileOpen $R0 $RunLog r
  ${IfThen} ${Errors} ${|} Return ${|}
  FileSeek $R0 $RunStart SET
  StrCpy $R1 ""   ; last non-empty line
  StrCpy $R2 0    ; "Error --" lines
  ${Do}
    ClearErrors
    FileRead $R0 $0
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    Call TrimLineEnd
    Call IsRunHeader
    ${If} $2 == 1
      ; The log is appended to: only the lines after the last header count.
      FileSeek $R0 0 CUR $R9
      StrCpy $R1 ""
      StrCpy $R2 0
    ${ElseIf} $0 != ""
      StrCpy $R1 $0
      StrCpy $1 $0 8
      ${IfThen} $1 == "Error --" ${|} IntOp $R2 $R2 + 1 ${|}
    ${EndIf}
  ${Loop}
  FileClose $R0
  ; The last line alone is not enough: a run with failed writes still ends
  ; "Installation Completed".
  ${If} $R1 == "Installation Completed"
  ${AndIf} $R2 == 0
    StrCpy $R8 1
  ${EndIf}
FunctionEnd

; Copies the judged run's lines (from offset $R9 of $RunLog) into
; OstrelSetup.log, so that a silent install leaves them for the
; administrator, and into $R3, as much as a message box holds.
Function KeepRunLines
  StrCpy $R3 ""
  StrCpy $R4 0
  FileOpen $R0 $RunLog r
  FileSeek $R0 $R9 SET
  FileOpen $R1 "$INSTDIR\OstrelSetup.log" w
  ${Do}
    ClearErrors
    FileRead $R0 $0
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    FileWrite $R1 $0
    Call TrimLineEnd
    ${IfThen} $0 == "" ${|} ${Continue} ${|}
    StrLen $1 $R3
    ${If} $1 < 700
      StrCpy $R3 "$R3$0$\r$\n"
    ${ElseIf} $R4 == 0
      StrCpy $R3 "$R3... (the whole run is in $INSTDIR\OstrelSetup.log)"
      StrCpy $R4 1
    ${EndIf}
  ${Loop}
  FileClose $R1
  FileClose $R0
FunctionEnd

Section "Ostrel"
  SetOutPath $INSTDIR
  File Ostrel.arx
  File RegOST.ini
  File "/oname=RegOST.exe" "${REGOST_EXE}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  Delete "$INSTDIR\OstrelSetup.log"

  ; TEMPTXT.log may already hold records of another setup that ran RegOST
  ; /LOG in this folder: the uninstaller reads from the size it had before
  ; the first install. A later install keeps that start, so one uninstall
  ; still covers the records of every install.
  ClearErrors
  ReadINIStr $0 "$INSTDIR\OstrelSetup.ini" Uninstall TempTxtStart
  ${If} ${Errors}
    Push "$INSTDIR\TEMPTXT.log"
    Call FileSize
    Pop $0
    WriteINIStr "$INSTDIR\OstrelSetup.ini" Uninstall TempTxtStart $0
  ${EndIf}

  ; RegOST logs in the install folder, or in the temporary folder when it
  ; cannot write there; the file that grew is this run's.
  Push "$INSTDIR\RegOST.log"
  Call FileSize
  Pop $3
  Push "$TEMP\RegOST.log"
  Call FileSize
  Pop $4
  ; Quoted: Windows does not re-quote a path with blanks, and the current
  ; folder does not matter to RegOST. Its exit code is always 0.
  ExecWait '"$INSTDIR\RegOST.exe" /LOG'
  Push "$INSTDIR\RegOST.log"
  Call FileSize
  Pop $5
  Push "$TEMP\RegOST.log"
  Call FileSize
  Pop $6
  StrCpy $RunLog ""
  ${If} $5 > $3
    StrCpy $RunLog "$INSTDIR\RegOST.log"
    StrCpy $RunStart $3
  ${ElseIf} $6 > $4
    StrCpy $RunLog "$TEMP\RegOST.log"
    StrCpy $RunStart $4
  ${EndIf}

  ${If} $RunLog == ""
    StrCpy $R3 "RegOST.exe left no log: it did not run, or could not write one."
    FileOpen $R1 "$INSTDIR\OstrelSetup.log" w
    FileWrite $R1 "$R3$\r$\n"
    FileClose $R1
  ${Else}
    Call JudgeRun
    ${If} $R8 == 1
      DetailPrint "RegOST: Installation Completed"
      Return
    ${EndIf}
    Call KeepRunLines
  ${EndIf}
  ; No rollback: RegOST undoes nothing, and the uninstaller removes what it
  ; recorded.
  DetailPrint "RegOST reported problems"
  MessageBox MB_OK|MB_ICONEXCLAMATION \
    "Ostrel is installed, but registering it with AutoCAD failed:$\r$\n$\r$\n$R3" /SD IDOK
  SetErrorLevel 2
SectionEnd

Function un.onInit
!if "${ARCH}" == "x64"
  ; Remove in the view RegOST wrote in: the 64-bit RegOST.exe writes in the
  ; 64-bit one, the 32-bit one in the 32-bit view this setup has by default.
  SetRegView 64
!endif
FunctionEnd

; Sets $4 to the depth at which the walk up from key $R1 stops when $R1 is
; a key RegOST writes for Ostrel: 2 (below Software\Quenlar) for
; Software\Quenlar\AutoCAD\<rel>\Ostrel[\Settings01], 5 (below the product
; key) for SOFTWARE\Autodesk\AutoCAD\R<rel>\<product>\Applications\Ostrel
; [\Groups|\Commands]; to 0 for any other key, whose values a tampered or
; foreign record must not reach. Sets $5 to the depth of $R1. Any case.
Function un.OstrelStopDepth
  StrCpy $4 0
  StrCpy $5 1
  StrCpy $6 0
  ${Do}
    StrCpy $0 $R1 1 $6
    ${IfThen} $0 == "" ${|} ${ExitDo} ${|}
    ${IfThen} $0 == "\" ${|} IntOp $5 $5 + 1 ${|}
    IntOp $6 $6 + 1
  ${Loop}
  ; With the depth fixed, a fixed head and tail leave one name (the
  ; release) or two (release and product) between them; none may be empty.
  StrCpy $0 $R1 25
  StrCpy $1 $R1 27
  ${If} $0 == "Software\Quenlar\AutoCAD\"
    StrCpy $1 $R1 "" 25
    StrCpy $0 $1 1
    ${If} $0 == "\"
    ${OrIf} $0 == ""
      Return
    ${EndIf}
    StrCpy $0 $1 "" -7
    ${If} $5 == 5
    ${AndIf} $0 == "\Ostrel"
      StrCpy $4 2
    ${EndIf}
    StrCpy $0 $1 "" -18
    ${If} $5 == 6
    ${AndIf} $0 == "\Ostrel\Settings01"
      StrCpy $4 2
    ${EndIf}
  ${ElseIf} $1 == "SOFTWARE\Autodesk\AutoCAD\R"
    StrCpy $1 $R1 "" 27
    StrCpy $0 $1 1
    ${If} $0 == "\"
    ${OrIf} $0 == ""
      Return
    ${EndIf}
    StrCpy $6 0   ; length of the tail
    StrCpy $0 $1 "" -20
    ${If} $5 == 7
    ${AndIf} $0 == "\Applications\Ostrel"
      StrCpy $6 20
    ${EndIf}
    StrCpy $0 $1 "" -27
    ${If} $5 == 8
    ${AndIf} $0 == "\Applications\Ostrel\Groups"
      StrCpy $6 27
    ${EndIf}
    StrCpy $0 $1 "" -29
    ${If} $5 == 8
    ${AndIf} $0 == "\Applications\Ostrel\Commands"
      StrCpy $6 29
    ${EndIf}
    ${If} $6 > 0
      ; The product name ends just before the tail.
      IntOp $6 -1 - $6
      StrCpy $0 $1 1 $6
      ${IfThen} $0 != "\" ${|} StrCpy $4 5 ${|}
    ${EndIf}
  ${EndIf}
FunctionEnd

; Removes value $R2 of key $R1 under root code $R3 (1 HKCU, 2 HKLM) when the
; key is one RegOST writes for Ostrel and the value still holds the recorded
; data $R4 (a REG_DWORD in decimal when $R5 is 3), then the keys left empty,
; walking up. The walk stops below Software\Quenlar and below the AutoCAD
; product key (SOFTWARE\Autodesk\AutoCAD\Rxx.x\PRODUCT), and at the first key
; that still holds values or subkeys.
Function un.RemoveRecordedValue
  ; SHCTX is HKEY_LOCAL_MACHINE after "all" and HKEY_CURRENT_USER after
  ; "current": one code path for both roots.
  ${If} $R3 == 2
    SetShellVarContext all
  ${ElseIf} $R3 == 1
    SetShellVarContext current
  ${Else}
    Return
  ${EndIf}
  Call un.OstrelStopDepth
  ${IfThen} $4 == 0 ${|} Return ${|}

  ; Data that changed since is no longer ours: the other edition's setup
  ; (x86 and x64 share the HKEY_CURRENT_USER key) or the user wrote it.
  ClearErrors
  ${If} $R5 == ""
    ReadRegStr $0 SHCTX $R1 $R2
  ${ElseIf} $R5 == 3
    ReadRegDWORD $0 SHCTX $R1 $R2
  ${Else}
    SetErrors
  ${EndIf}
  ${IfNot} ${Errors}
  ${AndIf} $0 S== $R4
    DeleteRegValue SHCTX $R1 $R2
  ${EndIf}

  StrCpy $7 $R1
  ${DoWhile} $5 > $4
    ; /ifempty keeps a key that holds values or subkeys and sets the error flag.
    ClearErrors
    DeleteRegKey /ifempty SHCTX $7
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    ; The parent: cut at the last backslash.
    StrLen $6 $7
    ${Do}
      IntOp $6 $6 - 1
      StrCpy $0 $7 1 $6
    ${LoopUntil} $0 == "\"
    StrCpy $7 $7 $6
    IntOp $5 $5 - 1
  ${Loop}
FunctionEnd

Section "Uninstall"
  ; TEMPTXT.log records every value RegOST wrote, with the root that took
  ; it; records of repeated installs are all there, and removing a value
  ; twice does no harm. This product's records start where the first
  ; install found the file's end (from the start when that was not noted).
  ClearErrors
  ReadINIStr $R7 "$INSTDIR\OstrelSetup.ini" Uninstall TempTxtStart
  ${IfThen} ${Errors} ${|} StrCpy $R7 0 ${|}
  IntOp $R7 $R7 + 0
  ClearErrors
  FileOpen $R0 "$INSTDIR\TEMPTXT.log" r
  ${IfNot} ${Errors}
    FileSeek $R0 $R7 SET
    StrCpy $R6 0   ; lines of the record so far: Key, Val, Name
    ${Do}
      ClearErrors
      FileRead $R0 $0
      ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
      Call un.TrimLineEnd
      StrCpy $1 $0 11
      StrCpy $2 $0 12
      ${If} $1 == "RegDB Key: "
        StrCpy $R1 $0 "" 11
        StrCpy $R5 ""
        StrCpy $R6 1
      ${ElseIf} $1 == "RegDB Val: "
        StrCpy $R4 $0 "" 11
        IntOp $R6 $R6 + 1
      ${ElseIf} $2 == "RegDB Name: "
        StrCpy $R2 $0 "" 12
        IntOp $R6 $R6 + 1
      ${ElseIf} $2 == "RegDB Type: "
        StrCpy $R5 $0 "" 12
      ${ElseIf} $2 == "RegDB Root: "
        StrCpy $R3 $0 "" 12
        ; A record cut short (a killed run) names no value for sure.
        ${IfThen} $R6 == 3 ${|} Call un.RemoveRecordedValue ${|}
        StrCpy $R6 0
      ${EndIf}
    ${Loop}
    FileClose $R0
  ${EndIf}

  Delete "$INSTDIR\Ostrel.arx"
  Delete "$INSTDIR\RegOST.exe"
  Delete "$INSTDIR\RegOST.ini"
  Delete "$INSTDIR\RegOST.log"
  Delete "$INSTDIR\TEMPTXT.log"
  Delete "$INSTDIR\OstrelSetup.log"
  Delete "$INSTDIR\OstrelSetup.ini"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir $INSTDIR
SectionEnd
