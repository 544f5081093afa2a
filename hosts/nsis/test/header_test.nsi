; Every macro of qxinst.nsh, without a DLL and then against fake_qxinst.cpp; header-test.log and the stand-in's
; qxinst-calls.txt are compared with header-expected/ (makensis -DFAKE_DLL=... -DOUTFILE=...).
!ifdef QXINST_TARGET
    Target ${QXINST_TARGET}
!endif
!addincludedir ".."  ; makensis works in the script's folder
!include "qxinst.nsh"
!include WordFunc.nsh
Name "qxinst.nsh test"
OutFile "${OUTFILE}"
InstallDir "$TEMP\qxinst-nsh-test"
RequestExecutionLevel user
SilentInstall silent
Var Log
Var Result
Var A
Var B
Var C
Var D
Var E
Var F
Var Flag
Var Length

!macro Log TEXT
    FileWrite $Log "${TEXT}$\r$\n"
!macroend
!define Log `!insertmacro Log`

!macro Flag
    StrCpy $Flag ""
    IfErrors 0 +2
    StrCpy $Flag " (error flag)"
!macroend

!macro LogResult TEXT
    !insertmacro Flag
    ${Log} "${TEXT}$Flag"
!macroend
!define LogResult `!insertmacro LogResult`

; A long text as its first characters and its length; CR as \r.
!macro Shown VAR
    StrLen $Length ${VAR}
    ${If} $Length > 32
        StrCpy ${VAR} "${VAR}" 8
        StrCpy ${VAR} "${VAR}...($Length)"
    ${EndIf}
    ${WordReplace} ${VAR} "$\r" "\r" "+" ${VAR}
!macroend

!macro Try CALL ARGS
    !insertmacro QXINST_${CALL} ${ARGS} $Result
    ${LogResult} "${CALL} = $Result"
!macroend

!macro TryBuffer CALL ARGS SHOWN LABEL TEXT
    !insertmacro QXINST_${CALL} ${ARGS} $Result
    !insertmacro Shown ${SHOWN}
    ${LogResult} "${LABEL} = $Result | ${TEXT}"
!macroend

!macro LogTexts CALL
    !insertmacro Flag
    !insertmacro Shown $A
    !insertmacro Shown $B
    !insertmacro Shown $C
    !insertmacro Shown $D
    !insertmacro Shown $E
    !insertmacro Shown $F
    ${Log} "${CALL} | $A | $B | $C | $D | $E | $F$Flag"
!macroend

!macro SetNames N1 N2 N3 N4 N5 N6
    StrCpy $A "${N1}"
    StrCpy $B "${N2}"
    StrCpy $C "${N3}"
    StrCpy $D "${N4}"
    StrCpy $E "${N5}"
    StrCpy $F "${N6}"
!macroend

Section
    SetOutPath "$INSTDIR"
    FileOpen $Log "$INSTDIR\header-test.log" w
    ; What the macros must keep: the registers and the stack.
    StrCpy $0 "r0"
    StrCpy $5 "r5"
    StrCpy $9 "r9"
    StrCpy $R0 "R0"
    StrCpy $R9 "R9"
    Push "stack bottom"

    ; ---- no DLL: every result "error", with the error flag; buffers unchanged ----
    ${QXINST_Init} "$INSTDIR\nowhere"
    ${LogResult} "Init without a DLL"
    !insertmacro Try GetEngineVersion `"engine.kix"`
    !insertmacro SetNames "$$Server" "" "" "" "" ""
    ${QXGetScriptVars} "engine.kix" $A $B $C $D $E $F $Result
    !insertmacro LogTexts "GetScriptVars = $Result"

    ; ---- the stand-in DLL ----
    ${QXINST_Extract} "${FAKE_DLL}"
    ${LogResult} "Extract"
    ${QXSetBuffer}
    !insertmacro Try Decrypt `"bad.kix" "plain.txt"`
    !insertmacro Try Encrypt `"plain.txt" "engine.kix" 0x10029`
    !insertmacro Try GetEngineVersion `"engine.kix"`
    !insertmacro SetNames "$$Server" "" "$$a b" "$$EngineVersion" "$$Backup='x'" "$$Long"
    ${QXGetScriptVars} "engine.kix" $A $B $C $D $E $F $Result
    !insertmacro LogTexts "GetScriptVars = $Result"
    ${QXSetScriptVars} "engine.kix" "$$Server='BDC02'" "" "$$Backup='BDC03'" "l4" "l5" "l6"
    !insertmacro SetNames "Scripts" "Logs" "" "Users" "$$Long" "not an input"
    ${QXGetManagerVars} "qxmgr.ini" $A $B $C $D $E $F
    !insertmacro LogTexts GetManagerVars
    ${QXSetManagerVars} "settings.ini" "Scripts=\\BDC02\NETLOGON" "m2" "m3" "" "m5"
    !insertmacro Try MakeManagerINI `"Manager\" "QXscripts$$" "D:\Logs" "notepad.exe"`
    StrCpy $A "\\QXSERVER\SCRIPTS\Logon"
    !insertmacro TryBuffer GetSharePath `$A $B` $B GetSharePath `$A | $B`
    !insertmacro TryBuffer FindRepl $A $A FindRepl $A
    !insertmacro Try MakeReplBat `"REPL.BAT" "PDC01,BDC01"`
    !insertmacro Try AddShare `"QXSHARE" "C:\Qorvex"`
    StrCpy $A "\\QXSERVER\NETLOGON"
    !insertmacro TryBuffer GetSharePathRemote `"QXSERVER" $A $B` $B GetSharePathRemote `$A | $B`
    !insertmacro Try SetSharePermissions `"SCRIPTS" 2 "QXSERVER" "alternative" "account"`
    !insertmacro Try InstallService `"" "QxKey" "Qx Display" "" "<none>" "<none>"`  ; the host's own program
    !insertmacro Try StartServiceWait `"m1" "QxKey" "Qx Display"`
    !insertmacro Try StopServiceWait `"m2" "QxKey" "Qx Display"`
    !insertmacro Try RemoveService `"m3" "QxKey" "Qx Display"`
    !insertmacro Try KixInstalled `"k"`
    !insertmacro Try ZUVadarInstalled `"z"`
    !insertmacro Try ROVoruzInstalled `"r"`
    !insertmacro Try IsDomainController ``
    !insertmacro TryBuffer EnumServers `7 $A` $A `EnumServers 7` $A
    !insertmacro Try GetSystemLanguage ``
    !insertmacro TryBuffer SelectServer $A $A SelectServer $A
    ${QXSPOpen}
    ${QXSPSetRange} -5 2147483647
    ${QXSPSetPos} -1
    ${QXSPSetText} "Installing: step 1"
    ${QXSPSetText} ""
    ${QXSPClose}
    !insertmacro TryBuffer GetUNC $A $A GetUNC $A
    ${QXSetUnattended} 1
    ${QXINST_Value} "$$Server='PDC01'$\r" $A
    ${QXINST_Value} "Editor=notepad.exe" $B
    ${QXINST_Value} "$$NotThere" $C
    ${QXINST_Value} "$$x='" $D
    StrCpy $E `$$y="a=b"$\r`
    ${QXINST_Value} $E $E
    ${QXINST_Value} "$$z=$\r" $F
    ${Log} "Value: $A | $B | $C | $D | $E | $F"

    Pop $A
    ClearErrors
    Pop $B
    ${LogResult} "stack: $A, then $B"
    ${Log} "registers: $0 $5 $9 $R0 $R9"
    FileClose $Log
SectionEnd
