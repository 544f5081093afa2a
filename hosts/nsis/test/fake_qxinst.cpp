// A stand-in QXINST.dll for the NSIS header's test: the exports under their names, each writing the
// arguments it received to qxinst-calls.txt in the current folder, filling its buffers with known
// texts (some as long as the real exports may write) and returning known results. The one-byte
// results come back in a register whose upper bytes are not zero, as a compiler may leave them, so
// that a host reading more than the low byte is seen.
#include <windows.h>

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
template <class... T> int Answer(int nResult, LPCSTR pszExport, T... args)
{
    std::string strLine = std::string(pszExport) + "(";
    LPCSTR pszSeparator = "";
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
    for (LPSTR pszName : names) {
        std::string strName = pszName;
        if (!strName.empty())
            Put(pszName, strName == "$Long" ? std::string(2000000, 'L') : strName + "=" + std::to_string(n) + "\r");
        ++n;
    }
}

}  // namespace

FAKE_EXPORT int Decrypt(LPCSTR psz1, LPCSTR psz2)
{
    return Answer(std::string(psz1) == "bad.kix" ? kBoolFalse : kBoolTrue, __func__, psz1, psz2);
}
FAKE_EXPORT int Encrypt(LPCSTR psz1, LPCSTR psz2, int n) { return Answer(kBoolTrue, __func__, psz1, psz2, n); }
FAKE_EXPORT int GetEngineVersion(LPCSTR psz1) { return Answer(65535, __func__, psz1); }
FAKE_EXPORT int GetScriptVars(LPCSTR pszEngine, LPSTR psz1, LPSTR psz2, LPSTR psz3, LPSTR psz4, LPSTR psz5, LPSTR psz6)
{
    Answer(0, __func__, pszEngine, psz1, psz2, psz3, psz4, psz5, psz6);
    AnswerNames({psz1, psz2, psz3, psz4, psz5, psz6});
    return kBoolTrue;
}
FAKE_EXPORT void SetScriptVars(LPCSTR pszE, LPCSTR psz1, LPCSTR psz2, LPCSTR psz3, LPCSTR psz4, LPCSTR psz5,
                               LPCSTR psz6)
{
    Answer(0, __func__, pszE, psz1, psz2, psz3, psz4, psz5, psz6);
}
FAKE_EXPORT void GetManagerVars(LPCSTR pszManager, LPSTR psz1, LPSTR psz2, LPSTR psz3, LPSTR psz4, LPSTR psz5,
                                LPSTR pszEditor)
{
    Answer(0, __func__, pszManager, psz1, psz2, psz3, psz4, psz5, pszEditor);
    AnswerNames({psz1, psz2, psz3, psz4, psz5});
    Put(pszEditor, "EDITOR.EXE");
}
FAKE_EXPORT void SetManagerVars(LPCSTR pszM, LPCSTR psz1, LPCSTR psz2, LPCSTR psz3, LPCSTR psz4, LPCSTR psz5)
{
    Answer(0, __func__, pszM, psz1, psz2, psz3, psz4, psz5);
}
FAKE_EXPORT void SetBuffer() { Answer(0, __func__); }
FAKE_EXPORT int MakeManagerINI(LPCSTR psz1, LPCSTR psz2, LPCSTR psz3, LPCSTR psz4)
{
    return Answer(kBoolTrue, __func__, psz1, psz2, psz3, psz4);
}
// The share cut to its name, and a path of 1023 characters: the whole 1024-byte buffer.
FAKE_EXPORT int GetSharePath(LPSTR pszShare, LPSTR pszPath)
{
    Answer(0, __func__, pszShare, pszPath);
    Put(pszShare, "SCRIPTS");
    Put(pszPath, "C:\\" + std::string(1020, 'P'));
    return 3;
}
FAKE_EXPORT int FindRepl(LPSTR pszRemoteName)
{
    Answer(0, __func__, pszRemoteName);
    Put(pszRemoteName, "\\\\PDC01\\REPL$\\" + std::string(240, 'R'));  // 254 characters
    return 1;
}
FAKE_EXPORT int MakeReplBat(LPCSTR psz1, LPCSTR psz2) { return Answer(kBoolFalse, __func__, psz1, psz2); }
FAKE_EXPORT int AddShare(LPCSTR psz1, LPCSTR psz2) { return Answer(kBoolTrue, __func__, psz1, psz2); }
FAKE_EXPORT int GetSharePathRemote(LPCSTR pszServer, LPSTR pszShare, LPSTR pszPath)
{
    Answer(0, __func__, pszServer, pszShare, pszPath);
    Put(pszShare, "NETLOGON");
    Put(pszPath, "D:\\" + std::string(256, 'N'));  // 259 characters
    return 1;
}
FAKE_EXPORT int SetSharePermissions(LPCSTR psz1, int nMode, LPCSTR psz2, LPCSTR psz3, LPCSTR psz4)
{
    return Answer(kBoolFalse, __func__, psz1, nMode, psz2, psz3, psz4);
}
FAKE_EXPORT int StartServiceWait(LPCSTR psz1, LPCSTR psz2, LPCSTR psz3)
{
    return Answer(1, __func__, psz1, psz2, psz3);
}
FAKE_EXPORT int StopServiceWait(LPCSTR psz1, LPCSTR psz2, LPCSTR psz3) { return Answer(0, __func__, psz1, psz2, psz3); }
FAKE_EXPORT int InstallService(LPCSTR psz1, LPCSTR psz2, LPCSTR psz3, LPCSTR psz4, LPCSTR psz5, LPCSTR psz6)
{
    return Answer(1, __func__, psz1, psz2, psz3, psz4, psz5, psz6);
}
FAKE_EXPORT int RemoveService(LPCSTR psz1, LPCSTR psz2, LPCSTR psz3) { return Answer(1, __func__, psz1, psz2, psz3); }
FAKE_EXPORT int KixInstalled(LPCSTR psz1) { return Answer(0, __func__, psz1); }
FAKE_EXPORT int ZUVadarInstalled(LPCSTR psz1) { return Answer(1, __func__, psz1); }
FAKE_EXPORT int ROVoruzInstalled(LPCSTR psz1) { return Answer(0, __func__, psz1); }
FAKE_EXPORT int IsDomainController() { return Answer(2, __func__); }
FAKE_EXPORT int EnumServers(LPSTR pszServer, unsigned int nIndex)
{
    Answer(0, __func__, pszServer, nIndex);
    Put(pszServer, "BDC" + std::to_string(nIndex) + std::string(250, 'S'));
    return nIndex == 7 ? 2 : 1;
}
FAKE_EXPORT int GetSystemLanguage() { return Answer(4, __func__); }
FAKE_EXPORT int SelectServer(LPSTR pszServer)
{
    Answer(0, __func__, pszServer);
    Put(pszServer, "BDC09");
    return kBoolTrue;
}
FAKE_EXPORT void SPOpen() { Answer(0, __func__); }
FAKE_EXPORT void SPClose() { Answer(0, __func__); }
FAKE_EXPORT void SPSetRange(int nLower, int nUpper) { Answer(0, __func__, nLower, nUpper); }
FAKE_EXPORT void SPSetPos(int nPos) { Answer(0, __func__, nPos); }
FAKE_EXPORT void SPSetText(LPCSTR psz1) { Answer(0, __func__, psz1); }
FAKE_EXPORT int GetUNC(LPSTR pszUNC)
{
    Answer(0, __func__, pszUNC);
    Put(pszUNC, "\\\\PDC01\\QXscripts$\\Logon");
    return 1;
}
FAKE_EXPORT void SetUnattended(int nUnattended) { Answer(0, __func__, nUnattended); }
