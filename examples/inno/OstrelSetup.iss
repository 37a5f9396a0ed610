; NOT COMPILED OR RUN BY THIS PROJECT. No Inno Setup compiler can be installed
; where RegOST is built and tested, so this script is checked by nobody but its
; readers. It follows examples/nsis/OstrelSetup.nsi step for step, and that one
; is built and run under Wine by tests/e2e/test_nsis.py: when in doubt, the NSIS
; script is the reference.
;
; Setup of the AutoCAD add-on Ostrel 17: copies the add-on, RegOSTCtl.exe and
; its setup file, and lets RegOSTCtl register the add-on; its exit code says
; how that went. The uninstaller lets RegOSTCtl remove what the installs from
; this folder wrote, then removes the files.
;
; Compile with  ISCC /DARCH=x86|x64 /DCTL_EXE=path\to\RegOSTCtl.exe OstrelSetup.iss
;   x86: the i686 RegOSTCtl.exe (32-bit registry view);
;   x64: the x86_64 RegOSTCtl.exe (64-bit view), 64-bit install mode.
; Silent install: OstrelSetup.exe /VERYSILENT /SUPPRESSMSGBOXES /DIR="C:\Program Files\Quenlar\Ostrel 17"
; Exit codes: 0 Ostrel is registered, for every user of the machine; 10 Ostrel
; is installed but no AutoCAD of the listed releases was found, so nothing
; will load it (a warning); 11 registering failed; 1 to 8 are Inno Setup's own
; (2: cancelled before the install). The files and the uninstaller stay in
; every case.

#ifndef ARCH
  #error Compile with /DARCH=x86 or /DARCH=x64
#endif
#ifndef CTL_EXE
  #error Compile with /DCTL_EXE=path of the RegOSTCtl.exe of that bitness
#endif

[Setup]
AppName=Ostrel 17
AppVersion=17
DefaultDirName={autopf}\Quenlar\Ostrel 17
OutputBaseFilename=OstrelSetup
PrivilegesRequired=admin
DisableProgramGroupPage=yes
#if ARCH == "x64"
; The x86_64 RegOSTCtl.exe starts only on 64-bit Windows; in 64-bit mode
; {autopf} is the 64-bit Program Files.
ArchitecturesAllowed=x64
ArchitecturesInstallIn64BitMode=x64
#endif

[Files]
Source: "Ostrel.arx"; DestDir: "{app}"; Flags: ignoreversion
Source: "RegOST.ini"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#CTL_EXE}"; DestDir: "{app}"; DestName: "RegOSTCtl.exe"; Flags: ignoreversion

[UninstallDelete]
Type: files; Name: "{app}\RegOST.log"
Type: files; Name: "{app}\TEMPTXT.log"

[Code]
var
  Failed: Boolean;
  NoAutoCAD: Boolean;

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
    NoAutoCAD := True;
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
  Failed := True;
  SuppressibleMsgBox('Registering Ostrel with AutoCAD failed.' + #13#10#13#10 + Reason +
                     #13#10#13#10 + 'The run is logged in RegOST.log (in ' +
                     ExpandConstant('{app}') + ', or in %TEMP% when it could not be ' +
                     'written there).', mbCriticalError, MB_OK, IDOK);
end;

{ Codes of this setup's own, above Inno Setup's 1 to 8, so that a deployment
  tool never counts a machine without a working registration as done. }
function GetCustomSetupExitCode: Integer;
begin
  if Failed then
    Result := 11
  else if NoAutoCAD then
    Result := 10
  else
    Result := 0;
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
