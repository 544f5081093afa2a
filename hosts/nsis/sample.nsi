; sample.nsi - a small installer that drives QXINST.dll through qxinst.nsh, in the order an install
; of the Qorvex suite calls it, and writes what each call gave to $INSTDIR\sample.log.
;
;   makensis -DQXINST_DLL=path\to\QXINST.dll [-DQXINST_SERVICE=path\to\service.exe]
;            [-DQXINST_TARGET=x86-unicode|x86-ansi|amd64-unicode] [-DOUTFILE=setup.exe] sample.nsi
;
; QXINST_DLL is the 32-bit DLL for the x86 targets and the 64-bit one for amd64-unicode. With
; QXINST_SERVICE, a service program is installed as "Tavrin", started, probed, stopped and removed
; again (it must run as a service and stop when asked). Run it silently with /S /D=<folder>: the
; DLL then leaves its message boxes out (${QXSetUnattended}), so that nothing waits for a person;
; /S /BOXES /D=<folder> keeps them. Two calls fail on purpose, each with a box: a Decrypt of a file
; that is no engine, and a GetScriptVars of the missing engine C:\missing\engine.kix.
;
; The installer makes its own input files in the install folder: a login script (scrambled into
; engine.kix), Manager\qxmgr.ini and settings.ini. It leaves there the files the DLL wrote:
; engine.kix, engine-decoded.txt, engine-changed.txt, not-an-engine.txt, REPL.BAT, and the two
; manager files as rewritten. In the log, carriage returns and line feeds inside texts show as \r
; and \n.

!ifdef QXINST_TARGET
    Target ${QXINST_TARGET}
!endif
!ifndef QXINST_DLL
    !error "give the DLL to carry: makensis -DQXINST_DLL=path\to\QXINST.dll sample.nsi"
!endif
!ifndef OUTFILE
    !define OUTFILE "qxinst-sample.exe"
!endif

!include "qxinst.nsh"
!include "FileFunc.nsh"

!define PBM_GETRANGE_ 0x0407  ; WM_USER + 7
!define PBM_GETPOS_ 0x0408  ; WM_USER + 8
!define IDC_PROGRESS_TEXT 1009
!define IDC_PROGRESS_BAR 1004
!define SERVICE_KEY QxSampleTavrin

Name "QXINST sample"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Qorvex"
RequestExecutionLevel admin
ShowInstDetails show

Page directory
Page instfiles

Var Log
Var Result
Var Text1
Var Text2
Var Text3
Var Text4
Var Text5
Var Text6
Var Value

; ${Log} TEXT: one line of the log, shown in the details too.
!macro Log TEXT
    FileWrite $Log "${TEXT}$\r$\n"
    DetailPrint "${TEXT}"
!macroend
!define Log `!insertmacro Log`

; ${Escaped} VAR: CR and LF in VAR become \r and \n.
!macro Escaped VAR
    Push "${VAR}"
    Call Escape
    Pop ${VAR}
!macroend
!define Escaped `!insertmacro Escaped`

Function Escape
    Exch $0
    Push $1
    Push $2
    Push $3
    StrCpy $1 ""
    StrCpy $3 0
    ${Do}
        StrCpy $2 $0 1 $3
        ${If} $2 == ""
            ${Break}
        ${ElseIf} $2 == "$\r"
            StrCpy $1 "$1\r"
        ${ElseIf} $2 == "$\n"
            StrCpy $1 "$1\n"
        ${Else}
            StrCpy $1 "$1$2"
        ${EndIf}
        IntOp $3 $3 + 1
    ${Loop}
    StrCpy $0 $1
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; Logs the six texts of a variable export, after the export's name and result.
!macro LogTexts CALL
    ${Escaped} $Text1
    ${Escaped} $Text2
    ${Escaped} $Text3
    ${Escaped} $Text4
    ${Escaped} $Text5
    ${Escaped} $Text6
    ${Log} "${CALL} | $Text1 | $Text2 | $Text3 | $Text4 | $Text5 | $Text6"
!macroend

; Logs what the "Installing Services" window shows: label, bar range and position.
Function LogProgressWindow
    Push $0
    Push $1
    Push $2
    Push $3
    Push $4
    FindWindow $0 "#32770" "Installing Services"
    ${If} $0 == 0
        ${Log} "window: none"
    ${Else}
        GetDlgItem $1 $0 ${IDC_PROGRESS_TEXT}
        System::Call `user32::GetWindowText(p r1, t .r2, i ${NSIS_MAX_STRLEN})`
        GetDlgItem $1 $0 ${IDC_PROGRESS_BAR}
        SendMessage $1 ${PBM_GETRANGE_} 1 0 $3
        SendMessage $1 ${PBM_GETRANGE_} 0 0 $4
        SendMessage $1 ${PBM_GETPOS_} 0 0 $1
        ${Log} "window: $\"$2$\" range $3..$4 position $1"
    ${EndIf}
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; Whether QXINST.dll is loaded in the installer's process.
Function LogLoaded
    Push $0
    System::Call `kernel32::GetModuleHandle(t "QXINST.dll") p .r0`
    ${If} $0 == 0
        ${Log} "QXINST.dll loaded: 0"
    ${Else}
        ${Log} "QXINST.dll loaded: 1"
    ${EndIf}
    Pop $0
FunctionEnd

Function MakeInputFiles
    Push $0
    FileOpen $0 "$INSTDIR\login-script.txt" w
    FileWrite $0 "; Qorvex login script, made by the sample installer$\n"
    FileWrite $0 "$$EngineVersion='4.1'$\n"
    FileWrite $0 "$$Server='PDC01'$\n"
    FileWrite $0 "$$Share='NETLOGON'$\n"
    FileWrite $0 "$$Logs='\\PDC01\QXLOGS$$'$\n"
    FileWrite $0 "? $\"Qorvex login script on $\" + @WKSTA$\n"
    FileClose $0
    CreateDirectory "$INSTDIR\Manager"
    FileOpen $0 "$INSTDIR\Manager\qxmgr.ini" w
    FileWrite $0 "; Qorvex manager settings$\r$\n"
    FileWrite $0 "[View]$\r$\n"
    FileWrite $0 "Columns=5$\r$\n"
    FileWrite $0 "[File Locations]$\r$\n"
    FileWrite $0 "Users=U:\Qorvex\Users$\r$\n"
    FileClose $0
    FileOpen $0 "$INSTDIR\settings.ini" w
    FileWrite $0 "[File Locations]$\n"
    FileWrite $0 "Scripts=\\PDC01\NETLOGON$\n"
    FileWrite $0 "Editor=NOTEPAD.EXE$\n"
    FileClose $0
    Pop $0
FunctionEnd

; What the host itself sees of the machine, to compare the DLL's answers with.
Function LogMachine
    Push $0
    Push $1
    Push $2
    System::Call `kernel32::GetComputerName(t .r0, *i ${NSIS_MAX_STRLEN})`
    System::Call `kernel32::GetSystemDefaultLangID() i .r1`
    IntFmt $1 "0x%04X" $1
    ReadRegStr $2 HKLM "SYSTEM\CurrentControlSet\Control\ProductOptions" "ProductType"
    ${Log} "host: computer $0, language $1, product type $2"
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR"
    FileOpen $Log "$INSTDIR\sample.log" w
    Call LogMachine
    ; the DLL is loaded at its first use, here by the header
    Call LogLoaded
    ${QXINST_Extract} "${QXINST_DLL}"
    ${If} ${Errors}
        ${Log} "QXINST.dll cannot be loaded"
        FileClose $Log
        Abort
    ${EndIf}
    ${QXSetBuffer}
    Call LogLoaded
    ; in a silent install no message box of the DLL may wait for a person, unless /BOXES asks
    ${If} ${Silent}
        ${GetParameters} $Text1
        ClearErrors
        ${GetOptions} $Text1 "/BOXES" $Text2
        ${If} ${Errors}
            ${QXSetUnattended} 1
        ${EndIf}
    ${EndIf}
    Call MakeInputFiles

    ; progress window opened and labelled
    ${QXSPOpen}
    ${QXSPSetRange} 0 100000
    ${QXSPSetText} "Installing Qorvex: the login script engine"
    ${QXSPSetPos} 10000
    Call LogProgressWindow

    ; engine made, decoded, a variable changed and read back; the last Decrypt is given a file
    ; that is no engine and GetScriptVars a missing engine, each failing with a message box
    ${QXEncrypt} "$INSTDIR\login-script.txt" "$INSTDIR\engine.kix" 41 $Result
    ${Log} "Encrypt = $Result"
    ${QXGetEngineVersion} "$INSTDIR\engine.kix" $Result
    ${Log} "GetEngineVersion = $Result"
    ${QXDecrypt} "$INSTDIR\engine.kix" "$INSTDIR\engine-decoded.txt" $Result
    ${Log} "Decrypt = $Result"
    StrCpy $Text1 "$$server"
    StrCpy $Text2 "$$EngineVersion"
    StrCpy $Text3 "$$NotThere"
    StrCpy $Text4 ""
    StrCpy $Text5 ""
    StrCpy $Text6 ""
    ${QXGetScriptVars} "$INSTDIR\engine.kix" $Text1 $Text2 $Text3 $Text4 $Text5 $Text6 $Result
    !insertmacro LogTexts "GetScriptVars = $Result"
    ${QXSetScriptVars} "$INSTDIR\engine.kix" "$$Server='BDC02'" "$$Backup='BDC03'" "" "" "" ""
    StrCpy $Text1 "$$Server"
    StrCpy $Text2 "$$Backup"
    StrCpy $Text3 ""
    ${QXGetScriptVars} "$INSTDIR\engine.kix" $Text1 $Text2 $Text3 $Text4 $Text5 $Text6 $Result
    ${QXINST_Value} $Text1 $Value
    !insertmacro LogTexts "GetScriptVars = $Result"
    ${Log} "value of $$Server: $Value"
    ${QXDecrypt} "$INSTDIR\engine.kix" "$INSTDIR\engine-changed.txt" $Result
    ${Log} "Decrypt = $Result"
    ${QXDecrypt} "$INSTDIR\login-script.txt" "$INSTDIR\not-an-engine.txt" $Result
    ${Log} "Decrypt = $Result"
    ${QXGetEngineVersion} "$INSTDIR\login-script.txt" $Result
    ${Log} "GetEngineVersion = $Result"
    StrCpy $Text1 "$$Server"
    StrCpy $Text2 ""
    ${QXGetScriptVars} "C:\missing\engine.kix" $Text1 $Text2 $Text3 $Text4 $Text5 $Text6 $Result
    !insertmacro LogTexts "GetScriptVars = $Result"
    ${QXSPSetPos} 30000

    ; manager configuration and replication files written
    ${QXSPSetText} "Installing Qorvex: manager configuration"
    ${QXMakeManagerINI} "$INSTDIR\Manager\" "QXscripts$$" "D:\Qorvex\Logs" "notepad.exe" $Result
    ${Log} "MakeManagerINI = $Result"
    ${QXMakeReplBat} "$INSTDIR\REPL.BAT" "PDC01,BDC01,BDC02" $Result
    ${Log} "MakeReplBat = $Result"
    ${QXSPSetPos} 45000
    Call LogProgressWindow

    ; manager variables read back and changed
    StrCpy $Text1 "Scripts"
    StrCpy $Text2 "logs"
    StrCpy $Text3 "Users"
    StrCpy $Text4 "Missing"
    StrCpy $Text5 ""
    ${QXGetManagerVars} "$INSTDIR\Manager\qxmgr.ini" $Text1 $Text2 $Text3 $Text4 $Text5 $Text6
    !insertmacro LogTexts "GetManagerVars"
    ${QXSetManagerVars} "$INSTDIR\settings.ini" "Scripts=\\BDC02\NETLOGON" "Replication=1" "" "" ""
    StrCpy $Text1 "scripts"
    StrCpy $Text2 "replication"
    StrCpy $Text3 ""
    StrCpy $Text4 ""
    ${QXGetManagerVars} "$INSTDIR\settings.ini" $Text1 $Text2 $Text3 $Text4 $Text5 $Text6
    !insertmacro LogTexts "GetManagerVars"
    ${QXSPSetPos} 55000

!ifdef QXINST_SERVICE
    ; service installed, started, probed, stopped and removed
    ${QXSPSetText} "Installing Qorvex: services"
    File "/oname=$INSTDIR\qxservice.exe" "${QXINST_SERVICE}"
    ${QXInstallService} "" "${SERVICE_KEY}" "Tavrin" "$\"$INSTDIR\qxservice.exe$\" pending=2 step=200 hint=300" \
        "<none>" "<none>" $Result
    ${Log} "InstallService = $Result"
    ${QXROVoruzInstalled} "" $Result
    ${Log} "ROVoruzInstalled = $Result"
    ${QXStartServiceWait} "" "${SERVICE_KEY}" "Tavrin" $Result
    ${Log} "StartServiceWait = $Result"
    ${QXROVoruzInstalled} "" $Result
    ${Log} "ROVoruzInstalled = $Result"
    ${QXKixInstalled} "" $Result
    ${Log} "KixInstalled = $Result"
    ${QXZUVadarInstalled} "" $Result
    ${Log} "ZUVadarInstalled = $Result"
    ${QXStopServiceWait} "" "${SERVICE_KEY}" "Tavrin" $Result
    ${Log} "StopServiceWait = $Result"
    ${QXROVoruzInstalled} "" $Result
    ${Log} "ROVoruzInstalled = $Result"
    ${QXRemoveService} "" "${SERVICE_KEY}" "Tavrin" $Result
    ${Log} "RemoveService = $Result"
    ${QXROVoruzInstalled} "" $Result
    ${Log} "ROVoruzInstalled = $Result"
!endif
    ${QXSPSetPos} 85000

    ; shares: a share's folder, the part of a UNC name behind its server, the replication share
    StrCpy $Text1 "\\QXSERVER\QXSAMPLE\Logon"
    ${QXGetSharePath} $Text1 $Text2 $Result
    ${Log} "GetSharePath = $Result | $Text1 | $Text2"
    StrCpy $Text1 "\\QXSERVER\NETLOGON"
    ${QXGetSharePathRemote} "" $Text1 $Text2 $Result
    ${Log} "GetSharePathRemote = $Result | $Text1 | $Text2"
    ${QXFindRepl} $Text1 $Result
    ${Log} "FindRepl = $Result | $Text1"
    ${QXSetSharePermissions} "QXSAMPLE" 3 "" "qxservice" "qxoperators" $Result
    ${Log} "SetSharePermissions = $Result"

    ; language, domain role and controllers
    ${QXGetSystemLanguage} $Result
    ${Log} "GetSystemLanguage = $Result"
    ${QXIsDomainController} $Result
    ${Log} "IsDomainController = $Result"
    ${QXEnumServers} 0 $Text1 $Result
    ${Log} "EnumServers 0 = $Result | $Text1"
    ${QXEnumServers} 1 $Text1 $Result
    ${Log} "EnumServers 1 = $Result | $Text1"

    ; progress window closed
    ${QXSPSetText} "Installing Qorvex: done"
    ${QXSPSetPos} 100000
    Call LogProgressWindow
    ${QXSPClose}
    Call LogProgressWindow
    FileClose $Log
SectionEnd
