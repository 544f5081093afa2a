; sample.iss - a small Inno Setup 6 installer that drives QXINST.dll through qxinst.iss, in the
; order an install of the Qorvex suite calls it, and writes what each call gave to {app}\sample.log:
; the same install flow and the same log as the NSIS sample (hosts/nsis/sample.nsi).
;
;   ISCC /DQXINST_DLL=path\to\QXINST.dll [/DQXINST_SERVICE=path\to\service.exe] sample.iss
;
; QXINST_DLL is the 32-bit DLL (Inno Setup runs 32-bit code only). With QXINST_SERVICE, a service
; program is installed as "Tavrin", started, probed, stopped and removed again (it must run as a
; service and stop when asked). Run it silently with /VERYSILENT /SUPPRESSMSGBOXES /DIR=<folder>:
; /SUPPRESSMSGBOXES silences Setup's own boxes only, so the sample asks the DLL to leave its boxes
; out (SetUnattended) in a silent install, and nothing waits for a person; /BOXES keeps them. Two
; calls fail on purpose, each with a box: a Decrypt of a file that is no engine, and a
; GetScriptVars of the missing engine C:\missing\engine.kix.
;
; The declarations of qxinst.iss are "delayload": the log shows QXINST.dll loaded by the first call
; of an export, not before.
;
; The installer makes its own input files in the install folder: a login script (scrambled into
; engine.kix), Manager\qxmgr.ini and settings.ini. It leaves there the files the DLL wrote:
; engine.kix, engine-decoded.txt, engine-changed.txt, REPL.BAT, and the two manager files as
; rewritten. In the log, carriage returns and line feeds inside texts show as \r and \n.

#ifndef QXINST_DLL
  #error Give the DLL to carry: ISCC /DQXINST_DLL=path\to\QXINST.dll sample.iss
#endif

[Setup]
AppName=QXINST sample
AppVersion=1.0.0
DefaultDirName={autopf}\Qorvex
PrivilegesRequired=admin
Uninstallable=no
DisableProgramGroupPage=yes
OutputBaseFilename=qxinst-sample
OutputDir=.

#include "qxinst.iss"

#ifdef QXINST_SERVICE
[Files]
Source: "{#QXINST_SERVICE}"; DestDir: "{app}"; DestName: "qxservice.exe"; Flags: ignoreversion
#endif

[Code]
const
  PBM_GETRANGE = $0407;  { WM_USER + 7 }
  PBM_GETPOS = $0408;    { WM_USER + 8 }
  IDC_PROGRESS_TEXT = 1009;
  IDC_PROGRESS_BAR = 1004;
  SERVICE_KEY = 'QxSampleTavrin';

function FindWindowA(lpClassName, lpWindowName: AnsiString): HWND;
  external 'FindWindowA@user32.dll stdcall';
function GetDlgItem(hDlg: HWND; nIDDlgItem: Integer): HWND;
  external 'GetDlgItem@user32.dll stdcall';
function GetWindowTextA(hWnd: HWND; lpString: AnsiString; nMaxCount: Integer): Integer;
  external 'GetWindowTextA@user32.dll stdcall';
function GetSystemDefaultLangID: Word;
  external 'GetSystemDefaultLangID@kernel32.dll stdcall';
function GetModuleHandleW(lpModuleName: String): THandle;
  external 'GetModuleHandleW@kernel32.dll stdcall';

var
  LogName: String;

{ One line of the log (Setup's own Log goes to its log file). }
procedure LogLine(const Text: String);
begin
  SaveStringToFile(LogName, Text + #13#10, True);
end;

{ CR and LF in a text as \r and \n. }
function Escaped(Text: String): String;
begin
  StringChangeEx(Text, #13, '\r', True);
  StringChangeEx(Text, #10, '\n', True);
  Result := Text;
end;

function Flag(Value: Boolean): String;
begin
  if Value then
    Result := '1'
  else
    Result := '0';
end;

{ The six texts of a variable export, after the export's name and result. }
procedure LogTexts(const Call, T1, T2, T3, T4, T5, T6: String);
begin
  LogLine(Call + ' | ' + Escaped(T1) + ' | ' + Escaped(T2) + ' | ' + Escaped(T3) + ' | ' + Escaped(T4) +
    ' | ' + Escaped(T5) + ' | ' + Escaped(T6));
end;

{ What the "Installing Services" window shows: label, bar range and position. }
procedure LogProgressWindow;
var
  Wnd, Bar: HWND;
  Text: AnsiString;
begin
  Wnd := FindWindowA('#32770', 'Installing Services');
  if Wnd = 0 then
    LogLine('window: none')
  else begin
    Text := StringOfChar(#0, 1024);
    GetWindowTextA(GetDlgItem(Wnd, IDC_PROGRESS_TEXT), Text, 1024);
    Bar := GetDlgItem(Wnd, IDC_PROGRESS_BAR);
    LogLine('window: "' + QxText(Text) + '" range ' + IntToStr(SendMessage(Bar, PBM_GETRANGE, 1, 0)) + '..' +
      IntToStr(SendMessage(Bar, PBM_GETRANGE, 0, 0)) + ' position ' + IntToStr(SendMessage(Bar, PBM_GETPOS, 0, 0)));
  end;
end;

{ Whether QXINST.dll is loaded in Setup's process. }
procedure LogLoaded;
begin
  LogLine('QXINST.dll loaded: ' + Flag(GetModuleHandleW('QXINST.dll') <> 0));
end;

procedure MakeInputFiles(const Dir: String);
begin
  SaveStringToFile(Dir + '\login-script.txt',
    '; Qorvex login script, made by the sample installer' + #10 +
    '$EngineVersion=''4.1''' + #10 +
    '$Server=''PDC01''' + #10 +
    '$Share=''NETLOGON''' + #10 +
    '$Logs=''\\PDC01\QXLOGS$''' + #10 +
    '? "Qorvex login script on " + @WKSTA' + #10, False);
  ForceDirectories(Dir + '\Manager');
  SaveStringToFile(Dir + '\Manager\qxmgr.ini',
    '; Qorvex manager settings' + #13#10 +
    '[View]' + #13#10 +
    'Columns=5' + #13#10 +
    '[File Locations]' + #13#10 +
    'Users=U:\Qorvex\Users' + #13#10, False);
  SaveStringToFile(Dir + '\settings.ini',
    '[File Locations]' + #10 +
    'Scripts=\\PDC01\NETLOGON' + #10 +
    'Editor=NOTEPAD.EXE' + #10, False);
end;

{ Whether the command line holds the switch Name. }
function HasSwitch(const Name: String): Boolean;
var
  I: Integer;
begin
  Result := False;
  for I := 1 to ParamCount do
    if CompareText(ParamStr(I), Name) = 0 then
      Result := True;
end;

{ What the host itself sees of the machine, to compare the DLL's answers with. }
procedure LogMachine;
var
  ProductType: String;
begin
  if not RegQueryStringValue(HKLM, 'SYSTEM\CurrentControlSet\Control\ProductOptions', 'ProductType', ProductType) then
    ProductType := '';
  LogLine('host: computer ' + GetComputerNameString + ', language ' + Format('0x%.4X', [GetSystemDefaultLangID]) +
    ', product type ' + ProductType);
end;

procedure RunSample(const Dir: String);
var
  Engine: String;
  T1, T2, T3, T4, T5, T6: String;
  Code: Integer;
begin
  Engine := Dir + '\engine.kix';
  LogMachine;
  { the declarations are "delayload": the DLL is loaded at the first call of an export }
  LogLoaded;
  SetBuffer;
  LogLoaded;
  { in a silent install no message box of the DLL may wait for a person, unless /BOXES asks }
  if WizardSilent and not HasSwitch('/BOXES') then
    SetUnattended(1);
  MakeInputFiles(Dir);

  { progress window opened and labelled }
  SPOpen;
  SPSetRange(0, 100000);
  SPSetText('Installing Qorvex: the login script engine');
  SPSetPos(10000);
  LogProgressWindow;

  { engine made, decoded, a variable changed and read back; the last Decrypt is given a file that
    is no engine and GetScriptVars a missing engine, each failing with a message box }
  LogLine('Encrypt = ' + Flag(Encrypt(Dir + '\login-script.txt', Engine, 41)));
  LogLine('GetEngineVersion = ' + IntToStr(GetEngineVersion(Engine)));
  LogLine('Decrypt = ' + Flag(Decrypt(Engine, Dir + '\engine-decoded.txt')));
  T1 := '$server';
  T2 := '$EngineVersion';
  T3 := '$NotThere';
  T4 := '';
  T5 := '';
  T6 := '';
  LogTexts('GetScriptVars = ' + Flag(QxGetScriptVars(Engine, T1, T2, T3, T4, T5, T6)), T1, T2, T3, T4, T5, T6);
  SetScriptVars(Engine, '$Server=''BDC02''', '$Backup=''BDC03''', '', '', '', '');
  T1 := '$Server';
  T2 := '$Backup';
  T3 := '';
  LogTexts('GetScriptVars = ' + Flag(QxGetScriptVars(Engine, T1, T2, T3, T4, T5, T6)), T1, T2, T3, T4, T5, T6);
  LogLine('value of $Server: ' + QxValue(T1));
  LogLine('Decrypt = ' + Flag(Decrypt(Engine, Dir + '\engine-changed.txt')));
  LogLine('Decrypt = ' + Flag(Decrypt(Dir + '\login-script.txt', Dir + '\not-an-engine.txt')));
  LogLine('GetEngineVersion = ' + IntToStr(GetEngineVersion(Dir + '\login-script.txt')));
  T1 := '$Server';
  T2 := '';
  LogTexts('GetScriptVars = ' + Flag(QxGetScriptVars('C:\missing\engine.kix', T1, T2, T3, T4, T5, T6)), T1, T2, T3, T4,
    T5, T6);
  SPSetPos(30000);

  { manager configuration and replication files written }
  SPSetText('Installing Qorvex: manager configuration');
  LogLine('MakeManagerINI = ' + Flag(MakeManagerINI(Dir + '\Manager\', 'QXscripts$', 'D:\Qorvex\Logs', 'notepad.exe')));
  LogLine('MakeReplBat = ' + Flag(MakeReplBat(Dir + '\REPL.BAT', 'PDC01,BDC01,BDC02')));
  SPSetPos(45000);
  LogProgressWindow;

  { manager variables read back and changed }
  T1 := 'Scripts';
  T2 := 'logs';
  T3 := 'Users';
  T4 := 'Missing';
  T5 := '';
  QxGetManagerVars(Dir + '\Manager\qxmgr.ini', T1, T2, T3, T4, T5, T6);
  LogTexts('GetManagerVars', T1, T2, T3, T4, T5, T6);
  SetManagerVars(Dir + '\settings.ini', 'Scripts=\\BDC02\NETLOGON', 'Replication=1', '', '', '');
  T1 := 'scripts';
  T2 := 'replication';
  T3 := '';
  T4 := '';
  QxGetManagerVars(Dir + '\settings.ini', T1, T2, T3, T4, T5, T6);
  LogTexts('GetManagerVars', T1, T2, T3, T4, T5, T6);
  SPSetPos(55000);

#ifdef QXINST_SERVICE
  { service installed, started, probed, stopped and removed }
  SPSetText('Installing Qorvex: services');
  LogLine('InstallService = ' + IntToStr(InstallService('', SERVICE_KEY, 'Tavrin',
    '"' + Dir + '\qxservice.exe" pending=2 step=200 hint=300', '<none>', '<none>')));
  LogLine('ROVoruzInstalled = ' + IntToStr(ROVoruzInstalled('')));
  LogLine('StartServiceWait = ' + IntToStr(StartServiceWait('', SERVICE_KEY, 'Tavrin')));
  LogLine('ROVoruzInstalled = ' + IntToStr(ROVoruzInstalled('')));
  LogLine('KixInstalled = ' + IntToStr(KixInstalled('')));
  LogLine('ZUVadarInstalled = ' + IntToStr(ZUVadarInstalled('')));
  LogLine('StopServiceWait = ' + IntToStr(StopServiceWait('', SERVICE_KEY, 'Tavrin')));
  LogLine('ROVoruzInstalled = ' + IntToStr(ROVoruzInstalled('')));
  LogLine('RemoveService = ' + IntToStr(RemoveService('', SERVICE_KEY, 'Tavrin')));
  LogLine('ROVoruzInstalled = ' + IntToStr(ROVoruzInstalled('')));
#endif
  SPSetPos(85000);

  { shares: a share's folder, the part of a UNC name behind its server, the replication share }
  T1 := '\\QXSERVER\QXSAMPLE\Logon';
  Code := QxGetSharePath(T1, T2);
  LogLine('GetSharePath = ' + IntToStr(Code) + ' | ' + T1 + ' | ' + T2);
  T1 := '\\QXSERVER\NETLOGON';
  Code := QxGetSharePathRemote('', T1, T2);
  LogLine('GetSharePathRemote = ' + IntToStr(Code) + ' | ' + T1 + ' | ' + T2);
  Code := QxFindRepl(T1);
  LogLine('FindRepl = ' + IntToStr(Code) + ' | ' + T1);
  LogLine('SetSharePermissions = ' + Flag(SetSharePermissions('QXSAMPLE', 3, '', 'qxservice', 'qxoperators')));

  { language, domain role and controllers }
  LogLine('GetSystemLanguage = ' + IntToStr(GetSystemLanguage));
  LogLine('IsDomainController = ' + IntToStr(IsDomainController));
  Code := QxEnumServers(0, T1);
  LogLine('EnumServers 0 = ' + IntToStr(Code) + ' | ' + T1);
  Code := QxEnumServers(1, T1);
  LogLine('EnumServers 1 = ' + IntToStr(Code) + ' | ' + T1);

  { progress window closed }
  SPSetText('Installing Qorvex: done');
  SPSetPos(100000);
  LogProgressWindow;
  SPClose;
  LogProgressWindow;
end;

procedure CurStepChanged(CurStep: TSetupStep);
begin
  if CurStep = ssPostInstall then begin
    LogName := ExpandConstant('{app}\sample.log');
    DeleteFile(LogName);
    RunSample(ExpandConstant('{app}'));
  end;
end;
