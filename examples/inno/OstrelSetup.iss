; NOT COMPILED OR RUN BY THIS PROJECT. No Inno Setup compiler can be installed
; where RegOST is built and tested, so this script is checked by nobody but its
; readers. It follows examples/nsis/OstrelSetup.nsi rule for rule, and that one
; is built and run under Wine by tests/e2e/test_nsis.py: when in doubt, the NSIS
; script is the reference.
;
; Setup of the AutoCAD add-on Ostrel 17: copies the add-on, RegOST.exe and its
; setup file, lets RegOST register the add-on, and judges from RegOST's log
; whether that worked. The uninstaller removes the registry values that RegOST
; recorded in TEMPTXT.log for this product's installs, in Ostrel's own keys
; and only while they hold the recorded data, then the files.
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
Type: files; Name: "{app}\OstrelSetup.ini"

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
var
  Ini: String;
begin
  DeleteFile(ExpandConstant('{app}\OstrelSetup.log'));
  { TEMPTXT.log may already hold records of another setup that ran RegOST
    /LOG in this folder: the uninstaller reads from the length it had before
    the first install. A later install keeps that start, so one uninstall
    still covers the records of every install. }
  Ini := ExpandConstant('{app}\OstrelSetup.ini');
  if not IniKeyExists('Uninstall', 'TempTxtStart', Ini) then
    SetIniString('Uninstall', 'TempTxtStart',
                 IntToStr(LineCount(ExpandConstant('{app}\TEMPTXT.log'))), Ini);
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

{ True when S ends with Tail (any case) and a name that is not empty comes
  before it. }
function EndsWithAfterName(const S, Tail: String): Boolean;
var
  Head: Integer;
begin
  Result := False;
  Head := Length(S) - Length(Tail);
  if Head < 1 then
    Exit;
  Result := (S[Head] <> '\') and
            (CompareText(Copy(S, Head + 1, Length(Tail)), Tail) = 0);
end;

{ The depth at which the walk up from Key stops when Key is a key RegOST
  writes for Ostrel: 2 (below Software\Quenlar) for
  Software\Quenlar\AutoCAD\<rel>\Ostrel[\Settings01], 5 (below the product
  key) for SOFTWARE\Autodesk\AutoCAD\R<rel>\<product>\Applications\Ostrel
  [\Groups|\Commands]; 0 for any other key, whose values a tampered or
  foreign record must not reach. Depth is that of Key. Any case. }
function OstrelStopDepth(const Key: String; var Depth: Integer): Integer;
var
  Rest: String;
  I: Integer;
begin
  Result := 0;
  Depth := 1;
  for I := 1 to Length(Key) do
    if Key[I] = '\' then
      Depth := Depth + 1;
  { With the depth fixed, a fixed head and tail leave one name (the
    release) or two (release and product) between them; none may be empty. }
  if CompareText(Copy(Key, 1, 25), 'Software\Quenlar\AutoCAD\') = 0 then begin
    Rest := Copy(Key, 26, Length(Key));
    if Rest = '' then
      Exit;
    if Rest[1] = '\' then
      Exit;
    if ((Depth = 5) and EndsWithAfterName(Rest, '\Ostrel')) or
       ((Depth = 6) and EndsWithAfterName(Rest, '\Ostrel\Settings01')) then
      Result := 2;
  end else if CompareText(Copy(Key, 1, 27), 'SOFTWARE\Autodesk\AutoCAD\R') = 0 then begin
    Rest := Copy(Key, 28, Length(Key));
    if Rest = '' then
      Exit;
    if Rest[1] = '\' then
      Exit;
    if ((Depth = 7) and EndsWithAfterName(Rest, '\Applications\Ostrel')) or
       ((Depth = 8) and EndsWithAfterName(Rest, '\Applications\Ostrel\Groups')) or
       ((Depth = 8) and EndsWithAfterName(Rest, '\Applications\Ostrel\Commands')) then
      Result := 5;
  end;
end;

{ Removes value Name of Key under Root when the key is one RegOST writes for
  Ostrel and the value still holds the recorded data Value (a REG_DWORD in
  decimal when Kind is '3'), then the keys left empty, walking up. The walk
  stops below Software\Quenlar and below the AutoCAD product key
  (SOFTWARE\Autodesk\AutoCAD\Rxx.x\PRODUCT), and at the first key that still
  holds values or subkeys. }
procedure RemoveRecordedValue(Root: Integer; Key, Value, Name, Kind: String);
var
  StopDepth, Depth, I: Integer;
  Held: String;
  Number: Cardinal;
  Same: Boolean;
begin
  StopDepth := OstrelStopDepth(Key, Depth);
  if StopDepth = 0 then
    Exit;
  { Data that changed since is no longer ours: the other edition's setup
    (x86 and x64 share the HKEY_CURRENT_USER key) or the user wrote it. }
  if Kind = '' then
    Same := RegQueryStringValue(Root, Key, Name, Held) and (Held = Value)
  else if Kind = '3' then
    Same := RegQueryDWordValue(Root, Key, Name, Number) and (IntToStr(Number) = Value)
  else
    Same := False;
  if Same then
    RegDeleteValue(Root, Key, Name);
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
  Key, Value, Name, Kind: String;
  Start, Fields, I: Integer;
begin
  if CurUninstallStep <> usUninstall then
    Exit;
  { TEMPTXT.log records every value RegOST wrote, with the root that took
    it; records of repeated installs are all there, and removing a value
    twice does no harm. This product's records start where the first
    install found the file's end (from the start when that was not noted). }
  Start := StrToIntDef(GetIniString('Uninstall', 'TempTxtStart', '0',
                                    ExpandConstant('{app}\OstrelSetup.ini')), 0);
  if not LoadStringsFromFile(ExpandConstant('{app}\TEMPTXT.log'), Lines) then
    Exit;
  Fields := 0;  { lines of the record so far: Key, Val, Name }
  for I := Start to GetArrayLength(Lines) - 1 do begin
    if Copy(Lines[I], 1, 11) = 'RegDB Key: ' then begin
      Key := Copy(Lines[I], 12, Length(Lines[I]));
      Kind := '';
      Fields := 1;
    end else if Copy(Lines[I], 1, 11) = 'RegDB Val: ' then begin
      Value := Copy(Lines[I], 12, Length(Lines[I]));
      Fields := Fields + 1;
    end else if Copy(Lines[I], 1, 12) = 'RegDB Name: ' then begin
      Name := Copy(Lines[I], 13, Length(Lines[I]));
      Fields := Fields + 1;
    end else if Copy(Lines[I], 1, 12) = 'RegDB Type: ' then
      Kind := Copy(Lines[I], 13, Length(Lines[I]))
    else if Copy(Lines[I], 1, 12) = 'RegDB Root: ' then begin
      { A record cut short (a killed run) names no value for sure. }
      if Fields = 3 then begin
        if Lines[I] = 'RegDB Root: 2' then
          RemoveRecordedValue(HKEY_LOCAL_MACHINE, Key, Value, Name, Kind)
        else if Lines[I] = 'RegDB Root: 1' then
          RemoveRecordedValue(HKEY_CURRENT_USER, Key, Value, Name, Kind);
      end;
      Fields := 0;
    end;
  end;
end;
