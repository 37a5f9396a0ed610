; Setup of the AutoCAD add-on Ostrel 17, one for both editions, the same
; steps as examples/nsis/OstrelSetup.nsi. On 64-bit Windows each edition's
; RegOSTCtl.exe first checks, from a temporary folder with the setup file,
; whether its registry view has an AutoCAD of a listed release (/VERIFY: 2
; or 7, none). The setup then installs the x64 edition into Program Files
; where a 64-bit AutoCAD is, the x86 edition into Program Files (x86) where a
; 32-bit one is, both where both are, and the x64 one where none is (ending
; with 10). An edition an earlier run installed and this machine no longer
; needs is uninstalled. On 32-bit Windows it installs the x86 edition. Each
; edition's folder gets its RegOSTCtl.exe, the add-on of its machine as
; Ostrel.arx, RegOST.ini and RegOST's licence, and RegOSTCtl registers the
; add-on. One uninstaller ({app}: the machine's own edition's folder) and
; one uninstall entry remove every edition installed.
;
; Compile (build.sh, or ISCC on Windows) with these defines:
;   SETUP_INI  the vendor's RegOST.ini
;   ARX_X86    the add-on for 32-bit AutoCAD (an i386 image)
;   ARX_X64    the add-on for 64-bit AutoCAD (an x86-64 image)
;   CTL_X86, CTL_X64, LICENCE  RegOSTCtl.exe of each edition and RegOST's
;              licence, by default the release's, from its examples\inno
;
; Silent install: OstrelSetup.exe /VERYSILENT /SUPPRESSMSGBOXES /NORESTART.
; The folders are fixed. Exit codes, the worst of the editions' (a failure,
; then 1618, then 10, then 3010): 0 Ostrel is registered, for every user of
; the machine; 3010 registered, but AutoCAD holds the old Ostrel.arx: the new
; one replaces it at the next restart; 10 installed, but no AutoCAD of the
; listed releases was found, so nothing will load it (a warning); 1618
; another run of RegOSTCtl held the registry past its wait: run the setup
; again (a deployment tool retries 1618 itself); 11 registering failed; 1 to
; 8 are Inno Setup's own. The files and the uninstaller stay in every case.

#if VER < EncodeVer(6, 3, 0)
  #error Inno Setup 6.3 or later is needed (x64compatible)
#endif
#if !Defined(SETUP_INI) || !Defined(ARX_X86) || !Defined(ARX_X64)
  #error Compile with /DSETUP_INI=RegOST.ini /DARX_X86=x86 add-on /DARX_X64=x64 add-on
#endif
#ifndef CTL_X86
  #define CTL_X86 "..\..\x86\RegOSTCtl.exe"
  #define CTL_X64 "..\..\x64\RegOSTCtl.exe"
  #define LICENCE "..\..\LICENSE"
#endif

[Setup]
; Never to change: the uninstall entry and later setups find the install by it.
AppId={{8E41C2D5-6A3B-4F0E-9D27-C51B7A0E3F17}
AppName=Ostrel 17
AppPublisher=Quenlar
AppVersion=17
UninstallDisplayName=Ostrel 17
; In 64-bit mode {autopf} is the 64-bit Program Files: the uninstaller and
; its entry are the machine's own edition's.
DefaultDirName={autopf}\Quenlar\Ostrel 17
DisableDirPage=yes
UsePreviousAppDir=no
DisableProgramGroupPage=yes
OutputBaseFilename=OstrelSetup
PrivilegesRequired=admin
ArchitecturesInstallIn64BitMode=x64compatible
; The Restart Manager would close AutoCAD for a file it holds; an add-on in
; use is replaced at the next restart instead (restartreplace).
CloseApplications=no

[Files]
; For the check of each view before anything is installed.
Source: "{#CTL_X64}"; DestDir: "{tmp}\x64"; DestName: "RegOSTCtl.exe"; Flags: dontcopy
Source: "{#SETUP_INI}"; DestDir: "{tmp}\x64"; DestName: "RegOST.ini"; Flags: dontcopy
Source: "{#CTL_X86}"; DestDir: "{tmp}\x86"; DestName: "RegOSTCtl.exe"; Flags: dontcopy
Source: "{#SETUP_INI}"; DestDir: "{tmp}\x86"; DestName: "RegOST.ini"; Flags: dontcopy
; The x86 edition.
Source: "{#ARX_X86}"; DestDir: "{code:Folder|x86}"; DestName: "Ostrel.arx"; Check: Wanted('x86'); Flags: ignoreversion restartreplace uninsrestartdelete
Source: "{#CTL_X86}"; DestDir: "{code:Folder|x86}"; DestName: "RegOSTCtl.exe"; Check: Wanted('x86'); Flags: ignoreversion
Source: "{#SETUP_INI}"; DestDir: "{code:Folder|x86}"; DestName: "RegOST.ini"; Check: Wanted('x86'); Flags: ignoreversion
Source: "{#LICENCE}"; DestDir: "{code:Folder|x86}"; DestName: "RegOST-LICENSE.txt"; Check: Wanted('x86'); Flags: ignoreversion
; The x64 edition.
Source: "{#ARX_X64}"; DestDir: "{code:Folder|x64}"; DestName: "Ostrel.arx"; Check: Wanted('x64'); Flags: ignoreversion restartreplace uninsrestartdelete
Source: "{#CTL_X64}"; DestDir: "{code:Folder|x64}"; DestName: "RegOSTCtl.exe"; Check: Wanted('x64'); Flags: ignoreversion
Source: "{#SETUP_INI}"; DestDir: "{code:Folder|x64}"; DestName: "RegOST.ini"; Check: Wanted('x64'); Flags: ignoreversion
Source: "{#LICENCE}"; DestDir: "{code:Folder|x64}"; DestName: "RegOST-LICENSE.txt"; Check: Wanted('x64'); Flags: ignoreversion

[Code]
const
  Failed = 11;
  GenericWrite = $40000000;
  OpenExisting = 3;

var
  WantX86, WantX64, HeldX86, HeldX64: Boolean;
  { The setup's or uninstaller's exit code so far, and why when it failed. }
  Worst: Integer;
  Reason: String;

function CreateFile(Name: String; Access, Share, Security, Disposition, Flags,
                    Template: Cardinal): Cardinal;
  external 'CreateFileW@kernel32.dll stdcall';
function CloseHandle(Handle: Cardinal): Boolean;
  external 'CloseHandle@kernel32.dll stdcall';

function Folder(Arch: String): String;
begin
  if Arch = 'x64' then
    Result := ExpandConstant('{commonpf64}')
  else
    Result := ExpandConstant('{commonpf32}');
  Result := Result + '\Quenlar\Ostrel 17';
end;

function Wanted(Arch: String): Boolean;
begin
  if Arch = 'x64' then Result := WantX64 else Result := WantX86;
end;

{ A file that another program holds (AutoCAD, an add-on it loaded). }
function InUse(Path: String): Boolean;
var
  Handle: Cardinal;
begin
  Result := False;
  if not FileExists(Path) then
    Exit;
  Handle := CreateFile(Path, GenericWrite, 0, 0, OpenExisting, 0, 0);
  if Handle = $FFFFFFFF then
    Result := True
  else
    CloseHandle(Handle);
end;

function Rank(Code: Integer): Integer;
begin
  case Code of
    0: Result := 0;
    3010: Result := 1;
    10: Result := 2;
    1618: Result := 3;
  else
    Result := 4;
  end;
end;

{ The worst of the editions' codes wins: a failure, 1618, 10, 3010, 0. }
procedure Count(Code: Integer);
begin
  if Rank(Code) > Rank(Worst) then
    Worst := Code;
end;

{ 'yes' where the edition's view has an AutoCAD of a listed release, 'no'
  where it has none, 'unknown' where RegOSTCtl could not say. }
function HasAutoCAD(Arch: String): String;
var
  Code: Integer;
begin
  if not Exec(ExpandConstant('{tmp}\' + Arch + '\RegOSTCtl.exe'), '/VERIFY', '', SW_HIDE,
              ewWaitUntilTerminated, Code) then
    Code := -1;
  case Code of
    2, 7: Result := 'no';
    -1, 3, 87: Result := 'unknown';
  else
    Result := 'yes';
  end;
  Log('AutoCAD of a listed release for ' + Arch + ': ' + Result + ' (RegOSTCtl /VERIFY: ' +
      IntToStr(Code) + ')');
end;

function PrepareToInstall(var NeedsRestart: Boolean): String;
var
  X64, X86: String;
begin
  Result := '';
  WantX86 := True;
  WantX64 := False;
  if Is64BitInstallMode then begin
    ExtractTemporaryFiles('{tmp}\x64\*');
    ExtractTemporaryFiles('{tmp}\x86\*');
    X64 := HasAutoCAD('x64');
    X86 := HasAutoCAD('x86');
    { Without an answer, or without any AutoCAD, the machine's own edition. }
    if (X64 = 'unknown') or (X86 = 'unknown') or ((X64 = 'no') and (X86 = 'no')) then begin
      X64 := 'yes';
      X86 := 'no';
    end;
    WantX64 := X64 = 'yes';
    WantX86 := X86 = 'yes';
  end;
  HeldX86 := WantX86 and InUse(Folder('x86') + '\Ostrel.arx');
  HeldX64 := WantX64 and InUse(Folder('x64') + '\Ostrel.arx');
end;

{ Lets the edition's RegOSTCtl in Dir remove what the installs from there
  wrote, then removes its files; on a failure it keeps them, so that the
  uninstall can run again. 0, 1618 or Failed. }
function RemoveEdition(Dir: String): Integer;
begin
  Result := 0;
  if not FileExists(Dir + '\RegOSTCtl.exe') then
    Exit;
  if not Exec(Dir + '\RegOSTCtl.exe', '/UNINSTALL', '', SW_HIDE, ewWaitUntilTerminated,
              Result) then
    Result := -1;
  if (Result = 0) or (Result = 4) then begin
    Result := 0;
    { Ostrel.arx that AutoCAD holds goes at the next restart. }
    if not DeleteFile(Dir + '\Ostrel.arx') and FileExists(Dir + '\Ostrel.arx') then
      RestartReplace(Dir + '\Ostrel.arx', '');
    { A new Ostrel.arx still waiting for a restart (restartreplace keeps it
      under a name of Setup's own) would otherwise take its place then. }
    DelTree(Dir + '\is-*.tmp', False, True, False);
    DeleteFile(Dir + '\RegOSTCtl.exe');
    DeleteFile(Dir + '\RegOST.ini');
    DeleteFile(Dir + '\RegOST-LICENSE.txt');
    DeleteFile(Dir + '\RegOST.log');
    DeleteFile(Dir + '\TEMPTXT.log');
    RemoveDir(Dir);
    RemoveDir(ExtractFileDir(Dir));
    Exit;
  end;
  Reason := 'Some registry entries of Ostrel could not be removed (RegOSTCtl.exe: ' +
            IntToStr(Result) + '). See RegOST.log in ' + Dir + ', and run the uninstaller ' +
            'again as an administrator.';
  if Result <> 1618 then
    Result := Failed;
end;

{ Counts RegOSTCtl's exit code of an /INSTALL from Dir into Worst. }
procedure InstallOutcome(Dir: String; Code: Integer; Held: Boolean);
begin
  if (Code = 0) and Held then
    Code := 3010
  { 7: this edition's AutoCAD went away since the check. }
  else if (Code = 2) or (Code = 7) then
    Code := 10
  else if (Code <> 0) and (Code <> 1618) then begin
    case Code of
      -1: Reason := 'RegOSTCtl.exe did not start.';
      1: Reason := 'A registry entry could not be written: run the setup as an administrator.';
      3: Reason := 'RegOST.ini is missing or lists no valid release: nothing was registered.';
      5: Reason := 'TEMPTXT.log cannot be written: nothing was registered.';
      6: Reason := 'Ostrel.arx is built for the other edition: nothing was registered.';
    else
      Reason := 'RegOSTCtl.exe ended with exit code ' + IntToStr(Code) + '.';
    end;
    Reason := Reason + #13#10#13#10 + 'The run is logged in RegOST.log (in ' + Dir +
              ', or in %TEMP% when it could not be written there).';
    Code := Failed;
  end;
  Count(Code);
end;

procedure Register(Arch: String; Held: Boolean);
var
  Code: Integer;
begin
  { Exec quotes the path itself. /ALLUSERS: every other user of the machine
    gets the per-user half at the next logon. }
  if not Exec(Folder(Arch) + '\RegOSTCtl.exe', '/INSTALL /ALLUSERS', '', SW_HIDE,
              ewWaitUntilTerminated, Code) then
    Code := -1;
  Log('RegOSTCtl /INSTALL for ' + Arch + ': ' + IntToStr(Code));
  InstallOutcome(Folder(Arch), Code, Held);
end;

procedure CurStepChanged(CurStep: TSetupStep);
begin
  { Editions no longer needed go first; the x64 one is registered last, so
    the per-user vendor key both share names its Ostrel.arx. }
  if CurStep = ssInstall then begin
    if not WantX86 then
      Count(RemoveEdition(Folder('x86')));
    if Is64BitInstallMode and not WantX64 then
      Count(RemoveEdition(Folder('x64')));
  end;
  if CurStep <> ssPostInstall then
    Exit;
  if WantX86 then
    Register('x86', HeldX86);
  if WantX64 then
    Register('x64', HeldX64);
  case Worst of
    10: SuppressibleMsgBox('Ostrel is installed, but no AutoCAD 17.1 or 17.2 was found, so ' +
                           'no AutoCAD will load it.' + #13#10#13#10 + 'Run this setup again ' +
                           'once AutoCAD is installed.', mbError, MB_OK, IDOK);
    1618: SuppressibleMsgBox('Another setup has been registering an add-on with AutoCAD for ' +
                             'too long: run this setup again later.', mbError, MB_OK, IDOK);
    Failed: SuppressibleMsgBox('Registering Ostrel with AutoCAD failed.' + #13#10#13#10 +
                               Reason, mbCriticalError, MB_OK, IDOK);
  end;
end;

{ Called when the setup would end with 0 (it cannot be aborted once its
  files are in place): a deployment tool must not count a machine without a
  working registration as done, and retries 1618. }
function GetCustomSetupExitCode: Integer;
begin
  Result := Worst;
end;

procedure CurUninstallStepChanged(CurUninstallStep: TUninstallStep);
begin
  if CurUninstallStep = usPostUninstall then
    RemoveDir(ExtractFileDir(ExpandConstant('{app}')));
  if CurUninstallStep <> usUninstall then
    Exit;
  Count(RemoveEdition(Folder('x86')));
  if Is64BitInstallMode then
    Count(RemoveEdition(Folder('x64')));
  if Worst <> 0 then begin
    { The uninstaller and its entry stay, so that it can run again. }
    SuppressibleMsgBox(Reason, mbCriticalError, MB_OK, IDOK);
    Abort;
  end;
end;
