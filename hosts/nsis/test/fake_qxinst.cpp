// A stand-in QXINST.dll for the NSIS header's test: each export of frame/exports.inc writes its arguments
// to qxinst-calls.txt, fills its buffers with known texts and returns a known result (a one-byte result
// with nonzero upper bytes in its register); each reads as many of seven slots as its line lists (cdecl).
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

using Bool = int;
using Int = int;
using None = void;

// Each export's result and the texts for its buffers (B, O) in order: "=" the name the buffer holds with
// "=<position>\r" ($Long: 2,000,000 characters). Not listed: 0.
// clang-format off
const std::map<std::string, std::pair<int, std::vector<std::string>>> kAnswers = {
    {"Decrypt", {0, {}}}, {"Encrypt", {1, {}}}, {"GetEngineVersion", {65535, {}}},
    {"GetScriptVars", {1, {"=", "=", "=", "=", "=", "="}}},
    {"GetManagerVars", {0, {"=", "=", "=", "=", "=", "EDITOR.EXE"}}}, {"MakeManagerINI", {1, {}}},
    // The share cut to its name, and a path of 1023 characters: the whole 1024-byte buffer.
    {"GetSharePath", {3, {"SCRIPTS", "C:\\" + std::string(1020, 'P')}}},
    {"FindRepl", {1, {"\\\\PDC01\\REPL$\\" + std::string(240, 'R')}}},  // 254 characters
    {"AddShare", {1, {}}}, {"GetSharePathRemote", {1, {"NETLOGON", "D:\\" + std::string(256, 'N')}}},  // 259
    {"StartServiceWait", {1, {}}}, {"InstallService", {1, {}}}, {"RemoveService", {1, {}}},
    {"ZUVadarInstalled", {1, {}}}, {"IsDomainController", {2, {}}}, {"GetSystemLanguage", {4, {}}},
    {"EnumServers", {1, {"BDC0" + std::string(250, 'S')}}}, {"SelectServer", {1, {"BDC09"}}},
    {"GetUNC", {1, {"\\\\PDC01\\QXscripts$\\Logon"}}},
};
// clang-format on

int Answer(const std::string& strExport, const std::string& strResult, const char* pszKinds,
           std::initializer_list<INT_PTR> slots)
{
    auto answer = kAnswers.count(strExport) ? kAnswers.at(strExport) : std::make_pair(0, std::vector<std::string> {});
    std::string strLine = strExport + "(";
    std::vector<char*> buffers;
    const INT_PTR* pSlot = slots.begin();
    for (const char* p = pszKinds; *p != '\0'; ++p) {
        if (std::string("SBOIU").find(*p) == std::string::npos)
            continue;
        INT_PTR n = *pSlot++;
        char* psz = reinterpret_cast<char*>(n);
        std::string strArg = *p == 'I'        ? std::to_string(static_cast<int>(n))
                             : *p == 'U'      ? std::to_string(static_cast<UINT>(n))
                             : psz == nullptr ? "null"
                                              : "\"" + std::string(psz) + "\"";
        strLine += (strLine.back() == '(' ? "" : ", ") + strArg;
        if (*p == 'B' || *p == 'O')
            buffers.push_back(psz);
    }
    if (FILE* pFile = std::fopen("qxinst-calls.txt", "ab")) {
        std::fputs((strLine + ")\n").c_str(), pFile);
        std::fclose(pFile);
    }
    for (size_t i = 0; i < buffers.size() && i < answer.second.size(); ++i) {
        std::string strText = answer.second[i], strName = buffers[i];
        if (strText == "=")
            strText = strName == "$Long" ? std::string(2000000, 'L')
                      : strName.empty()  ? ""
                                         : strName + "=" + std::to_string(i + 1) + "\r";
        strText.copy(buffers[i], strText.size());
        buffers[i][strText.size()] = '\0';
    }
    return strResult == "Bool" ? 0x5A5A5A00 | answer.first : answer.first;
}

}  // namespace

#define QX_EXPORT(name, result, args)                                                                                  \
    extern "C" __declspec(dllexport) result name(INT_PTR a, INT_PTR b, INT_PTR c, INT_PTR d, INT_PTR e, INT_PTR f,     \
                                                 INT_PTR g)                                                            \
    {                                                                                                                  \
        return static_cast<result>(Answer(#name, #result, #args, {a, b, c, d, e, f, g}));                              \
    }
#include "../../../src/frame/exports.inc"
