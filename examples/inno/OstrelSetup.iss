; NOT COMPILED OR RUN BY THIS PROJECT. No Inno Setup compiler can be installed
; where RegOST is built and tested, so this script is checked by nobody but its
; readers. It follows examples/nsis/OstrelSetup.nsi rule for rule, and that one
; is built and run under Wine by tests/e2e/test_nsis.py: when in doubt, the NSIS
; script is the reference.
;
; Setup of the AutoCAD add-on Ostrel 17: copies the add-on, RegOST.exe and its
; setup file, lets RegOST register the add-on, and judges from RegOST's log
; whether that worked. The uninstaller removes exactly the registry values
; RegOST recorded in TEMPTXT.log, then the files.
;
; Compile with  ISCC /DARCH=x86|x64 /DREGOST_EXE=path\to\RegOST.exe OstrelSetup.iss
;   x86: the i686 RegOST.exe, 32-bit registry view;
;   x64: the x86_64 RegOST.exe, 64-bit install mode, so 64-bit view.
; Silent install: OstrelSetup.exe /VERYSILENT /SUPPRESSMSGBOXES /DIR="C:\Program Files\Quenlar\Ostrel 17"
; Exit code 0 only when RegOST reported success; 2 when it reported errors or
; left no log. The files stay in either case.

#ifndef ARCH
  #error Compile with /DARCH=x86 or /DARCH=x64
#endif
#ifndef REGOST_EXE
  #error Compile with /DREGOST_EXE=path of the RegOST.exe of that bitness
#endif

[Setup]
AppName=Ostrel 17
AppVersion=17
DefaultDirName={autopf}\Quenlar\Ostrel 17
OutputBaseFilename=OstrelSetup
PrivilegesRequired=admin
DisableProgramGroupPage=yes
#if ARCH == "x64"
; The uninstaller must work in the view RegOST wrote in: in 64-bit mode
; HKLM is the 64-bit view, the one the 64-bit RegOST.exe writes in.
ArchitecturesAllowed=x64
ArchitecturesInstallIn64BitMode=x64
#endif

[Files]
Source: "..\nsis\Ostrel.arx"; DestDir: "{app}"; Flags: ignoreversion
Source: "..\nsis\RegOST.ini"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#REGOST_EXE}"; DestDir: "{app}"; DestName: "RegOST.exe"; Flags: ignoreversion

[Run]
; Inno quotes Filename itself, and the current folder does not matter to
; RegOST. Its exit code is always 0: the log tells.
Filename: "{app}\RegOST.exe"; Parameters: "/LOG"; Flags: waituntilterminated runhidden; \
  BeforeInstall: RememberLogSizes; AfterInstall: JudgeRegOSTRun

[UninstallDelete]
Type: files; Name: "{app}\RegOST.log"
Type: files; Name: "{app}\TEMPTXT.log"
Type: files; Name: "{app}\OstrelSetup.log"

[Code]
var
  AppLogLines, TempLogLines: Integer;  { line counts before the run }
  Failed: Boolean;

function LineCount(const Path: String): Integer;
var
  Lines: TArrayOfString;
begin
  if LoadStringsFromFile(Path, Lines) then
    Result := GetArrayLength(Lines)
  else
    Result := 0;
end;

procedure RememberLogSizes;
begin
  DeleteFile(ExpandConstant('{app}\OstrelSetup.log'));
  { RegOST logs in the install folder, or in the temporary folder when it
    cannot write there; the file that grew is this run's. }
  AppLogLines := LineCount(ExpandConstant('{app}\RegOST.log'));
  TempLogLines := LineCount(AddBackslash(GetTempDir) + 'RegOST.log');
end;

function IsRunHeader(const Line: String): Boolean;
begin
  { "12/07/26 -- 21:45:10 " }
  Result := (Length(Line) = 21) and (Copy(Line, 9, 4) = ' -- ') and
            (Copy(Line, 3, 1) = '/') and (Copy(Line, 15, 1) = ':');
end;

procedure JudgeRegOSTRun;
var
  Lines, Shown: TArrayOfString;
  Path, Last, Text: String;
  Start, First, Errors, I, N: Integer;
begin
  Path := ExpandConstant('{app}\RegOST.log');
  Start := AppLogLines;
  if LineCount(Path) <= AppLogLines then begin
    Path := AddBackslash(GetTempDir) + 'RegOST.log';
    Start := TempLogLines;
    if LineCount(Path) <= TempLogLines then
      Path := '';
  end;

  if Path = '' then begin
    SetArrayLength(Shown, 1);
    Shown[0] := 'RegOST.exe left no log: it did not run, or could not write one.';
    Text := Shown[0];
  end else begin
    LoadStringsFromFile(Path, Lines);
    { The log is appended to: only the lines after the last header count. }
    First := Start;
    Last := '';
    Errors := 0;
    for I := Start to GetArrayLength(Lines) - 1 do begin
      if IsRunHeader(Lines[I]) then begin
        First := I + 1;
        Last := '';
        Errors := 0;
      end else if Lines[I] <> '' then begin
        Last := Lines[I];
        if Copy(Lines[I], 1, 8) = 'Error --' then
          Errors := Errors + 1;
      end;
    end;
    { The last line alone is not enough: a run with failed writes still ends
      "Installation Completed". }
    if (Last = 'Installation Completed') and (Errors = 0) then
      Exit;
    SetArrayLength(Shown, GetArrayLength(Lines) - First);
    Text := '';
    for I := First to GetArrayLength(Lines) - 1 do begin
      Shown[I - First] := Lines[I];
      if (Lines[I] <> '') and (Length(Text) < 700) then
        Text := Text + Lines[I] + #13#10;
    end;
    if Length(Text) >= 700 then
      Text := Text + '... (the whole run is in ' + ExpandConstant('{app}\OstrelSetup.log') + ')';
  end;
  { No rollback: RegOST undoes nothing, and the uninstaller removes what it
    recorded. }
  Failed := True;
  SaveStringsToFile(ExpandConstant('{app}\OstrelSetup.log'), Shown, False);
  SuppressibleMsgBox('Ostrel is installed, but registering it with AutoCAD failed:' +
                     #13#10#13#10 + Text, mbError, MB_OK, IDOK);
end;

function GetCustomSetupExitCode: Integer;
begin
  if Failed then
    Result := 2
  else
    Result := 0;
end;

{ Removes value Name of Key under Root, then the keys this left empty,
  walking up. The walk stops below Software\Quenlar and below the AutoCAD
  product key (SOFTWARE\Autodesk\AutoCAD\Rxx.x\PRODUCT), and at the first
  key that still holds values or subkeys. }
procedure RemoveRecordedValue(Root: Integer; Key, Name: String);
var
  StopDepth, Depth, I: Integer;
begin
  RegDeleteValue(Root, Key, Name);
  if CompareText(Copy(Key, 1, 17), 'Software\Quenlar\') = 0 then
    StopDepth := 2
  else if CompareText(Copy(Key, 1, 26), 'SOFTWARE\Autodesk\AutoCAD\') = 0 then
    StopDepth := 5
  else
    Exit;  { a key RegOST does not write: leave it }
  Depth := 1;
  for I := 1 to Length(Key) do
    if Key[I] = '\' then
      Depth := Depth + 1;
  while Depth > StopDepth do begin
    if not RegDeleteKeyIfEmpty(Root, Key) then
      Break;
    I := Length(Key);
    while Key[I] <> '\' do
      I := I - 1;
    Key := Copy(Key, 1, I - 1);
    Depth := Depth - 1;
  end;
end;

procedure CurUninstallStepChanged(CurUninstallStep: TUninstallStep);
var
  Lines: TArrayOfString;
  Key, Name: String;
  I: Integer;
begin
  if CurUninstallStep <> usUninstall then
    Exit;
  { TEMPTXT.log records every value RegOST wrote, with the root that took
    it; records of repeated installs are all there, and removing a value
    twice does no harm. }
  if not LoadStringsFromFile(ExpandConstant('{app}\TEMPTXT.log'), Lines) then
    Exit;
  for I := 0 to GetArrayLength(Lines) - 1 do begin
    if Copy(Lines[I], 1, 11) = 'RegDB Key: ' then
      Key := Copy(Lines[I], 12, Length(Lines[I]))
    else if Copy(Lines[I], 1, 12) = 'RegDB Name: ' then
      Name := Copy(Lines[I], 13, Length(Lines[I]))
    else if Lines[I] = 'RegDB Root: 2' then
      RemoveRecordedValue(HKEY_LOCAL_MACHINE, Key, Name)
    else if Lines[I] = 'RegDB Root: 1' then
      RemoveRecordedValue(HKEY_CURRENT_USER, Key, Name);
  end;
end;
