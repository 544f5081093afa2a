/*
 * qxinst.h - the exports of QXINST.dll, the setup actions of the Qorvex login-script suite.
 *
 * Every export is a plain cdecl function, looked up by its undecorated name. Strings are
 * null-terminated 8-bit ANSI texts in buffers the caller owns; the library never hands out
 * memory to free. Results are a one-byte boolean (QXBOOL: only the low byte is defined, 1 or 0),
 * a 32-bit int, or nothing. Buffer sizes below are those a host must provide.
 */
#ifndef QXINST_H
#define QXINST_H

#ifdef _WIN32
#define QXAPI __cdecl
#else
#define QXAPI
#endif

typedef unsigned char QXBOOL;

#ifdef __cplusplus
extern "C" {
#endif

/* ---- settings engine: engine files, script and manager variables ---- */

/* Unscrambles engine pszSource into the plain file pszDest. 1 when done; 0 after a message box. */
QXBOOL QXAPI Decrypt(const char* pszSource, const char* pszDest);
/* Scrambles the plain file pszSource into engine pszDest with version nVersion (low 16 bits). */
QXBOOL QXAPI Encrypt(const char* pszSource, const char* pszDest, int nVersion);
/* The engine version number in pszEngine's header (26..65535), or 0. */
int QXAPI GetEngineVersion(const char* pszEngine);
/* Replaces each name buffer (in: a name; out: its whole line, up to 2,000,000 bytes + NUL). */
QXBOOL QXAPI GetScriptVars(const char* pszEngine, char* pszName1, char* pszName2, char* pszName3, char* pszName4,
                           char* pszName5, char* pszName6);
/* Stores six whole lines in the engine, replacing the lines with the same keys. */
void QXAPI SetScriptVars(const char* pszEngine, const char* pszLine1, const char* pszLine2, const char* pszLine3,
                         const char* pszLine4, const char* pszLine5, const char* pszLine6);
/* Like GetScriptVars on the manager file; pszEditor receives the Editor value (same size). */
void QXAPI GetManagerVars(const char* pszManager, char* pszName1, char* pszName2, char* pszName3, char* pszName4,
                          char* pszName5, char* pszEditor);
/* Stores five whole lines in the manager file. */
void QXAPI SetManagerVars(const char* pszManager, const char* pszLine1, const char* pszLine2, const char* pszLine3,
                          const char* pszLine4, const char* pszLine5);
/* Does nothing; any arguments are ignored. */
void QXAPI SetBuffer(void);

/* ---- manager configuration and replication ---- */

/* Sets Scripts, Logs and Editor in pszFolder\qxmgr.ini. 1 when the file was written. */
QXBOOL QXAPI MakeManagerINI(const char* pszFolder, const char* pszScriptsShare, const char* pszLogs,
                            const char* pszEditor);
/* Local folder of a share (pszShare: name or UNC, cut to the share name; pszPath: 1024 bytes). 1, 2 or 3. */
int QXAPI GetSharePath(char* pszShare, char* pszPath);
/* Searches the network for a REPL$ share; pszRemoteName (256 bytes) receives its name. 1 or 0. */
int QXAPI FindRepl(char* pszRemoteName);
/* Writes the replication batch file for "PDC,BDC,..." pszServers. 1 when written. */
QXBOOL QXAPI MakeReplBat(const char* pszBatFile, const char* pszServers);

/* ---- shares and share security ---- */

/* Shares folder pszPath as pszShareName on this machine. 1 when created. */
QXBOOL QXAPI AddShare(const char* pszShareName, const char* pszPath);
/* Asks pszServer for a share's folder (pszShare may be UNC, cut in place; pszPath: 260 bytes). */
int QXAPI GetSharePathRemote(const char* pszServer, char* pszShare, char* pszPath);
/* Gives an account (mode 0/1: pszAccount, 2: pszAltAccount) full access to a share. */
QXBOOL QXAPI SetSharePermissions(const char* pszShare, int nMode, const char* pszServer, const char* pszAltAccount,
                                 const char* pszAccount);

/* ---- services ---- */

/* Starts a service and waits until it runs. 1 or 0. */
int QXAPI StartServiceWait(const char* pszMachine, const char* pszName, const char* pszDisplayName);
/* Stops a service and waits until it has stopped. 1 or 0. */
int QXAPI StopServiceWait(const char* pszMachine, const char* pszName, const char* pszDisplayName);
/* Installs an auto-start service ("<none>" for no account or password). 1 when it exists after. */
int QXAPI InstallService(const char* pszMachine, const char* pszName, const char* pszDisplayName,
                         const char* pszBinaryPath, const char* pszAccount, const char* pszPassword);
/* Deletes a service, then pauses 5 seconds. 1 when it is gone or going. */
int QXAPI RemoveService(const char* pszMachine, const char* pszName, const char* pszDisplayName);
/* 1 when "kixtart rpc service" is running, starting or paused on pszMachine. */
int QXAPI KixInstalled(const char* pszMachine);
/* 1 when "Qorvex RPC Service" is running, starting or paused on pszMachine. */
int QXAPI ZUVadarInstalled(const char* pszMachine);
/* 1 when "Tavrin" is running, starting or paused on pszMachine. */
int QXAPI ROVoruzInstalled(const char* pszMachine);

/* ---- domain and servers ---- */

/* 1 domain controller, 2 server, 3 workstation, 0 unknown. */
int QXAPI IsDomainController(void);
/* Controller number nIndex into pszServer (260 bytes): 1 written, 2 skip (this machine), 0 end. */
int QXAPI EnumServers(char* pszServer, unsigned int nIndex);
/* 1 English, 2 German, 3 Spanish, 4 French, 0 other. */
int QXAPI GetSystemLanguage(void);
/* Lets the user pick or type a controller into pszServer (260 bytes). 1 on OK, 0 otherwise. */
QXBOOL QXAPI SelectServer(char* pszServer);

/* ---- progress window and folder picker ---- */

/* Opens the "Installing Services" progress window (once). */
void QXAPI SPOpen(void);
/* Closes it. */
void QXAPI SPClose(void);
/* Sets its bar's range (full 32-bit bounds). */
void QXAPI SPSetRange(int nLower, int nUpper);
/* Sets its bar's position. */
void QXAPI SPSetPos(int nPos);
/* Sets its label (NULL empties it). */
void QXAPI SPSetText(const char* pszText);
/* Lets the user pick a folder; pszUNC (260 bytes) receives its path. 1 chosen, 0 cancelled. */
int QXAPI GetUNC(char* pszUNC);

/* ---- unattended mode ---- */

/* nUnattended 1: every message box is left out from now on (the export goes on as after OK, with
 * the same result and reason line); 0: boxes are shown again. Off when the DLL is loaded. */
void QXAPI SetUnattended(int nUnattended);

#ifdef __cplusplus
}
#endif

#endif /* QXINST_H */
