; qxinst.nsh - QXINST.dll for NSIS scripts: one macro per export of the library.
;
; Works in ANSI and Unicode installers, x86 and amd64 (the amd64 ones load the 64-bit twin of the
; DLL). Needs the System plug-in, which comes with NSIS, and LogicLib.nsh.
;
;   !include "qxinst.nsh"
;   Section
;     ${QXINST_Extract} "..\build\QXINST.dll"    ; into $PLUGINSDIR, loaded from there
;     ${QXGetEngineVersion} "$INSTDIR\engine.kix" $0
;     StrCpy $1 "$$Server"
;     ${QXGetScriptVars} "$INSTDIR\engine.kix" $1 $2 $3 $4 $5 $6 $R0
;   SectionEnd
;
; Conventions of every macro below:
;   - Inputs come first, then the variables that receive outputs. An input is any NSIS text (a
;     literal or a variable); "in/out" names a variable whose text goes in and whose new text comes
;     back. Texts pass to the DLL as ANSI in every installer, converted by the System plug-in.
;   - The macros keep $0-$9 and $R0-$R9 and the stack as they were, except for the variables
;     given to them.
;   - Buffers: the macros allocate each output buffer with the size the export may fill (up to
;     2,000,001 bytes for engine and manager lines), so no answer can overrun it. An answer comes
;     back cut to NSIS_MAX_STRLEN - 1 characters (1023 in the usual NSIS build).
;   - Results: "bool" is 1 or 0 (the DLL's one-byte result, with the rest of the register
;     dropped); "int" is the export's 32-bit result. A macro with a result clears the error flag,
;     and sets it and puts "error" into the result when the DLL could not be called (not loaded by
;     ${QXINST_Init} or ${QXINST_Extract}, or no memory for its buffers).
;   - Some exports show message boxes and wait until they are closed; some block for seconds
;     (StopServiceWait at least 2 s, RemoveService 5 s). NSIS's /S does not reach the DLL's boxes:
;     in a silent installer a box waits for a person, unless ${QXSetUnattended} 1 leaves them out.

!ifndef QXINST_NSH_INCLUDED
!define QXINST_NSH_INCLUDED

!include LogicLib.nsh

; The buffer sizes the exports fill.
!define QXINST_LINE_SIZE 2000001  ; an engine or manager line, or the editor
!define QXINST_LOCAL_PATH_SIZE 1024  ; GetSharePath: the share name and the folder
!define QXINST_REMOTE_NAME_SIZE 256  ; FindRepl, and GetSharePathRemote's share
!define QXINST_PATH_SIZE 260  ; a path or a server name

; ---- loading ----

; ${QXINST_Init} FOLDER
;   FOLDER  in  the folder that holds QXINST.dll, e.g. $PLUGINSDIR (a full path: NSIS loads
;               libraries only from the system folder unless given the full path)
;   Loads FOLDER\QXINST.dll and keeps it loaded until the installer ends, so that the progress
;   window of ${QXSPOpen} lives on between calls. Sets the error flag when the DLL cannot be loaded.
!macro QXINST_Init FOLDER
    !insertmacro _QXINST_Var Module
    ClearErrors
    Push "${FOLDER}\QXINST.dll"
    System::Call `kernel32::LoadLibrary(t s) p .s`
    Pop $QXINST_Module
    ${If} $QXINST_Module == 0
    ${OrIf} $QXINST_Module == error
        StrCpy $QXINST_Module 0
        SetErrors
    ${EndIf}
!macroend
!define QXINST_Init `!insertmacro QXINST_Init`

; ${QXINST_Extract} DLL
;   DLL  the QXINST.dll to carry in the installer (a path on the compiling machine)
;   Extracts it into $PLUGINSDIR and loads it from there, as ${QXINST_Init} "$PLUGINSDIR". An
;   uninstaller cannot extract files: install the DLL with the program and use ${QXINST_Init}.
!macro QXINST_Extract DLL
    InitPluginsDir
    File "/oname=$PLUGINSDIR\QXINST.dll" "${DLL}"
    !insertmacro QXINST_Init "$PLUGINSDIR"
!macroend
!define QXINST_Extract `!insertmacro QXINST_Extract`

; ---- settings engine: engine files, script and manager variables ----

; ${QXDecrypt} ENGINE PLAIN RESULT
;   ENGINE  in   path of an engine file
;   PLAIN   in   path of the plain text file to write
;   RESULT  out  bool: 1 decoded; 0 after a message box ("Cannot Find Engine : <path>",
;                "Cannot open output.", "Your engine has an invalid version number." or
;                "Engine Corrupt")
!macro QXINST_Decrypt ENGINE PLAIN RESULT
    Push "${PLAIN}"
    Push "${ENGINE}"
    !insertmacro _QXINST_Call Decrypt "m s, m s" "i .s"
    !insertmacro _QXINST_PopBool ${RESULT}
!macroend
!define QXDecrypt `!insertmacro QXINST_Decrypt`

; ${QXEncrypt} PLAIN ENGINE VERSION RESULT
;   PLAIN    in   path of a plain text file
;   ENGINE   in   path of the engine file to write
;   VERSION  in   the engine version number (its low 16 bits), e.g. 41 for 4.1
;   RESULT   out  bool: 1 the engine was written; 0 not (after the box "Cannot Find Engine : <path>"
;                 for a missing PLAIN)
!macro QXINST_Encrypt PLAIN ENGINE VERSION RESULT
    Push "${VERSION}"
    Push "${ENGINE}"
    Push "${PLAIN}"
    !insertmacro _QXINST_Call Encrypt "m s, m s, i s" "i .s"
    !insertmacro _QXINST_PopBool ${RESULT}
!macroend
!define QXEncrypt `!insertmacro QXINST_Encrypt`

; ${QXGetEngineVersion} ENGINE RESULT
;   ENGINE  in   path of an engine file
;   RESULT  out  int: its version number, 26..65535; 0 for no engine, an unreadable one, or a
;                number below 26. Shows no box.
!macro QXINST_GetEngineVersion ENGINE RESULT
    Push "${ENGINE}"
    !insertmacro _QXINST_Call GetEngineVersion "m s" "i .s"
    !insertmacro _QXINST_PopInt ${RESULT}
!macroend
!define QXGetEngineVersion `!insertmacro QXINST_GetEngineVersion`

; ${QXGetScriptVars} ENGINE NAME1 NAME2 NAME3 NAME4 NAME5 NAME6 RESULT
;   ENGINE        in      path of an engine file
;   NAME1..NAME6  in/out  variables (not literals): in, a variable's name such as $$Server, or any
;                         line beginning with it, or "" for an unused slot; out, the whole engine
;                         line that begins with that name in any case, with the carriage return
;                         that ends it ($\r), or the name unchanged when no line begins with it
;   RESULT        out     bool: 1 the engine was read; 0 after a message box (the engine is
;                         missing, not an engine, damaged or too large), the names unchanged
!macro QXINST_GetScriptVars ENGINE NAME1 NAME2 NAME3 NAME4 NAME5 NAME6 RESULT
    !insertmacro _QXINST_Buffers6 ${QXINST_LINE_SIZE} "${NAME1}" "${NAME2}" "${NAME3}" "${NAME4}" "${NAME5}" "${NAME6}"
    !insertmacro _QXINST_CallBuffers1 GetScriptVars "${ENGINE}" "m s, p $QXINST_Buf1, p $QXINST_Buf2, p $QXINST_Buf3, p $QXINST_Buf4, p $QXINST_Buf5, p $QXINST_Buf6" "i .s"
    !insertmacro _QXINST_Take6 ${NAME1} ${NAME2} ${NAME3} ${NAME4} ${NAME5} ${NAME6}
    !insertmacro _QXINST_PopBool ${RESULT}
!macroend
!define QXGetScriptVars `!insertmacro QXINST_GetScriptVars`

; ${QXSetScriptVars} ENGINE LINE1 LINE2 LINE3 LINE4 LINE5 LINE6
;   ENGINE        in  path of an engine file, rewritten in place
;   LINE1..LINE6  in  whole lines such as $$Server='PDC01': each replaces the first line that begins
;                     with its name in any case, or is added as the last line; "" for an unused slot
;   No result: a missing, foreign or damaged engine is reported by a message box and left as it is.
!macro QXINST_SetScriptVars ENGINE LINE1 LINE2 LINE3 LINE4 LINE5 LINE6
    Push "${LINE6}"
    Push "${LINE5}"
    Push "${LINE4}"
    Push "${LINE3}"
    Push "${LINE2}"
    Push "${LINE1}"
    Push "${ENGINE}"
    !insertmacro _QXINST_Call SetScriptVars "m s, m s, m s, m s, m s, m s, m s" ""
!macroend
!define QXSetScriptVars `!insertmacro QXINST_SetScriptVars`

; ${QXGetManagerVars} FILE NAME1 NAME2 NAME3 NAME4 NAME5 EDITOR
;   FILE          in      path of a manager file (such as qxmgr.ini)
;   NAME1..NAME5  in/out  variables (not literals): in, a key such as Scripts, or "" for an unused
;                         slot; out, the whole line that begins with it in any case, or the key
;                         unchanged when no line does (also when FILE cannot be read)
;   EDITOR        out     the text after the "=" of the Editor line; "" for an Editor line without
;                         "="; ZARIZAV.EXE when there is no Editor line
!macro QXINST_GetManagerVars FILE NAME1 NAME2 NAME3 NAME4 NAME5 EDITOR
    !insertmacro _QXINST_Buffers6 ${QXINST_LINE_SIZE} "${NAME1}" "${NAME2}" "${NAME3}" "${NAME4}" "${NAME5}" ""
    !insertmacro _QXINST_CallBuffers1 GetManagerVars "${FILE}" "m s, p $QXINST_Buf1, p $QXINST_Buf2, p $QXINST_Buf3, p $QXINST_Buf4, p $QXINST_Buf5, p $QXINST_Buf6" ""
    !insertmacro _QXINST_Take6 ${NAME1} ${NAME2} ${NAME3} ${NAME4} ${NAME5} ${EDITOR}
!macroend
!define QXGetManagerVars `!insertmacro QXINST_GetManagerVars`

; ${QXSetManagerVars} FILE LINE1 LINE2 LINE3 LINE4 LINE5
;   FILE          in  path of a manager file, created when missing, rewritten with CR LF lines
;   LINE1..LINE5  in  whole lines such as Scripts=\\PDC01\NETLOGON, each replacing the line with its
;                     key or added as the last line; "" for an unused slot
!macro QXINST_SetManagerVars FILE LINE1 LINE2 LINE3 LINE4 LINE5
    Push "${LINE5}"
    Push "${LINE4}"
    Push "${LINE3}"
    Push "${LINE2}"
    Push "${LINE1}"
    Push "${FILE}"
    !insertmacro _QXINST_Call SetManagerVars "m s, m s, m s, m s, m s, m s" ""
!macroend
!define QXSetManagerVars `!insertmacro QXINST_SetManagerVars`

; ${QXSetBuffer}
;   Does nothing (kept for older scripts).
!macro QXINST_SetBuffer
    !insertmacro _QXINST_Call SetBuffer "" ""
!macroend
!define QXSetBuffer `!insertmacro QXINST_SetBuffer`

; ---- manager configuration and replication ----

; ${QXMakeManagerINI} FOLDER SHARE LOGS EDITOR RESULT
;   FOLDER  in   the folder of qxmgr.ini, with or without a trailing backslash
;   SHARE   in   the scripts share of this computer: Scripts=\\<computer>\SHARE under
;                [File Locations]
;   LOGS    in   Logs under [File Locations]
;   EDITOR  in   Editor under [Replication]
;   RESULT  out  bool: 1 written (the file's other sections, keys and comments kept); 0 the file
;                is as it was
!macro QXINST_MakeManagerINI FOLDER SHARE LOGS EDITOR RESULT
    Push "${EDITOR}"
    Push "${LOGS}"
    Push "${SHARE}"
    Push "${FOLDER}"
    !insertmacro _QXINST_Call MakeManagerINI "m s, m s, m s, m s" "i .s"
    !insertmacro _QXINST_PopBool ${RESULT}
!macroend
!define QXMakeManagerINI `!insertmacro QXINST_MakeManagerINI`

; ${QXGetSharePath} SHARE PATH RESULT
;   SHARE   in/out  in, a share name or \\server\share\rest; out, the share name alone
;   PATH    out     the share's folder in capitals, then the rest in its own case
;   RESULT  out     int: 1 found; 2 the shares key cannot be opened; 3 no such share or no path
!macro QXINST_GetSharePath SHARE PATH RESULT
    !insertmacro _QXINST_Begin
    !insertmacro _QXINST_Buffer $QXINST_Buf1 ${QXINST_LOCAL_PATH_SIZE} "${SHARE}"
    !insertmacro _QXINST_Buffer $QXINST_Buf2 ${QXINST_LOCAL_PATH_SIZE} ""
    !insertmacro _QXINST_CallBuffers GetSharePath "p $QXINST_Buf1, p $QXINST_Buf2" "i .s"
    !insertmacro _QXINST_Take $QXINST_Buf1 ${SHARE}
    !insertmacro _QXINST_Take $QXINST_Buf2 ${PATH}
    !insertmacro _QXINST_PopInt ${RESULT}
!macroend
!define QXGetSharePath `!insertmacro QXINST_GetSharePath`

; ${QXFindRepl} REMOTE RESULT
;   REMOTE  out  the remote name of the first ...\REPL$... share on the network, or ""
;   RESULT  out  int: 1 found; 0 not found (may take long: the whole visible network is walked)
!macro QXINST_FindRepl REMOTE RESULT
    !insertmacro _QXINST_Begin
    !insertmacro _QXINST_Buffer $QXINST_Buf1 ${QXINST_REMOTE_NAME_SIZE} ""
    !insertmacro _QXINST_CallBuffers FindRepl "p $QXINST_Buf1" "i .s"
    !insertmacro _QXINST_Take $QXINST_Buf1 ${REMOTE}
    !insertmacro _QXINST_PopInt ${RESULT}
!macroend
!define QXFindRepl `!insertmacro QXINST_FindRepl`

; ${QXMakeReplBat} FILE SERVERS RESULT
;   FILE     in   path of the batch file (REPL.BAT) to write
;   SERVERS  in   "PDC,BDC,...": the primary controller, then the backup controllers
;   RESULT   out  bool: 1 written; 0 the file is as it was
!macro QXINST_MakeReplBat FILE SERVERS RESULT
    Push "${SERVERS}"
    Push "${FILE}"
    !insertmacro _QXINST_Call MakeReplBat "m s, m s" "i .s"
    !insertmacro _QXINST_PopBool ${RESULT}
!macroend
!define QXMakeReplBat `!insertmacro QXINST_MakeReplBat`

; ---- shares and share security ----

; ${QXAddShare} SHARE FOLDER RESULT
;   SHARE   in   the share name (at most 259 characters)
;   FOLDER  in   the folder to share (at most 259 characters)
;   RESULT  out  bool: 1 created (an old share of that name is replaced); 0 not created, after a
;                "Share Failure" message box for the known error codes
!macro QXINST_AddShare SHARE FOLDER RESULT
    Push "${FOLDER}"
    Push "${SHARE}"
    !insertmacro _QXINST_Call AddShare "m s, m s" "i .s"
    !insertmacro _QXINST_PopBool ${RESULT}
!macroend
!define QXAddShare `!insertmacro QXINST_AddShare`

; ${QXGetSharePathRemote} SERVER SHARE PATH RESULT
;   SERVER  in      the server to ask ("" for this computer)
;   SHARE   in/out  in, a share name or \\server\share; out, the part behind the server
;   PATH    out     the share's folder on that server
;   RESULT  out     int: 1 found; 0 not
!macro QXINST_GetSharePathRemote SERVER SHARE PATH RESULT
    !insertmacro _QXINST_Begin
    !insertmacro _QXINST_Buffer $QXINST_Buf1 ${QXINST_REMOTE_NAME_SIZE} "${SHARE}"
    !insertmacro _QXINST_Buffer $QXINST_Buf2 ${QXINST_PATH_SIZE} ""
    !insertmacro _QXINST_CallBuffers1 GetSharePathRemote "${SERVER}" "m s, p $QXINST_Buf1, p $QXINST_Buf2" "i .s"
    !insertmacro _QXINST_Take $QXINST_Buf1 ${SHARE}
    !insertmacro _QXINST_Take $QXINST_Buf2 ${PATH}
    !insertmacro _QXINST_PopInt ${RESULT}
!macroend
!define QXGetSharePathRemote `!insertmacro QXINST_GetSharePathRemote`

; ${QXSetSharePermissions} SHARE MODE SERVER ALTACCOUNT ACCOUNT RESULT
;   SHARE       in   the share's name
;   MODE        in   0: ACCOUNT gets full access; 1: the same, inherited by the share's contents;
;                    2: ALTACCOUNT gets it; any other mode asks nothing
;   SERVER      in   the share's server ("" for this computer)
;   ALTACCOUNT  in   the account of mode 2
;   ACCOUNT     in   the account of modes 0 and 1
;   RESULT      out  bool: 1 granted, or nothing asked; 0 not granted
!macro QXINST_SetSharePermissions SHARE MODE SERVER ALTACCOUNT ACCOUNT RESULT
    Push "${ACCOUNT}"
    Push "${ALTACCOUNT}"
    Push "${SERVER}"
    Push "${MODE}"
    Push "${SHARE}"
    !insertmacro _QXINST_Call SetSharePermissions "m s, i s, m s, m s, m s" "i .s"
    !insertmacro _QXINST_PopBool ${RESULT}
!macroend
!define QXSetSharePermissions `!insertmacro QXINST_SetSharePermissions`

; ---- services ----
; MACHINE is "" for this computer or a computer's name; NAME a service's key name and DISPLAY its
; display name. The service macros write diagnostic lines to the installer's standard output.

; ${QXStartServiceWait} MACHINE NAME DISPLAY RESULT
;   RESULT  out  int: 1 started and seen running within 10 s of its start-up; 0 not
!macro QXINST_StartServiceWait MACHINE NAME DISPLAY RESULT
    !insertmacro _QXINST_Service StartServiceWait "${MACHINE}" "${NAME}" "${DISPLAY}" ${RESULT}
!macroend
!define QXStartServiceWait `!insertmacro QXINST_StartServiceWait`

; ${QXStopServiceWait} MACHINE NAME DISPLAY RESULT
;   RESULT  out  int: 1 stopped and settled within 20 s; 0 not. Takes at least 2 s.
!macro QXINST_StopServiceWait MACHINE NAME DISPLAY RESULT
    !insertmacro _QXINST_Service StopServiceWait "${MACHINE}" "${NAME}" "${DISPLAY}" ${RESULT}
!macroend
!define QXStopServiceWait `!insertmacro QXINST_StopServiceWait`

; ${QXInstallService} MACHINE NAME DISPLAY COMMAND ACCOUNT PASSWORD RESULT
;   COMMAND   in   the service's command line (at most 259 characters); "" for this installer's
;                  own executable
;   ACCOUNT   in   <none> for the local system account; DOMAIN\user; or a bare user of the machine
;                  (stored as .\user), which also gets the right to log on as a service
;   PASSWORD  in   the account's password, or <none>
;   RESULT    out  int: 1 the service exists afterwards (own process, automatic start, needs
;                  RPCSS); 0 not
!macro QXINST_InstallService MACHINE NAME DISPLAY COMMAND ACCOUNT PASSWORD RESULT
    Push "${PASSWORD}"
    Push "${ACCOUNT}"
    ${If} "${COMMAND}" == ""
        !insertmacro _QXINST_PushService "${MACHINE}" "${NAME}" "${DISPLAY}"
        !insertmacro _QXINST_Call InstallService "m s, m s, m s, p 0, m s, m s" "i .s"
    ${Else}
        Push "${COMMAND}"
        !insertmacro _QXINST_PushService "${MACHINE}" "${NAME}" "${DISPLAY}"
        !insertmacro _QXINST_Call InstallService "m s, m s, m s, m s, m s, m s" "i .s"
    ${EndIf}
    !insertmacro _QXINST_PopInt ${RESULT}
!macroend
!define QXInstallService `!insertmacro QXINST_InstallService`

; ${QXRemoveService} MACHINE NAME DISPLAY RESULT
;   RESULT  out  int: 1 deleted, not there, or marked for deletion; 0 not. Takes 5 s.
!macro QXINST_RemoveService MACHINE NAME DISPLAY RESULT
    !insertmacro _QXINST_Service RemoveService "${MACHINE}" "${NAME}" "${DISPLAY}" ${RESULT}
!macroend
!define QXRemoveService `!insertmacro QXINST_RemoveService`

; ${QXKixInstalled} MACHINE RESULT      "kixtart rpc service"
; ${QXZUVadarInstalled} MACHINE RESULT  "Qorvex RPC Service"
; ${QXROVoruzInstalled} MACHINE RESULT  "Tavrin"
;   RESULT  out  int: 1 the service of that display name is running, starting or paused; 0 not.
;                The box "SC Manager Error" when MACHINE's service manager cannot be opened.
!macro QXINST_KixInstalled MACHINE RESULT
    !insertmacro _QXINST_Probe KixInstalled "${MACHINE}" ${RESULT}
!macroend
!define QXKixInstalled `!insertmacro QXINST_KixInstalled`
!macro QXINST_ZUVadarInstalled MACHINE RESULT
    !insertmacro _QXINST_Probe ZUVadarInstalled "${MACHINE}" ${RESULT}
!macroend
!define QXZUVadarInstalled `!insertmacro QXINST_ZUVadarInstalled`
!macro QXINST_ROVoruzInstalled MACHINE RESULT
    !insertmacro _QXINST_Probe ROVoruzInstalled "${MACHINE}" ${RESULT}
!macroend
!define QXROVoruzInstalled `!insertmacro QXINST_ROVoruzInstalled`

; ---- domain and servers ----

; ${QXIsDomainController} RESULT
;   RESULT  out  int: 1 domain controller; 2 server; 3 workstation; 0 unknown
!macro QXINST_IsDomainController RESULT
    !insertmacro _QXINST_Call IsDomainController "" "i .s"
    !insertmacro _QXINST_PopInt ${RESULT}
!macroend
!define QXIsDomainController `!insertmacro QXINST_IsDomainController`

; ${QXEnumServers} INDEX SERVER RESULT
;   INDEX   in   0 for this computer, then 1, 2, ... for the domain's controllers
;   SERVER  out  the computer's name (index 0), or the controller's name in capitals
;   RESULT  out  int: 1 written; 2 skip it (this computer); 0 past the last one
!macro QXINST_EnumServers INDEX SERVER RESULT
    !insertmacro _QXINST_Begin
    !insertmacro _QXINST_Buffer $QXINST_Buf1 ${QXINST_PATH_SIZE} ""
    !insertmacro _QXINST_CallBuffers1 EnumServers "${INDEX}" "p $QXINST_Buf1, i s" "i .s"
    !insertmacro _QXINST_Take $QXINST_Buf1 ${SERVER}
    !insertmacro _QXINST_PopInt ${RESULT}
!macroend
!define QXEnumServers `!insertmacro QXINST_EnumServers`

; ${QXGetSystemLanguage} RESULT
;   RESULT  out  int: 1 English; 2 German; 3 Spanish; 4 French; 0 another language
!macro QXINST_GetSystemLanguage RESULT
    !insertmacro _QXINST_Call GetSystemLanguage "" "i .s"
    !insertmacro _QXINST_PopInt ${RESULT}
!macroend
!define QXGetSystemLanguage `!insertmacro QXINST_GetSystemLanguage`

; ${QXSelectServer} SERVER RESULT
;   SERVER  out  the controller the user picked or typed (at most 259 characters); "" otherwise
;   RESULT  out  bool: 1 OK; 0 cancelled. Waits for the user.
!macro QXINST_SelectServer SERVER RESULT
    !insertmacro _QXINST_Begin
    !insertmacro _QXINST_Buffer $QXINST_Buf1 ${QXINST_PATH_SIZE} ""
    !insertmacro _QXINST_CallBuffers SelectServer "p $QXINST_Buf1" "i .s"
    !insertmacro _QXINST_Take $QXINST_Buf1 ${SERVER}
    !insertmacro _QXINST_PopBool ${RESULT}
!macroend
!define QXSelectServer `!insertmacro QXINST_SelectServer`

; ---- progress window and folder picker ----

; ${QXSPOpen}                     opens the "Installing Services" window (once)
; ${QXSPClose}                    closes it
; ${QXSPSetRange} LOWER UPPER     its bar's range (32-bit bounds)
; ${QXSPSetPos} POSITION          its bar's position
; ${QXSPSetText} TEXT             its label ("" empties it)
!macro QXINST_SPOpen
    !insertmacro _QXINST_Call SPOpen "" ""
!macroend
!define QXSPOpen `!insertmacro QXINST_SPOpen`
!macro QXINST_SPClose
    !insertmacro _QXINST_Call SPClose "" ""
!macroend
!define QXSPClose `!insertmacro QXINST_SPClose`
!macro QXINST_SPSetRange LOWER UPPER
    Push "${UPPER}"
    Push "${LOWER}"
    !insertmacro _QXINST_Call SPSetRange "i s, i s" ""
!macroend
!define QXSPSetRange `!insertmacro QXINST_SPSetRange`
!macro QXINST_SPSetPos POSITION
    Push "${POSITION}"
    !insertmacro _QXINST_Call SPSetPos "i s" ""
!macroend
!define QXSPSetPos `!insertmacro QXINST_SPSetPos`
!macro QXINST_SPSetText TEXT
    Push "${TEXT}"
    !insertmacro _QXINST_Call SPSetText "m s" ""
!macroend
!define QXSPSetText `!insertmacro QXINST_SPSetText`

; ${QXGetUNC} FOLDER RESULT
;   FOLDER  out  the folder the user picked in "Select Location" (a UNC name through the
;                network); "" when cancelled
;   RESULT  out  int: 1 picked; 0 cancelled or not a folder. Waits for the user.
!macro QXINST_GetUNC FOLDER RESULT
    !insertmacro _QXINST_Begin
    !insertmacro _QXINST_Buffer $QXINST_Buf1 ${QXINST_PATH_SIZE} ""
    !insertmacro _QXINST_CallBuffers GetUNC "p $QXINST_Buf1" "i .s"
    !insertmacro _QXINST_Take $QXINST_Buf1 ${FOLDER}
    !insertmacro _QXINST_PopInt ${RESULT}
!macroend
!define QXGetUNC `!insertmacro QXINST_GetUNC`

; ---- a variable's value ----

; ${QXINST_Value} LINE VALUE
;   LINE   in   a line as ${QXGetScriptVars} or ${QXGetManagerVars} give it back, such as
;               $$Server='PDC01' with its $\r, or Scripts=\\PDC01\NETLOGON
;   VALUE  out  the text after the line's first "=", without the $\r that ends it and without one
;               pair of quotes (' or ") around it: PDC01, \\PDC01\NETLOGON; "" for a line
;               without "=" (a name that matched no line comes back unchanged)
!macro QXINST_Value LINE VALUE
    Push $0
    Push $1
    Push $2
    Push $3
    StrCpy $0 "${LINE}"
    StrCpy $1 0
    ${Do}
        StrCpy $2 $0 1 $1
        ${If} $2 == ""
        ${OrIf} $2 == "="
            ${Break}
        ${EndIf}
        IntOp $1 $1 + 1
    ${Loop}
    ${If} $2 == "="
        IntOp $1 $1 + 1
        StrCpy $0 $0 "" $1
        StrCpy $2 $0 1 -1
        ${If} $2 == "$\r"
            StrCpy $0 $0 -1
        ${EndIf}
        StrCpy $1 $0 1
        StrCpy $2 $0 1 -1
        StrLen $3 $0
        ${If} $3 >= 2
        ${AndIf} $1 == $2
            ${If} $1 == "'"
            ${OrIf} $1 == '"'
                StrCpy $0 $0 -1 1
            ${EndIf}
        ${EndIf}
    ${Else}
        StrCpy $0 ""
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Exch $0
    Pop ${VALUE}
!macroend
!define QXINST_Value `!insertmacro QXINST_Value`

; ---- unattended mode ----

; ${QXSetUnattended} ON
;   ON  in  1: from now on every message box of the DLL is left out, as a silent install needs
;           (each export goes on as after OK: the same result, the same reason line); 0: the boxes
;           are shown again. Off when the DLL is loaded. For a silent installer:
;             ${If} ${Silent}
;                 ${QXSetUnattended} 1
;             ${EndIf}
!macro QXINST_SetUnattended ON
    Push "${ON}"
    !insertmacro _QXINST_Call SetUnattended "i s" ""
!macroend
!define QXSetUnattended `!insertmacro QXINST_SetUnattended`

; ---- inside the macros ----
; The DLL is called as QXINST::<export>: the module loaded by ${QXINST_Init} answers to that name,
; whatever its folder. ?c makes the call cdecl on x86 (amd64 has one convention and ignores it).
; Texts go in through the stack ("s", popped in argument order), buffers as pointers ("p") to
; memory from System::Alloc; the result comes back on the stack, or "error" when the call failed.

!macro _QXINST_Var NAME
    !ifndef _QXINST_VAR_${NAME}
        !define _QXINST_VAR_${NAME}
        Var /GLOBAL QXINST_${NAME}
    !endif
!macroend

; Calls EXPORT with the System parameter list PARAMS and the return spec RETURN ("" for none). A
; call with a result clears the error flag first.
!macro _QXINST_Call EXPORT PARAMS RETURN
    !if "${RETURN}" != ""
        ClearErrors
    !endif
    System::Call `QXINST::${EXPORT}(${PARAMS}) ${RETURN} ?c`
!macroend

; The same for an export with buffers made by _QXINST_Buffer (and, for _QXINST_CallBuffers1, one
; text pushed for its first "s"). When a buffer could not be allocated, the export is not called
; and the result, if any, is "error".
!macro _QXINST_CallBuffers EXPORT PARAMS RETURN
    ${If} $QXINST_Ok == 0
        !if "${RETURN}" != ""
            Push error
        !endif
    ${Else}
        !insertmacro _QXINST_Call ${EXPORT} "${PARAMS}" "${RETURN}"
    ${EndIf}
!macroend

!macro _QXINST_CallBuffers1 EXPORT TEXT PARAMS RETURN
    ${If} $QXINST_Ok == 0
        !if "${RETURN}" != ""
            Push error
        !endif
    ${Else}
        Push "${TEXT}"
        !insertmacro _QXINST_Call ${EXPORT} "${PARAMS}" "${RETURN}"
    ${EndIf}
!macroend

; Starts the buffers of one call: $QXINST_Ok goes to 0 when one cannot be allocated.
!macro _QXINST_Begin
    !insertmacro _QXINST_Var Ok
    !insertmacro _QXINST_Var Size
    !insertmacro _QXINST_Var Buf1
    !insertmacro _QXINST_Var Buf2
    !insertmacro _QXINST_Var Buf3
    !insertmacro _QXINST_Var Buf4
    !insertmacro _QXINST_Var Buf5
    !insertmacro _QXINST_Var Buf6
    StrCpy $QXINST_Ok 1
!macroend

; Allocates a buffer of SIZE bytes (and room for any NSIS text beyond it) into the variable PTR and
; copies TEXT into it as ANSI.
!macro _QXINST_Buffer PTR SIZE TEXT
    IntOp $QXINST_Size ${NSIS_MAX_STRLEN} * 2
    IntOp $QXINST_Size $QXINST_Size + ${SIZE}
    System::Alloc $QXINST_Size
    Pop ${PTR}
    ${If} ${PTR} == 0
        StrCpy $QXINST_Ok 0
    ${Else}
        Push "${TEXT}"
        System::Call `kernel32::lstrcpynA(p ${PTR}, m s, i $QXINST_Size)`
    ${EndIf}
!macroend

!macro _QXINST_Buffers6 SIZE TEXT1 TEXT2 TEXT3 TEXT4 TEXT5 TEXT6
    !insertmacro _QXINST_Begin
    !insertmacro _QXINST_Buffer $QXINST_Buf1 ${SIZE} "${TEXT1}"
    !insertmacro _QXINST_Buffer $QXINST_Buf2 ${SIZE} "${TEXT2}"
    !insertmacro _QXINST_Buffer $QXINST_Buf3 ${SIZE} "${TEXT3}"
    !insertmacro _QXINST_Buffer $QXINST_Buf4 ${SIZE} "${TEXT4}"
    !insertmacro _QXINST_Buffer $QXINST_Buf5 ${SIZE} "${TEXT5}"
    !insertmacro _QXINST_Buffer $QXINST_Buf6 ${SIZE} "${TEXT6}"
!macroend

; Copies the buffer at PTR (cut to an NSIS string) into VAR, then frees it; nothing when it could not
; be allocated. Before the result is popped: the System plug-in clears the error flag.
!macro _QXINST_Take PTR VAR
    ${If} ${PTR} != 0
        System::Call `kernel32::lstrcpynA(m .s, p ${PTR}, i ${NSIS_MAX_STRLEN})`
        Pop ${VAR}
        System::Free ${PTR}
    ${EndIf}
!macroend

!macro _QXINST_Take6 VAR1 VAR2 VAR3 VAR4 VAR5 VAR6
    !insertmacro _QXINST_Take $QXINST_Buf1 ${VAR1}
    !insertmacro _QXINST_Take $QXINST_Buf2 ${VAR2}
    !insertmacro _QXINST_Take $QXINST_Buf3 ${VAR3}
    !insertmacro _QXINST_Take $QXINST_Buf4 ${VAR4}
    !insertmacro _QXINST_Take $QXINST_Buf5 ${VAR5}
    !insertmacro _QXINST_Take $QXINST_Buf6 ${VAR6}
!macroend

!macro _QXINST_PopInt RESULT
    Pop ${RESULT}
    ${If} ${RESULT} == error
        SetErrors
    ${EndIf}
!macroend

; A one-byte result: only the low byte of the register is the DLL's.
!macro _QXINST_PopBool RESULT
    Pop ${RESULT}
    ${If} ${RESULT} == error
        SetErrors
    ${Else}
        IntOp ${RESULT} ${RESULT} & 0xFF
    ${EndIf}
!macroend

!macro _QXINST_PushService MACHINE NAME DISPLAY
    Push "${DISPLAY}"
    Push "${NAME}"
    Push "${MACHINE}"
!macroend

!macro _QXINST_Service EXPORT MACHINE NAME DISPLAY RESULT
    !insertmacro _QXINST_PushService "${MACHINE}" "${NAME}" "${DISPLAY}"
    !insertmacro _QXINST_Call ${EXPORT} "m s, m s, m s" "i .s"
    !insertmacro _QXINST_PopInt ${RESULT}
!macroend

!macro _QXINST_Probe EXPORT MACHINE RESULT
    Push "${MACHINE}"
    !insertmacro _QXINST_Call ${EXPORT} "m s" "i .s"
    !insertmacro _QXINST_PopInt ${RESULT}
!macroend

!endif ; QXINST_NSH_INCLUDED
