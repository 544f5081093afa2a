// qxcall: calls exports of QXINST.dll from a shell, the way an installer host does, and prints one
// JSON object per call.
//
//   qxcall [--answer-boxes] [--trace] EXPORT ARG...
//   qxcall [--answer-boxes] [--trace] --script FILE
//
// QXINST.dll is loaded from qxcall's own folder and each export is looked up by name. Arguments
// follow the export's signature: a text for an input string, the initial text of an in/out buffer,
// nothing for an output-only buffer (or --initial=TEXT, to see whether the export leaves it as it
// was), a signed decimal or 0x-hex number for an integer, and --null for a null pointer. An export
// that ignores further arguments (SetBuffer) is passed any that follow: a number as an integer,
// --null as a null pointer, any other word as a text. A script has one call per line, split on
// blanks with double quotes grouping (no backslash escapes); empty lines and lines starting with #
// are skipped. In every argument, %QXCALL_DIR% stands for qxcall's own folder (where QXINST.dll and
// the test service are), so that a script can name programs there wherever the build is.
//
// What the export writes to standard output (the service exports' diagnostic lines) is captured
// and shown as the call's "stdout" member when there is any. With --trace, the lines the export hands
// to the debugger (the reason of a failure) are shown as the member "trace": an array of the lines,
// each without its line end, empty when there were none.
//
// Exit codes: 0 every call was made; 1 a usage error; 2 an export this build does not have, or no
// QXINST.dll next to qxcall.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "box_hook.h"
#include "signatures.h"
#include "stdout_capture.h"
#include "trace_hook.h"

using qx::host::CBoxHook;
using qx::host::CExportSignature;
using qx::host::CStdoutCapture;
using qx::host::CTraceHook;
using qx::host::ResultKind;

namespace {

constexpr size_t kBufferSize = 2000000 + 1;  // the settings buffer and its terminating zero

// The next line of a file without its line feed (as std::getline gives it); false at the end.
bool ReadLine(FILE* pFile, std::string* pstrLine)
{
    pstrLine->clear();
    int c;
    while ((c = std::fgetc(pFile)) != EOF && c != '\n')
        pstrLine->push_back(static_cast<char>(c));
    return c != EOF || !pstrLine->empty();
}
constexpr char kOwnFolderToken[] = "%QXCALL_DIR%";
constexpr char kInitialPrefix[] = "--initial=";  // the initial text of an output-only buffer
constexpr size_t kMaxArguments = 8;  // what Invoke can pass

std::string g_strOwnFolder;  // qxcall's folder, without the closing backslash
bool g_bTrace = false;  // --trace: each call's debugger lines as its "trace" member

typedef intptr_t(__cdecl* PFN_EXPORT)(...);

struct CCallError {
    int nExitCode;
    std::string strMessage;
};

std::string JsonText(const char* psz)
{
    std::string strOut = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(psz); *p != 0; ++p) {
        unsigned char c = *p;
        switch (c) {
        case '"':
            strOut += "\\\"";
            break;
        case '\\':
            strOut += "\\\\";
            break;
        case '\n':
            strOut += "\\n";
            break;
        case '\r':
            strOut += "\\r";
            break;
        case '\t':
            strOut += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char szEscape[8];
                std::snprintf(szEscape, sizeof szEscape, "\\u%04X", c);
                strOut += szEscape;
            } else {
                strOut += static_cast<char>(c);
            }
        }
    }
    return strOut + "\"";
}

bool ParseInteger(const std::string& strText, intptr_t* pnValue)
{
    if (strText.empty())
        return false;
    const char* psz = strText.c_str();
    bool bNegative = *psz == '-';
    if (*psz == '-' || *psz == '+')
        ++psz;
    int nBase = 10;
    if (psz[0] == '0' && (psz[1] == 'x' || psz[1] == 'X')) {
        nBase = 16;
        psz += 2;
    }
    if (*psz == '\0')
        return false;
    char* pEnd = nullptr;
    unsigned long long nValue = std::strtoull(psz, &pEnd, nBase);
    if (*pEnd != '\0' || nValue > 0xFFFFFFFFull)
        return false;
    int32_t n32 = static_cast<int32_t>(static_cast<uint32_t>(nValue));
    *pnValue = bNegative ? -static_cast<intptr_t>(nValue) : static_cast<intptr_t>(n32);
    return true;
}

intptr_t Invoke(PFN_EXPORT pfn, const std::vector<intptr_t>& args)
{
    auto a = [&](size_t i) { return i < args.size() ? args[i] : 0; };
    switch (args.size()) {
    case 0:
        return pfn();
    case 1:
        return pfn(a(0));
    case 2:
        return pfn(a(0), a(1));
    case 3:
        return pfn(a(0), a(1), a(2));
    case 4:
        return pfn(a(0), a(1), a(2), a(3));
    case 5:
        return pfn(a(0), a(1), a(2), a(3), a(4));
    case 6:
        return pfn(a(0), a(1), a(2), a(3), a(4), a(5));
    case 7:
        return pfn(a(0), a(1), a(2), a(3), a(4), a(5), a(6));
    default:
        return pfn(a(0), a(1), a(2), a(3), a(4), a(5), a(6), a(7));
    }
}

// Makes one call and prints its JSON line; throws CCallError.
void Call(HMODULE hDll, const std::vector<std::string>& words)
{
    const std::string& strExport = words.at(0);
    const CExportSignature* pSignature = qx::host::FindExportSignature(strExport.c_str());
    if (pSignature == nullptr)
        throw CCallError {2, "unknown export: " + strExport};
    auto pfn = reinterpret_cast<PFN_EXPORT>(GetProcAddress(hDll, strExport.c_str()));
    if (pfn == nullptr)
        throw CCallError {2, "this build of QXINST.dll has no export " + strExport};

    std::vector<std::vector<char>> buffers;
    std::vector<int> bufferSlots;  // argument index of each buffer, or -1 for a null buffer
    std::vector<intptr_t> args;
    size_t nWord = 1;
    for (const char* pKind = pSignature->pszArgs; *pKind != '\0'; ++pKind) {
        char kind = *pKind;
        bool bTakesWord = kind != 'O';
        std::string strWord;
        bool bNull = false;
        bool bInitial = !bTakesWord && nWord < words.size() && words[nWord].rfind(kInitialPrefix, 0) == 0;
        if (bTakesWord || bInitial || (nWord < words.size() && words[nWord] == "--null")) {
            if (nWord >= words.size())
                throw CCallError {1, strExport + " takes " + std::to_string(std::strlen(pSignature->pszArgs)) +
                                         " arguments of kinds " + pSignature->pszArgs};
            strWord = words[nWord++];
            bNull = !bInitial && strWord == "--null";
            if (bInitial)
                strWord.erase(0, sizeof kInitialPrefix - 1);
            for (size_t nAt = strWord.find(kOwnFolderToken); nAt != std::string::npos;
                 nAt = strWord.find(kOwnFolderToken, nAt + g_strOwnFolder.size()))
                strWord.replace(nAt, sizeof kOwnFolderToken - 1, g_strOwnFolder);
        }
        if (kind == 'I' || kind == 'U') {
            intptr_t nValue = 0;
            if (bNull || !ParseInteger(strWord, &nValue))
                throw CCallError {1, "not a 32-bit integer: " + strWord};
            args.push_back(nValue);
        } else if (bNull) {
            args.push_back(0);
            if (kind != 'S')
                bufferSlots.push_back(-1);
        } else if (kind == 'S') {
            buffers.emplace_back(strWord.begin(), strWord.end());
            buffers.back().push_back('\0');
            args.push_back(reinterpret_cast<intptr_t>(buffers.back().data()));
        } else {
            buffers.emplace_back(std::max(kBufferSize, strWord.size() + 1), '\0');
            std::copy(strWord.begin(), strWord.end(), buffers.back().begin());
            args.push_back(reinterpret_cast<intptr_t>(buffers.back().data()));
            bufferSlots.push_back(static_cast<int>(args.size() - 1));
        }
    }
    // What an export that ignores further arguments is given beyond its own.
    for (; pSignature->bTakesMore && nWord < words.size(); ++nWord) {
        const std::string& strWord = words[nWord];
        intptr_t nValue = 0;
        if (strWord == "--null") {
            args.push_back(0);
        } else if (ParseInteger(strWord, &nValue)) {
            args.push_back(nValue);
        } else {
            buffers.emplace_back(strWord.begin(), strWord.end());
            buffers.back().push_back('\0');
            args.push_back(reinterpret_cast<intptr_t>(buffers.back().data()));
        }
    }
    if (nWord != words.size() || args.size() > kMaxArguments)
        throw CCallError {1, "too many arguments for " + strExport};

    CBoxHook::Take();
    CTraceHook::Take();
    intptr_t nResult;
    std::string strStdout;
    {
        CStdoutCapture capture;
        nResult = Invoke(pfn, args);
        strStdout = capture.Take();
    }
    std::vector<qx::host::CRecordedBox> boxes = CBoxHook::Take();
    std::vector<std::string> traceLines = CTraceHook::Take();

    std::string strJson = "{\"export\":" + JsonText(strExport.c_str()) + ",\"result\":";
    switch (pSignature->result) {
    case ResultKind::kBool:
        strJson += std::to_string(static_cast<unsigned char>(nResult));  // only the low byte is defined
        break;
    case ResultKind::kInt:
        strJson += std::to_string(static_cast<int32_t>(nResult));
        break;
    case ResultKind::kNone:
        strJson += "null";
        break;
    }
    strJson += ",\"buffers\":[";
    for (size_t i = 0; i < bufferSlots.size(); ++i) {
        if (i > 0)
            strJson += ",";
        strJson += bufferSlots[i] < 0 ? "null" : JsonText(reinterpret_cast<const char*>(args[bufferSlots[i]]));
    }
    strJson += "],\"boxes\":[";
    for (size_t i = 0; i < boxes.size(); ++i) {
        if (i > 0)
            strJson += ",";
        strJson += "{\"text\":" + JsonText(boxes[i].strText.c_str()) +
                   ",\"caption\":" + JsonText(boxes[i].strCaption.c_str()) +
                   ",\"flags\":" + std::to_string(boxes[i].uType) + "}";
    }
    strJson += "]";
    if (!strStdout.empty())
        strJson += ",\"stdout\":" + JsonText(strStdout.c_str());
    if (g_bTrace) {
        strJson += ",\"trace\":[";
        for (size_t i = 0; i < traceLines.size(); ++i) {
            std::string& strLine = traceLines[i];
            if (!strLine.empty() && strLine.back() == '\n')
                strLine.pop_back();
            strJson += (i > 0 ? "," : "") + JsonText(strLine.c_str());
        }
        strJson += "]";
    }
    strJson += "}";
    std::printf("%s\n", strJson.c_str());
    std::fflush(stdout);
}

std::vector<std::string> SplitScriptLine(const std::string& strLine)
{
    std::vector<std::string> words;
    std::string strWord;
    bool bInWord = false;
    bool bQuoted = false;
    for (char c : strLine) {
        if (c == '"') {
            bQuoted = !bQuoted;
            bInWord = true;
        } else if (!bQuoted && (c == ' ' || c == '\t' || c == '\r')) {
            if (bInWord)
                words.push_back(strWord);
            strWord.clear();
            bInWord = false;
        } else {
            strWord += c;
            bInWord = true;
        }
    }
    if (bInWord)
        words.push_back(strWord);
    return words;
}

int Usage()
{
    std::fprintf(stderr, "usage: qxcall [--answer-boxes] [--trace] EXPORT ARG...\n"
                         "       qxcall [--answer-boxes] [--trace] --script FILE\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    bool bAnswerBoxes = false;
    std::string strScript;
    size_t nArg = 0;
    for (; nArg < args.size() && args[nArg].rfind("--", 0) == 0 && args[nArg] != "--null"; ++nArg) {
        if (args[nArg] == "--answer-boxes") {
            bAnswerBoxes = true;
        } else if (args[nArg] == "--trace") {
            g_bTrace = true;
        } else if (args[nArg] == "--script" && nArg + 1 < args.size()) {
            strScript = args[++nArg];
        } else {
            return Usage();
        }
    }
    if (strScript.empty() && nArg >= args.size())
        return Usage();

    char szPath[MAX_PATH] = {};
    DWORD cchPath = GetModuleFileNameA(nullptr, szPath, MAX_PATH);
    std::string strDll(szPath, cchPath);
    size_t nSlash = strDll.find_last_of("\\/");
    g_strOwnFolder = nSlash == std::string::npos ? "." : strDll.substr(0, nSlash);
    strDll = g_strOwnFolder + "\\QXINST.dll";
    HMODULE hDll = LoadLibraryA(strDll.c_str());
    if (hDll == nullptr) {
        std::fprintf(stderr, "qxcall: cannot load %s (error %lu)\n", strDll.c_str(), GetLastError());
        return 2;
    }
    CBoxHook::Install(hDll);
    CTraceHook::Install(hDll);
    CBoxHook::SetAnswerAtOnce(bAnswerBoxes);

    try {
        if (strScript.empty()) {
            Call(hDll, std::vector<std::string>(args.begin() + static_cast<long>(nArg), args.end()));
        } else {
            // C stdio rather than <fstream>, whose runtime needs msvcrt functions newer than NT 4.0.
            std::unique_ptr<FILE, int (*)(FILE*)> script(std::fopen(strScript.c_str(), "rb"), &std::fclose);
            if (!script) {
                std::fprintf(stderr, "qxcall: cannot read %s\n", strScript.c_str());
                return 1;
            }
            std::string strLine;
            int nLine = 0;
            while (ReadLine(script.get(), &strLine)) {
                ++nLine;
                std::vector<std::string> words = SplitScriptLine(strLine);
                if (words.empty() || words[0][0] == '#')
                    continue;
                try {
                    Call(hDll, words);
                } catch (CCallError& error) {
                    error.strMessage = strScript + ":" + std::to_string(nLine) + ": " + error.strMessage;
                    throw;
                }
            }
        }
    } catch (const CCallError& error) {
        std::fprintf(stderr, "qxcall: %s\n", error.strMessage.c_str());
        return error.nExitCode;
    }
    return 0;
}
