; Setup of the AutoCAD add-on Ostrel 17, one per edition, the same steps as
; examples/nsis/OstrelSetup.nsi: copies the add-on of the edition,
; RegOSTCtl.exe and its setup file, and lets RegOSTCtl register the add-on;
; its exit code says how that went. The uninstaller lets RegOSTCtl remove what
; the installs from this folder wrote, then removes the files. Both editions
; install side by side, each with its own AppId (uninstall entry), folder and
; registry view. build.sh compiles it, and tests/e2e/test_setups.py runs both
; editions under Wine.
;
; Compile with  ISCC /DARCH=x86|x64 /DCTL_EXE=path\to\RegOSTCtl.exe /DADDON=path\to\Ostrel.arx OstrelSetup.iss
;   x86: the i686 RegOSTCtl.exe (32-bit registry view), into Program Files
;        (x86) on 64-bit Windows;
;   x64: the x86_64 RegOSTCtl.exe (64-bit view), 64-bit install mode, into
;        Program Files;
;   ADDON: the add-on of that edition, installed as Ostrel.arx.
; Silent install: OstrelSetup.exe /VERYSILENT /SUPPRESSMSGBOXES (/DIR="C:\Other\Folder"
; for another folder). Exit codes: 0 Ostrel is registered, for every user of
; the machine; 10 Ostrel is installed but no AutoCAD of the listed releases
; was found, so nothing will load it (a warning); 11 registering failed; 12
; this machine's AutoCAD is the other edition's: its setup is the one for
; this machine; 1618 another run of RegOSTCtl held the registry past its
; wait: nothing was registered, run the setup again (a deployment tool
; retries 1618 itself); 1 to 8 are Inno Setup's own (2: cancelled before the
; install). The files and the uninstaller stay in every case.

#ifndef ARCH
  #error Compile with /DARCH=x86 or /DARCH=x64
#endif
#ifndef CTL_EXE
  #error Compile with /DCTL_EXE=path of the RegOSTCtl.exe of that edition
#endif
#ifndef ADDON
  #error Compile with /DADDON=path of the add-on of that edition
#endif
#if ARCH == "x64"
  #define EDITION "64-bit"
  #define OTHER "x86 (32-bit)"
#else
  #define EDITION "32-bit"
  #define OTHER "x64 (64-bit)"
#endif

[Setup]
; One per edition, never to change: the uninstall entry and the later
; setups of the edition find the install by it.
#if ARCH == "x64"
AppId={{8E41C2D5-6A3B-4F0E-9D27-C51B7A0E3F64}
#else
AppId={{8E41C2D5-6A3B-4F0E-9D27-C51B7A0E3F32}
#endif
AppName=Ostrel 17
AppPublisher=Quenlar
UninstallDisplayName=Ostrel 17 ({#EDITION})
AppVersion=17
DefaultDirName={autopf}\Quenlar\Ostrel 17
OutputBaseFilename=OstrelSetup
PrivilegesRequired=admin
DisableProgramGroupPage=yes
#if ARCH == "x64"
; The x86_64 RegOSTCtl.exe starts only on 64-bit Windows; in 64-bit mode
; {autopf} is the 64-bit Program Files.
ArchitecturesAllowed=x64compatible
ArchitecturesInstallIn64BitMode=x64compatible
#endif

[Files]
Source: "{#ADDON}"; DestDir: "{app}"; DestName: "Ostrel.arx"; Flags: ignoreversion
Source: "RegOST.ini"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#CTL_EXE}"; DestDir: "{app}"; DestName: "RegOSTCtl.exe"; Flags: ignoreversion

[UninstallDelete]
Type: files; Name: "{app}\RegOST.log"
Type: files; Name: "{app}\TEMPTXT.log"

[Code]
var
  { The setup's exit code when not 0: see GetCustomSetupExitCode. }
  SetupExitCode: Integer;

procedure CurStepChanged(CurStep: TSetupStep);
var
  Code: Integer;
  Reason: String;
begin
  if CurStep <> ssPostInstall then
    Exit;
  { Exec quotes the path itself; the current folder does not matter to
    RegOSTCtl. /ALLUSERS: every other user of the machine gets the per-user
    half at the next logon. }
  if not Exec(ExpandConstant('{app}\RegOSTCtl.exe'), '/INSTALL /ALLUSERS', '', SW_HIDE,
              ewWaitUntilTerminated, Code) then
    Reason := 'RegOSTCtl.exe did not start.'
  else if Code = 0 then
    Exit
  else if Code = 2 then begin
    SuppressibleMsgBox('Ostrel is installed, but no AutoCAD 17.1 or 17.2 was found, ' +
                       'so no AutoCAD will load it.' + #13#10#13#10 +
                       'Run this setup again once AutoCAD is installed.',
                       mbError, MB_OK, IDOK);
    SetupExitCode := 10;
    Exit;
  end else if Code = 7 then begin
    SuppressibleMsgBox('This is the {#EDITION} setup of Ostrel, but the AutoCAD on this ' +
                       'machine is of the other edition: run the {#OTHER} setup of Ostrel ' +
                       'instead.' + #13#10#13#10 + 'Nothing was registered with AutoCAD; the ' +
                       'uninstaller removes this one.', mbCriticalError, MB_OK, IDOK);
    SetupExitCode := 12;
    Exit;
  end else if Code = 1618 then begin
    SuppressibleMsgBox('Another setup has been registering an add-on with AutoCAD for too ' +
                       'long. Nothing was registered: run this setup again later.',
                       mbError, MB_OK, IDOK);
    { Deployment tools retry 1618 ("another installation is in progress"). }
    SetupExitCode := 1618;
    Exit;
  end else if Code = 1 then
    Reason := 'A registry entry could not be written: run the setup as an administrator.'
  else if Code = 3 then
    Reason := 'RegOST.ini is missing or lists no valid release: nothing was registered.'
  else if Code = 5 then
    Reason := 'TEMPTXT.log cannot be written: nothing was registered.'
  else
    Reason := 'RegOSTCtl.exe ended with exit code ' + IntToStr(Code) + '.';
  { No rollback: the uninstaller removes whatever was written. The files
    are in place by now, so the setup cannot be aborted; it ends with exit
    code 11. }
  SetupExitCode := 11;
  SuppressibleMsgBox('Registering Ostrel with AutoCAD failed.' + #13#10#13#10 +
                     Reason + #13#10#13#10 + 'The run is logged in RegOST.log (in ' +
                     ExpandConstant('{app}') + ', or in %TEMP% when it could not be ' +
                     'written there).', mbCriticalError, MB_OK, IDOK);
end;

{ Codes of this setup's own, above Inno Setup's 1 to 8, so that a deployment
  tool never counts a machine without a working registration as done. }
function GetCustomSetupExitCode: Integer;
begin
  Result := SetupExitCode;
end;

procedure CurUninstallStepChanged(CurUninstallStep: TUninstallStep);
var
  Code: Integer;
  Outcome: String;
begin
  if CurUninstallStep <> usUninstall then
    Exit;
  { RegOSTCtl removes what TEMPTXT.log records, in the registry view it was
    written in, and only what is still this folder's. 4: nothing recorded. }
  if not Exec(ExpandConstant('{app}\RegOSTCtl.exe'), '/UNINSTALL', '', SW_HIDE,
              ewWaitUntilTerminated, Code) then
    Outcome := 'not started'
  else
    Outcome := IntToStr(Code);
  if (Outcome <> '0') and (Outcome <> '4') then begin
    { Keep the files, so that the uninstall can be run again. }
    SuppressibleMsgBox('Some registry entries of Ostrel could not be removed (RegOSTCtl.exe: ' +
                       Outcome + '). See RegOST.log in ' + ExpandConstant('{app}') +
                       ', and run the uninstaller again as an administrator.',
                       mbCriticalError, MB_OK, IDOK);
    Abort;
  end;
end;
