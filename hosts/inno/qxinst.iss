; qxinst.iss - QXINST.dll for Inno Setup scripts: the exports declared for the Pascal script, and
; a helper for each export that returns texts in buffers.
;
; Include it at the top level of a script (not inside [Code]):
;
;   #define QXINST_DLL "bin\QXINST.dll"    ; where the 32-bit DLL is; default: QXINST.dll
;   #include "qxinst.iss"
;
; It adds the DLL to [Files] with "dontcopy": Setup extracts it to its temporary folder as it starts
; (the "files:" prefix), and every declaration is "delayload", so Setup loads it from there only
; when the script first calls an export. A DLL that cannot be loaded then fails that call with an
; exception (catch it with try ... except), not Setup's start. Calls from the uninstaller need
; declarations that name the installed copy instead ('...@{app}\QXINST.dll cdecl delayload').
;
; Every export is cdecl. A text goes in as an AnsiString (Inno converts a String argument). A
; buffer the DLL writes must be an AnsiString long enough for the longest answer before the call,
; and is cut at its first #0 after it: the Qx... helpers below do both, take and give Strings, and
; are what a script normally calls. The Boolean results are the DLL's one-byte results. QxValue
; gives the value of a variable's line.

#ifndef QXINST_DLL
  #define QXINST_DLL "QXINST.dll"
#endif

[Files]
Source: "{#QXINST_DLL}"; Flags: dontcopy

[Code]
const
  QxLineSize = 2000001;      { an engine or manager line, or the editor }
  QxLocalPathSize = 1024;    { GetSharePath: the share name and the folder }
  QxRemoteNameSize = 256;    { FindRepl, and GetSharePathRemote's share }
  QxPathSize = 260;          { a path or a server name }

{ ---- settings engine: engine files, script and manager variables ---- }

{ 1 decoded; 0 after a message box (engine missing, not an engine, damaged; output not writable). }
function Decrypt(pszSource, pszDest: AnsiString): Boolean;
  external 'Decrypt@files:QXINST.dll cdecl delayload';
{ Scrambles a plain file into an engine with version nVersion (low 16 bits). 1 written; 0 not
  (after the box "Cannot Find Engine : <path>" when the source cannot be opened). }
function Encrypt(pszSource, pszDest: AnsiString; nVersion: Integer): Boolean;
  external 'Encrypt@files:QXINST.dll cdecl delayload';
{ The engine's version number, 26..65535, or 0. }
function GetEngineVersion(pszEngine: AnsiString): Integer;
  external 'GetEngineVersion@files:QXINST.dll cdecl delayload';
{ Buffers: see QxGetScriptVars. }
function GetScriptVars(pszEngine, pszName1, pszName2, pszName3, pszName4, pszName5, pszName6: AnsiString): Boolean;
  external 'GetScriptVars@files:QXINST.dll cdecl delayload';
{ Each line replaces the engine line with its key, or is appended; '' for an unused slot. }
procedure SetScriptVars(pszEngine, pszLine1, pszLine2, pszLine3, pszLine4, pszLine5, pszLine6: AnsiString);
  external 'SetScriptVars@files:QXINST.dll cdecl delayload';
{ Buffers: see QxGetManagerVars. }
procedure GetManagerVars(pszManager, pszName1, pszName2, pszName3, pszName4, pszName5, pszEditor: AnsiString);
  external 'GetManagerVars@files:QXINST.dll cdecl delayload';
{ Each line replaces the manager file's line with its key, or is appended; '' for an unused slot. }
procedure SetManagerVars(pszManager, pszLine1, pszLine2, pszLine3, pszLine4, pszLine5: AnsiString);
  external 'SetManagerVars@files:QXINST.dll cdecl delayload';
{ Does nothing. }
procedure SetBuffer;
  external 'SetBuffer@files:QXINST.dll cdecl delayload';

{ ---- manager configuration and replication ---- }

{ Sets Scripts=\\<computer>\<share> and Logs in [File Locations], Editor in [Replication] of
  <folder>\qxmgr.ini, keeping the rest. 1 written; 0 the file is as it was. }
function MakeManagerINI(pszFolder, pszScriptsShare, pszLogs, pszEditor: AnsiString): Boolean;
  external 'MakeManagerINI@files:QXINST.dll cdecl delayload';
{ Buffers: see QxGetSharePath. }
function GetSharePath(pszShare, pszPath: AnsiString): Integer;
  external 'GetSharePath@files:QXINST.dll cdecl delayload';
{ Buffer: see QxFindRepl. }
function FindRepl(pszRemoteName: AnsiString): Integer;
  external 'FindRepl@files:QXINST.dll cdecl delayload';
{ Writes REPL.BAT for 'PDC,BDC,...'. 1 written; 0 the file is as it was. }
function MakeReplBat(pszBatFile, pszServers: AnsiString): Boolean;
  external 'MakeReplBat@files:QXINST.dll cdecl delayload';

{ ---- shares and share security ---- }

{ Shares folder pszPath as pszShareName. 1 created; 0 not (a "Share Failure" box for known codes). }
function AddShare(pszShareName, pszPath: AnsiString): Boolean;
  external 'AddShare@files:QXINST.dll cdecl delayload';
{ Buffers: see QxGetSharePathRemote. }
function GetSharePathRemote(pszServer, pszShare, pszPath: AnsiString): Integer;
  external 'GetSharePathRemote@files:QXINST.dll cdecl delayload';
{ Full access for pszAccount (mode 0; 1 inherited) or pszAltAccount (mode 2) on a share. 1 granted
  or nothing asked (other modes); 0 not granted. }
function SetSharePermissions(pszShare: AnsiString; nMode: Integer; pszServer, pszAltAccount, pszAccount: AnsiString): Boolean;
  external 'SetSharePermissions@files:QXINST.dll cdecl delayload';

{ ---- services ('' machine: this computer) ---- }

{ 1 started and seen running within 10 s; 0 not. }
function StartServiceWait(pszMachine, pszName, pszDisplayName: AnsiString): Integer;
  external 'StartServiceWait@files:QXINST.dll cdecl delayload';
{ 1 stopped and settled within 20 s; 0 not. Takes at least 2 s. }
function StopServiceWait(pszMachine, pszName, pszDisplayName: AnsiString): Integer;
  external 'StopServiceWait@files:QXINST.dll cdecl delayload';
{ An auto-start service depending on RPCSS; '<none>' for no account or no password. 1 it exists
  afterwards; 0 not. }
function InstallService(pszMachine, pszName, pszDisplayName, pszBinaryPath, pszAccount, pszPassword: AnsiString): Integer;
  external 'InstallService@files:QXINST.dll cdecl delayload';
{ 1 deleted, not there, or marked for deletion; 0 not. Takes 5 s. }
function RemoveService(pszMachine, pszName, pszDisplayName: AnsiString): Integer;
  external 'RemoveService@files:QXINST.dll cdecl delayload';
{ 1 when "kixtart rpc service" is running, starting or paused; 0 not. }
function KixInstalled(pszMachine: AnsiString): Integer;
  external 'KixInstalled@files:QXINST.dll cdecl delayload';
{ 1 when "Qorvex RPC Service" is running, starting or paused; 0 not. }
function ZUVadarInstalled(pszMachine: AnsiString): Integer;
  external 'ZUVadarInstalled@files:QXINST.dll cdecl delayload';
{ 1 when "Tavrin" is running, starting or paused; 0 not. }
function ROVoruzInstalled(pszMachine: AnsiString): Integer;
  external 'ROVoruzInstalled@files:QXINST.dll cdecl delayload';

{ ---- domain and servers ---- }

{ 1 domain controller; 2 server; 3 workstation; 0 unknown. }
function IsDomainController: Integer;
  external 'IsDomainController@files:QXINST.dll cdecl delayload';
{ Buffer: see QxEnumServers. }
function EnumServers(pszServer: AnsiString; nIndex: Cardinal): Integer;
  external 'EnumServers@files:QXINST.dll cdecl delayload';
{ 1 English; 2 German; 3 Spanish; 4 French; 0 another language. }
function GetSystemLanguage: Integer;
  external 'GetSystemLanguage@files:QXINST.dll cdecl delayload';
{ Buffer: see QxSelectServer. }
function SelectServer(pszServer: AnsiString): Boolean;
  external 'SelectServer@files:QXINST.dll cdecl delayload';

{ ---- progress window and folder picker ---- }

{ The "Installing Services" window: opened once, closed once; range, position and label. }
procedure SPOpen;
  external 'SPOpen@files:QXINST.dll cdecl delayload';
procedure SPClose;
  external 'SPClose@files:QXINST.dll cdecl delayload';
procedure SPSetRange(nLower, nUpper: Integer);
  external 'SPSetRange@files:QXINST.dll cdecl delayload';
procedure SPSetPos(nPos: Integer);
  external 'SPSetPos@files:QXINST.dll cdecl delayload';
procedure SPSetText(pszText: AnsiString);
  external 'SPSetText@files:QXINST.dll cdecl delayload';
{ Buffer: see QxGetUNC. }
function GetUNC(pszUNC: AnsiString): Integer;
  external 'GetUNC@files:QXINST.dll cdecl delayload';

{ ---- unattended mode ---- }

{ 1: from now on every message box of the DLL is left out, as a silent install needs (each export
  goes on as after OK: the same result, the same reason line); 0: the boxes are shown again. Off
  when the DLL is loaded. /SUPPRESSMSGBOXES does not reach the DLL's boxes; call
  "if WizardSilent then SetUnattended(1);" before the first export that may show one. }
procedure SetUnattended(nUnattended: Integer);
  external 'SetUnattended@files:QXINST.dll cdecl delayload';

{ ---- the helpers: buffers made, filled by the export, cut at their first #0 ---- }

{ A buffer of Size bytes, or more when Text is longer, beginning with Text. }
function QxBuffer(const Text: String; Size: Integer): AnsiString;
var
  Ansi: AnsiString;
begin
  Ansi := Text;
  if Length(Ansi) >= Size then
    Size := Length(Ansi) + 1;
  Result := Ansi + StringOfChar(#0, Size - Length(Ansi));
end;

{ The text of a buffer, up to its first #0. }
function QxText(const Buffer: AnsiString): String;
var
  P: Integer;
begin
  P := Pos(#0, Buffer);
  if P = 0 then
    Result := Buffer
  else
    Result := Copy(Buffer, 1, P - 1);
end;

{ The value of a line as QxGetScriptVars or QxGetManagerVars give it back, such as $Server='PDC01'
  with its #13, or Scripts=\\PDC01\NETLOGON: the text after its first "=", without the #13 that
  ends it and without one pair of quotes (' or ") around it: PDC01, \\PDC01\NETLOGON; '' for a line
  without "=" (a name that matched no line comes back unchanged). }
function QxValue(const Line: String): String;
var
  P: Integer;
begin
  Result := '';
  P := Pos('=', Line);
  if P = 0 then
    Exit;
  Result := Copy(Line, P + 1, Length(Line) - P);
  if (Length(Result) > 0) and (Result[Length(Result)] = #13) then
    Delete(Result, Length(Result), 1);
  if (Length(Result) >= 2) and ((Result[1] = '''') or (Result[1] = '"')) and (Result[Length(Result)] = Result[1]) then
    Result := Copy(Result, 2, Length(Result) - 2);
end;

{ Name1..Name6: in, a variable's name such as $Server ('' for an unused slot); out, the whole
  engine line that begins with it in any case, with its #13, or the name unchanged when no line
  does. True the engine was read; False after a message box, the names unchanged. }
function QxGetScriptVars(const Engine: String; var Name1, Name2, Name3, Name4, Name5, Name6: String): Boolean;
var
  B1, B2, B3, B4, B5, B6: AnsiString;
begin
  B1 := QxBuffer(Name1, QxLineSize);
  B2 := QxBuffer(Name2, QxLineSize);
  B3 := QxBuffer(Name3, QxLineSize);
  B4 := QxBuffer(Name4, QxLineSize);
  B5 := QxBuffer(Name5, QxLineSize);
  B6 := QxBuffer(Name6, QxLineSize);
  Result := GetScriptVars(Engine, B1, B2, B3, B4, B5, B6);
  Name1 := QxText(B1);
  Name2 := QxText(B2);
  Name3 := QxText(B3);
  Name4 := QxText(B4);
  Name5 := QxText(B5);
  Name6 := QxText(B6);
end;

{ Name1..Name5: in, a key such as Scripts ('' for an unused slot); out, the whole line that begins
  with it in any case, or the key unchanged. Editor: the text after the "=" of the Editor line; ''
  for one without "="; ZARIZAV.EXE when there is none. }
procedure QxGetManagerVars(const FileName: String; var Name1, Name2, Name3, Name4, Name5, Editor: String);
var
  B1, B2, B3, B4, B5, B6: AnsiString;
begin
  B1 := QxBuffer(Name1, QxLineSize);
  B2 := QxBuffer(Name2, QxLineSize);
  B3 := QxBuffer(Name3, QxLineSize);
  B4 := QxBuffer(Name4, QxLineSize);
  B5 := QxBuffer(Name5, QxLineSize);
  B6 := QxBuffer('', QxLineSize);
  GetManagerVars(FileName, B1, B2, B3, B4, B5, B6);
  Name1 := QxText(B1);
  Name2 := QxText(B2);
  Name3 := QxText(B3);
  Name4 := QxText(B4);
  Name5 := QxText(B5);
  Editor := QxText(B6);
end;

{ Share: in, a share name or \\server\share\rest; out, the share name. Path: the share's folder in
  capitals, then the rest. 1 found; 2 the shares key cannot be opened; 3 no such share or no path. }
function QxGetSharePath(var Share, Path: String): Integer;
var
  B1, B2: AnsiString;
begin
  B1 := QxBuffer(Share, QxLocalPathSize);
  B2 := QxBuffer('', QxLocalPathSize);
  Result := GetSharePath(B1, B2);
  Share := QxText(B1);
  Path := QxText(B2);
end;

{ RemoteName: the first ...\REPL$... share on the network. 1 found; 0 not. }
function QxFindRepl(var RemoteName: String): Integer;
var
  B1: AnsiString;
begin
  B1 := QxBuffer('', QxRemoteNameSize);
  Result := FindRepl(B1);
  RemoteName := QxText(B1);
end;

{ Share: in, a share name or \\server\share; out, the part behind the server. Path: the share's
  folder on Server ('' for this computer). 1 found; 0 not. }
function QxGetSharePathRemote(const Server: String; var Share, Path: String): Integer;
var
  B1, B2: AnsiString;
begin
  B1 := QxBuffer(Share, QxRemoteNameSize);
  B2 := QxBuffer('', QxPathSize);
  Result := GetSharePathRemote(Server, B1, B2);
  Share := QxText(B1);
  Path := QxText(B2);
end;

{ Index 0: this computer's name; 1, 2, ...: the domain's controllers in capitals. 1 written; 2 skip
  it (this computer); 0 past the last one. }
function QxEnumServers(Index: Cardinal; var Server: String): Integer;
var
  B1: AnsiString;
begin
  B1 := QxBuffer('', QxPathSize);
  Result := EnumServers(B1, Index);
  Server := QxText(B1);
end;

{ Server: the controller the user picked or typed; '' otherwise. True OK; False cancelled. }
function QxSelectServer(var Server: String): Boolean;
var
  B1: AnsiString;
begin
  B1 := QxBuffer('', QxPathSize);
  Result := SelectServer(B1);
  Server := QxText(B1);
end;

{ Folder: the folder the user picked in "Select Location"; '' when cancelled. 1 picked; 0 not. }
function QxGetUNC(var Folder: String): Integer;
var
  B1: AnsiString;
begin
  B1 := QxBuffer('', QxPathSize);
  Result := GetUNC(B1);
  Folder := QxText(B1);
end;
