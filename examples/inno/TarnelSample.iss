; An Inno Setup 6 script for the sample product: it installs Tarnel's install
; image, runs tarnel.exe and maps its exit code.
;
;   tarnel.exe code                 this Setup                            Setup exit code
;   0xFFFFFFFF installed, running   done                                  0
;   0x00000000 restart needed       done, NeedRestart                     3010 with /RESTARTEXITCODE=3010
;   0x00000420 another install      failed, message and log line          1618
;   anything else                   failed, message and log line          1603
;
; Compile, from this folder, once the install image (build/windows/dist, see
; the README) is built:
;
;   iscc /DTarnelImage=..\..\build\windows\dist TarnelSample.iss
;   TarnelSampleSetup.exe /VERYSILENT /SUPPRESSMSGBOXES /NORESTART /RESTARTEXITCODE=3010 /LOG=setup.log
;
; The [Run] section waits for a program but ignores its exit code, so
; tarnel.exe runs from [Code] instead, once the files are in place
; (ssPostInstall). Inno Setup cannot take its own files back at that point:
; a failed driver install leaves them, while tarnel.exe has already removed
; the drivers it installed in the failed run.

#ifndef TarnelImage
  #define TarnelImage "..\..\build\windows\dist"
#endif

[Setup]
AppName=Tarnel Sample Product
AppVersion=1.0.0.1
AppPublisher=Orvanta Lab
DefaultDirName={autopf}\Tarnel Sample
PrivilegesRequired=admin
ArchitecturesAllowed=x64compatible
ArchitecturesInstallIn64BitMode=x64compatible
OutputBaseFilename=TarnelSampleSetup
OutputDir=.
DisableProgramGroupPage=yes

[Files]
Source: "{#TarnelImage}\tarnel.exe"; DestDir: "{app}"; Flags: ignoreversion
Source: "{#TarnelImage}\tarnel.ini"; DestDir: "{app}"; Flags: ignoreversion
; Every driver's package: an uninstall reads the INF of every driver.
Source: "{#TarnelImage}\drivers\x64\*"; DestDir: "{app}\drivers\x64"; Flags: ignoreversion

[Dirs]
; The folder of the hooking driver's library; the install fills it.
Name: "{app}\lib"

[Code]
const
  TarnelInstalledAndRunning = -1;  { 0xFFFFFFFF as Exec reports it }
  TarnelRestartNeeded = 0;
  TarnelAlreadyRunning = $420;
  ErrorInstallFailure = 1603;
  ErrorInstallAlreadyRunning = 1618;

var
  RestartNeeded: Boolean;
  SetupExitCode: Integer;

{ Runs tarnel.exe from the application folder without a window, waits for its
  end and returns True with its exit code, or False when it could not run. }
function RunTarnel(const Params: String; var Code: Integer): Boolean;
begin
  Log('Running tarnel.exe ' + Params);
  Result := Exec(ExpandConstant('{app}\tarnel.exe'), Params, ExpandConstant('{app}'),
                 SW_HIDE, ewWaitUntilTerminated, Code);
  if Result then
    Log(Format('tarnel.exe exit code 0x%.8x', [Code]))
  else
    Log('tarnel.exe could not be run: ' + SysErrorMessage(Code));
end;

procedure InstallDrivers;
var
  Code: Integer;
begin
  if not RunTarnel('--install core;backsafe --vxtraplib_dir "' + ExpandConstant('{app}\lib') + '" --verbose', Code) then
  begin
    SetupExitCode := ErrorInstallFailure;
    SuppressibleMsgBox('The drivers could not be installed: tarnel.exe did not run.', mbError, MB_OK, IDOK);
  end
  else if Code = TarnelInstalledAndRunning then
    Log('Drivers installed and running')
  else if Code = TarnelRestartNeeded then
  begin
    Log('Drivers installed; they take effect after a restart');
    RestartNeeded := True;
  end
  else
  begin
    if Code = TarnelAlreadyRunning then
      SetupExitCode := ErrorInstallAlreadyRunning
    else
      SetupExitCode := ErrorInstallFailure;
    SuppressibleMsgBox(Format('The drivers could not be installed (code 0x%.8x). ' +
                              'The details are in %s.', [Code, ExpandConstant('{app}\tarnel.log')]),
                       mbError, MB_OK, IDOK);
  end;
end;

procedure CurStepChanged(CurStep: TSetupStep);
begin
  if CurStep = ssPostInstall then
    InstallDrivers;
end;

function NeedRestart(): Boolean;
begin
  Result := RestartNeeded;
end;

{ Called only when Setup itself succeeded; a failed driver install turns its
  exit code from 0 into the failure's. }
function GetCustomSetupExitCode(): Integer;
begin
  Result := SetupExitCode;
end;

procedure CurUninstallStepChanged(CurUninstallStep: TUninstallStep);
var
  Code: Integer;
begin
  { Before the files go: tarnel.exe and the driver packages are still there. }
  if CurUninstallStep = usUninstall then
  begin
    if not RunTarnel('--uninstall --verbose', Code) or (Code <> 0) then
    begin
      SuppressibleMsgBox(Format('The drivers could not be removed (code 0x%.8x). ' +
                                'The details are in %s.', [Code, ExpandConstant('{app}\tarnel.log')]),
                         mbError, MB_OK, IDOK);
      Abort;
    end;
  end;
end;
