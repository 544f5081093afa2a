// A stand-in QXINST.dll for the NSIS header's test: the exports under their names, each
// writing the arguments it received to qxinst-calls.txt in the current folder, filling its buffers
// with known texts (some as long as the real exports may write) and returning known results. The
// one-byte results come back in a register whose upper bytes are not zero, as a compiler may leave
// them, so that a host reading more than the low byte is seen.
#include <cstdio>
#include <initializer_list>
#include <string>

#define FAKE_EXPORT extern "C" __declspec(dllexport)

namespace {

// The low byte is the result; the rest is what a host must not read.
constexpr int kBoolTrue = 0x5A5A5A01;
constexpr int kBoolFalse = 0x5A5A5A00;
constexpr size_t kLongLine = 2000000;  // an engine line as long as the real export may write

std::string Text(const char* psz) { return psz == nullptr ? "null" : "\"" + std::string(psz) + "\""; }

void Journal(const char* pszExport, std::initializer_list<std::string> args)
{
    std::string strLine = pszExport;
    strLine += "(";
    const char* pszSeparator = "";
    for (const std::string& strArg : args) {
        strLine += pszSeparator + strArg;
        pszSeparator = ", ";
    }
    strLine += ")\n";
    if (FILE* pFile = std::fopen("qxinst-calls.txt", "ab")) {
        std::fwrite(strLine.data(), 1, strLine.size(), pFile);
        std::fclose(pFile);
    }
}

// A variable's line for a name: the name with "=<n>" and a carriage return; $Long gives a line of
// kLongLine bytes; an empty name stays empty.
void AnswerName(char* pszName, int n)
{
    std::string strName = pszName;
    if (strName.empty())
        return;
    std::string strLine = strName == "$Long" ? std::string(kLongLine, 'L') : strName + "=" + std::to_string(n) + "\r";
    strLine.copy(pszName, strLine.size());
    pszName[strLine.size()] = '\0';
}

void Put(char* pszBuffer, const std::string& strText)
{
    strText.copy(pszBuffer, strText.size());
    pszBuffer[strText.size()] = '\0';
}

}  // namespace

FAKE_EXPORT int Decrypt(const char* pszSource, const char* pszDest)
{
    Journal("Decrypt", {Text(pszSource), Text(pszDest)});
    return std::string(pszSource) == "bad.kix" ? kBoolFalse : kBoolTrue;
}

FAKE_EXPORT int Encrypt(const char* pszSource, const char* pszDest, int nVersion)
{
    Journal("Encrypt", {Text(pszSource), Text(pszDest), std::to_string(nVersion)});
    return kBoolTrue;
}

FAKE_EXPORT int GetEngineVersion(const char* pszEngine)
{
    Journal("GetEngineVersion", {Text(pszEngine)});
    return 65535;
}

FAKE_EXPORT int GetScriptVars(const char* pszEngine, char* pszName1, char* pszName2, char* pszName3, char* pszName4,
                              char* pszName5, char* pszName6)
{
    Journal("GetScriptVars", {Text(pszEngine), Text(pszName1), Text(pszName2), Text(pszName3), Text(pszName4),
                              Text(pszName5), Text(pszName6)});
    int n = 1;
    for (char* pszName : {pszName1, pszName2, pszName3, pszName4, pszName5, pszName6})
        AnswerName(pszName, n++);
    return kBoolTrue;
}

FAKE_EXPORT void SetScriptVars(const char* pszEngine, const char* pszLine1, const char* pszLine2, const char* pszLine3,
                               const char* pszLine4, const char* pszLine5, const char* pszLine6)
{
    Journal("SetScriptVars", {Text(pszEngine), Text(pszLine1), Text(pszLine2), Text(pszLine3), Text(pszLine4),
                              Text(pszLine5), Text(pszLine6)});
}

FAKE_EXPORT void GetManagerVars(const char* pszManager, char* pszName1, char* pszName2, char* pszName3, char* pszName4,
                                char* pszName5, char* pszEditor)
{
    Journal("GetManagerVars", {Text(pszManager), Text(pszName1), Text(pszName2), Text(pszName3), Text(pszName4),
                               Text(pszName5), Text(pszEditor)});
    int n = 1;
    for (char* pszName : {pszName1, pszName2, pszName3, pszName4, pszName5})
        AnswerName(pszName, n++);
    Put(pszEditor, "EDITOR.EXE");
}

FAKE_EXPORT void SetManagerVars(const char* pszManager, const char* pszLine1, const char* pszLine2,
                                const char* pszLine3, const char* pszLine4, const char* pszLine5)
{
    Journal("SetManagerVars",
            {Text(pszManager), Text(pszLine1), Text(pszLine2), Text(pszLine3), Text(pszLine4), Text(pszLine5)});
}

FAKE_EXPORT void SetBuffer() { Journal("SetBuffer", {}); }

FAKE_EXPORT int MakeManagerINI(const char* pszFolder, const char* pszScriptsShare, const char* pszLogs,
                               const char* pszEditor)
{
    Journal("MakeManagerINI", {Text(pszFolder), Text(pszScriptsShare), Text(pszLogs), Text(pszEditor)});
    return kBoolTrue;
}

// The share cut to its name, and a path of 1023 characters: the whole 1024-byte buffer.
FAKE_EXPORT int GetSharePath(char* pszShare, char* pszPath)
{
    Journal("GetSharePath", {Text(pszShare), Text(pszPath)});
    Put(pszShare, "SCRIPTS");
    Put(pszPath, "C:\\" + std::string(1020, 'P'));
    return 3;
}

FAKE_EXPORT int FindRepl(char* pszRemoteName)
{
    Journal("FindRepl", {Text(pszRemoteName)});
    Put(pszRemoteName, "\\\\PDC01\\REPL$\\" + std::string(240, 'R'));  // 254 characters
    return 1;
}

FAKE_EXPORT int MakeReplBat(const char* pszBatFile, const char* pszServers)
{
    Journal("MakeReplBat", {Text(pszBatFile), Text(pszServers)});
    return kBoolFalse;
}

FAKE_EXPORT int AddShare(const char* pszShareName, const char* pszPath)
{
    Journal("AddShare", {Text(pszShareName), Text(pszPath)});
    return kBoolTrue;
}

FAKE_EXPORT int GetSharePathRemote(const char* pszServer, char* pszShare, char* pszPath)
{
    Journal("GetSharePathRemote", {Text(pszServer), Text(pszShare), Text(pszPath)});
    Put(pszShare, "NETLOGON");
    Put(pszPath, "D:\\" + std::string(256, 'N'));  // 259 characters
    return 1;
}

FAKE_EXPORT int SetSharePermissions(const char* pszShare, int nMode, const char* pszServer, const char* pszAltAccount,
                                    const char* pszAccount)
{
    Journal("SetSharePermissions",
            {Text(pszShare), std::to_string(nMode), Text(pszServer), Text(pszAltAccount), Text(pszAccount)});
    return kBoolFalse;
}

FAKE_EXPORT int StartServiceWait(const char* pszMachine, const char* pszName, const char* pszDisplayName)
{
    Journal("StartServiceWait", {Text(pszMachine), Text(pszName), Text(pszDisplayName)});
    return 1;
}

FAKE_EXPORT int StopServiceWait(const char* pszMachine, const char* pszName, const char* pszDisplayName)
{
    Journal("StopServiceWait", {Text(pszMachine), Text(pszName), Text(pszDisplayName)});
    return 0;
}

FAKE_EXPORT int InstallService(const char* pszMachine, const char* pszName, const char* pszDisplayName,
                               const char* pszBinaryPath, const char* pszAccount, const char* pszPassword)
{
    Journal("InstallService", {Text(pszMachine), Text(pszName), Text(pszDisplayName), Text(pszBinaryPath),
                               Text(pszAccount), Text(pszPassword)});
    return 1;
}

FAKE_EXPORT int RemoveService(const char* pszMachine, const char* pszName, const char* pszDisplayName)
{
    Journal("RemoveService", {Text(pszMachine), Text(pszName), Text(pszDisplayName)});
    return 1;
}

FAKE_EXPORT int KixInstalled(const char* pszMachine)
{
    Journal("KixInstalled", {Text(pszMachine)});
    return 0;
}

FAKE_EXPORT int ZUVadarInstalled(const char* pszMachine)
{
    Journal("ZUVadarInstalled", {Text(pszMachine)});
    return 1;
}

FAKE_EXPORT int ROVoruzInstalled(const char* pszMachine)
{
    Journal("ROVoruzInstalled", {Text(pszMachine)});
    return 0;
}

FAKE_EXPORT int IsDomainController()
{
    Journal("IsDomainController", {});
    return 2;
}

FAKE_EXPORT int EnumServers(char* pszServer, unsigned int nIndex)
{
    Journal("EnumServers", {Text(pszServer), std::to_string(nIndex)});
    Put(pszServer, "BDC" + std::to_string(nIndex) + std::string(250, 'S'));
    return nIndex == 7 ? 2 : 1;
}

FAKE_EXPORT int GetSystemLanguage()
{
    Journal("GetSystemLanguage", {});
    return 4;
}

FAKE_EXPORT int SelectServer(char* pszServer)
{
    Journal("SelectServer", {Text(pszServer)});
    Put(pszServer, "BDC09");
    return kBoolTrue;
}

FAKE_EXPORT void SPOpen() { Journal("SPOpen", {}); }

FAKE_EXPORT void SPClose() { Journal("SPClose", {}); }

FAKE_EXPORT void SPSetRange(int nLower, int nUpper)
{
    Journal("SPSetRange", {std::to_string(nLower), std::to_string(nUpper)});
}

FAKE_EXPORT void SPSetPos(int nPos) { Journal("SPSetPos", {std::to_string(nPos)}); }

FAKE_EXPORT void SPSetText(const char* pszText) { Journal("SPSetText", {Text(pszText)}); }

FAKE_EXPORT int GetUNC(char* pszUNC)
{
    Journal("GetUNC", {Text(pszUNC)});
    Put(pszUNC, "\\\\PDC01\\QXscripts$\\Logon");
    return 1;
}

FAKE_EXPORT void SetUnattended(int nUnattended) { Journal("SetUnattended", {std::to_string(nUnattended)}); }
