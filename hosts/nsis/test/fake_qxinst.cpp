// A stand-in QXINST.dll for the NSIS header's test: the exports under their names, each writing the
// arguments it received to qxinst-calls.txt in the current folder, filling its buffers with known
// texts (some as long as the real exports may write) and returning known results. The one-byte
// results come back in a register whose upper bytes are not zero, as a compiler may leave them, so
// that a host reading more than the low byte is seen.
#include <cstdio>
#include <initializer_list>
#include <string>

#define FAKE_EXPORT extern "C" __declspec(dllexport)

namespace {

// The low byte is the result; the rest is what a host must not read.
constexpr int kBoolTrue = 0x5A5A5A01;
constexpr int kBoolFalse = 0x5A5A5A00;

std::string Arg(const char* psz) { return psz == nullptr ? "null" : "\"" + std::string(psz) + "\""; }
std::string Arg(long long n) { return std::to_string(n); }

// Writes "Export(arguments...)" to the journal and gives back nResult.
template <class... T> int Answer(int nResult, const char* pszExport, T... args)
{
    std::string strLine = std::string(pszExport) + "(";
    const char* pszSeparator = "";
    for (const std::string& strArg : std::initializer_list<std::string> {Arg(args)...}) {
        strLine += pszSeparator + strArg;
        pszSeparator = ", ";
    }
    strLine += ")\n";
    if (FILE* pFile = std::fopen("qxinst-calls.txt", "ab")) {
        std::fwrite(strLine.data(), 1, strLine.size(), pFile);
        std::fclose(pFile);
    }
    return nResult;
}

void Put(char* pszBuffer, const std::string& strText)
{
    strText.copy(pszBuffer, strText.size());
    pszBuffer[strText.size()] = '\0';
}

// A variable's line for each name: the name with "=<n>" and a carriage return; $Long gives a line as
// long as an engine line the real exports may write; an empty name stays empty.
void AnswerNames(std::initializer_list<char*> names)
{
    int n = 1;
    for (char* pszName : names) {
        std::string strName = pszName;
        if (!strName.empty())
            Put(pszName, strName == "$Long" ? std::string(2000000, 'L') : strName + "=" + std::to_string(n) + "\r");
        ++n;
    }
}

}  // namespace

FAKE_EXPORT int Decrypt(const char* pszSource, const char* pszDest)
{
    return Answer(std::string(pszSource) == "bad.kix" ? kBoolFalse : kBoolTrue, __func__, pszSource, pszDest);
}
FAKE_EXPORT int Encrypt(const char* pszSource, const char* pszDest, int n)
{
    return Answer(kBoolTrue, __func__, pszSource, pszDest, n);
}
FAKE_EXPORT int GetEngineVersion(const char* pszEngine) { return Answer(65535, __func__, pszEngine); }
FAKE_EXPORT int GetScriptVars(const char* pszEngine, char* psz1, char* psz2, char* psz3, char* psz4, char* psz5,
                              char* psz6)
{
    Answer(0, __func__, pszEngine, psz1, psz2, psz3, psz4, psz5, psz6);
    AnswerNames({psz1, psz2, psz3, psz4, psz5, psz6});
    return kBoolTrue;
}
FAKE_EXPORT void SetScriptVars(const char* pszEngine, const char* psz1, const char* psz2, const char* psz3,
                               const char* psz4, const char* psz5, const char* psz6)
{
    Answer(0, __func__, pszEngine, psz1, psz2, psz3, psz4, psz5, psz6);
}
FAKE_EXPORT void GetManagerVars(const char* pszManager, char* psz1, char* psz2, char* psz3, char* psz4, char* psz5,
                                char* pszEditor)
{
    Answer(0, __func__, pszManager, psz1, psz2, psz3, psz4, psz5, pszEditor);
    AnswerNames({psz1, psz2, psz3, psz4, psz5});
    Put(pszEditor, "EDITOR.EXE");
}
FAKE_EXPORT void SetManagerVars(const char* pszManager, const char* psz1, const char* psz2, const char* psz3,
                                const char* psz4, const char* psz5)
{
    Answer(0, __func__, pszManager, psz1, psz2, psz3, psz4, psz5);
}
FAKE_EXPORT void SetBuffer() { Answer(0, __func__); }
FAKE_EXPORT int MakeManagerINI(const char* pszFolder, const char* pszShare, const char* pszLogs, const char* pszEditor)
{
    return Answer(kBoolTrue, __func__, pszFolder, pszShare, pszLogs, pszEditor);
}
// The share cut to its name, and a path of 1023 characters: the whole 1024-byte buffer.
FAKE_EXPORT int GetSharePath(char* pszShare, char* pszPath)
{
    Answer(0, __func__, pszShare, pszPath);
    Put(pszShare, "SCRIPTS");
    Put(pszPath, "C:\\" + std::string(1020, 'P'));
    return 3;
}
FAKE_EXPORT int FindRepl(char* pszRemoteName)
{
    Answer(0, __func__, pszRemoteName);
    Put(pszRemoteName, "\\\\PDC01\\REPL$\\" + std::string(240, 'R'));  // 254 characters
    return 1;
}
FAKE_EXPORT int MakeReplBat(const char* pszBat, const char* pszServers)
{
    return Answer(kBoolFalse, __func__, pszBat, pszServers);
}
FAKE_EXPORT int AddShare(const char* pszName, const char* pszPath)
{
    return Answer(kBoolTrue, __func__, pszName, pszPath);
}
FAKE_EXPORT int GetSharePathRemote(const char* pszServer, char* pszShare, char* pszPath)
{
    Answer(0, __func__, pszServer, pszShare, pszPath);
    Put(pszShare, "NETLOGON");
    Put(pszPath, "D:\\" + std::string(256, 'N'));  // 259 characters
    return 1;
}
FAKE_EXPORT int SetSharePermissions(const char* pszShare, int nMode, const char* pszServer, const char* pszAlt,
                                    const char* pszAccount)
{
    return Answer(kBoolFalse, __func__, pszShare, nMode, pszServer, pszAlt, pszAccount);
}
FAKE_EXPORT int StartServiceWait(const char* pszMachine, const char* pszName, const char* pszDisplay)
{
    return Answer(1, __func__, pszMachine, pszName, pszDisplay);
}
FAKE_EXPORT int StopServiceWait(const char* pszMachine, const char* pszName, const char* pszDisplay)
{
    return Answer(0, __func__, pszMachine, pszName, pszDisplay);
}
FAKE_EXPORT int InstallService(const char* pszMachine, const char* pszName, const char* pszDisplay,
                               const char* pszBinary, const char* pszAccount, const char* pszPassword)
{
    return Answer(1, __func__, pszMachine, pszName, pszDisplay, pszBinary, pszAccount, pszPassword);
}
FAKE_EXPORT int RemoveService(const char* pszMachine, const char* pszName, const char* pszDisplay)
{
    return Answer(1, __func__, pszMachine, pszName, pszDisplay);
}
FAKE_EXPORT int KixInstalled(const char* pszMachine) { return Answer(0, __func__, pszMachine); }
FAKE_EXPORT int ZUVadarInstalled(const char* pszMachine) { return Answer(1, __func__, pszMachine); }
FAKE_EXPORT int ROVoruzInstalled(const char* pszMachine) { return Answer(0, __func__, pszMachine); }
FAKE_EXPORT int IsDomainController() { return Answer(2, __func__); }
FAKE_EXPORT int EnumServers(char* pszServer, unsigned int nIndex)
{
    Answer(0, __func__, pszServer, nIndex);
    Put(pszServer, "BDC" + std::to_string(nIndex) + std::string(250, 'S'));
    return nIndex == 7 ? 2 : 1;
}
FAKE_EXPORT int GetSystemLanguage() { return Answer(4, __func__); }
FAKE_EXPORT int SelectServer(char* pszServer)
{
    Answer(0, __func__, pszServer);
    Put(pszServer, "BDC09");
    return kBoolTrue;
}
FAKE_EXPORT void SPOpen() { Answer(0, __func__); }
FAKE_EXPORT void SPClose() { Answer(0, __func__); }
FAKE_EXPORT void SPSetRange(int nLower, int nUpper) { Answer(0, __func__, nLower, nUpper); }
FAKE_EXPORT void SPSetPos(int nPos) { Answer(0, __func__, nPos); }
FAKE_EXPORT void SPSetText(const char* pszText) { Answer(0, __func__, pszText); }
FAKE_EXPORT int GetUNC(char* pszUNC)
{
    Answer(0, __func__, pszUNC);
    Put(pszUNC, "\\\\PDC01\\QXscripts$\\Logon");
    return 1;
}
FAKE_EXPORT void SetUnattended(int nUnattended) { Answer(0, __func__, nUnattended); }
