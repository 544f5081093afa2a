// The file exports on real files (under Wine, or on Windows), each against CopyFileA of a file of
// the size it writes, in the same run and folder. Not a test: run it by hand,
//   scripts/wine-run build/win64/bin/qxfilebench.exe [ROUNDS]
// and read the table it prints (mean microseconds per call and the ratio to the copy).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "qxinst.h"

namespace {

std::string g_strFolder;

std::string PathOf(const char* pszName) { return g_strFolder + "\\" + pszName; }

bool WriteWhole(const std::string& strPath, const std::string& strData)
{
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD cbWritten = 0;
    BOOL bOk = WriteFile(h, strData.data(), static_cast<DWORD>(strData.size()), &cbWritten, nullptr);
    CloseHandle(h);
    return bOk && cbWritten == strData.size();
}

DWORD SizeOf(const std::string& strPath)
{
    WIN32_FILE_ATTRIBUTE_DATA data {};
    return GetFileAttributesExA(strPath.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
}

// Mean microseconds per call over nRounds calls (after one call to warm up).
double MeanMicroseconds(int nRounds, const std::function<bool()>& call)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    if (!call()) {
        std::printf("a call failed\n");
        std::exit(1);
    }
    QueryPerformanceCounter(&start);
    for (int i = 0; i < nRounds; ++i)
        call();
    QueryPerformanceCounter(&end);
    return 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart) / nRounds;
}

// One row: the export's time, the copy of a file of the size it wrote, and their ratio.
void Row(const char* pszWhat, int nRounds, const std::string& strWritten, const std::function<bool()>& call)
{
    double usCall = MeanMicroseconds(nRounds, call);
    DWORD cb = SizeOf(strWritten);
    std::string strSource = PathOf("copy-source.dat"), strTarget = PathOf("copy-target.dat");
    WriteWhole(strSource, std::string(cb, 'x'));
    double usCopy =
        MeanMicroseconds(nRounds, [&] { return CopyFileA(strSource.c_str(), strTarget.c_str(), FALSE) != 0; });
    std::printf("%-34s %9lu bytes %10.1f us   copy %10.1f us   %5.2fx\n", pszWhat, cb, usCall, usCopy, usCall / usCopy);
}

}  // namespace

int main(int argc, char** argv)
{
    int nRounds = argc > 1 ? std::atoi(argv[1]) : 200;
    char szTemp[MAX_PATH];
    GetTempPathA(sizeof szTemp, szTemp);
    g_strFolder = std::string(szTemp) + "qxfilebench";
    CreateDirectoryA(g_strFolder.c_str(), nullptr);

    // A qxmgr.ini of 256 lines holding the three keys, and a list of 256 servers.
    std::string strIni = "; Qorvex manager settings\r\n[View]\r\n";
    for (int i = 0; i < 126; ++i)
        strIni += "Column" + std::to_string(i) + " = width 120, visible, sorted ascending\r\n";
    strIni += "[Replication]\r\n";
    for (int i = 0; i < 121; ++i)
        strIni += "Server" + std::to_string(i) + "=\\\\BDC" + std::to_string(i) + "\\NETLOGON\r\n";
    strIni += "Editor=notepad.exe\r\n[File Locations]\r\nUsers=U:\\Users\r\nGroups=U:\\Groups\r\n"
              "Logs=D:\\Logs\r\nScripts=\\\\QXSERVER\\QXscripts$\r\n";
    WriteWhole(PathOf("qxmgr.ini"), strIni);
    std::string strServers = "PDC01";
    for (int i = 2; i <= 256; ++i)
        strServers += ",BDC" + std::to_string(i);
    // A 2,000,000-byte engine: a script of that size, encrypted.
    std::string strScript;
    for (int i = 0; strScript.size() < 1999990; ++i)
        strScript += "$Line" + std::to_string(i) + " = \"value\"\r\n";
    strScript.resize(1999996);
    WriteWhole(PathOf("script.txt"), strScript);

    std::string strIniPath = PathOf("qxmgr.ini"), strBat = PathOf("REPL.BAT");
    std::string strScriptPath = PathOf("script.txt"), strEngine = PathOf("engine.kx"),
                strDecoded = PathOf("decoded.txt");
    std::printf("%d rounds each, in %s\n", nRounds, g_strFolder.c_str());
    Row("MakeManagerINI, 256 lines", nRounds, strIniPath,
        [&] { return MakeManagerINI(g_strFolder.c_str(), "QXscripts$", "D:\\Logs", "notepad.exe") != 0; });
    Row("MakeReplBat, 256 servers", nRounds, strBat,
        [&] { return MakeReplBat(strBat.c_str(), strServers.c_str()) != 0; });
    int nEngineRounds = nRounds / 10 > 0 ? nRounds / 10 : 1;
    Row("Encrypt, 2,000,000-byte engine", nEngineRounds, strEngine,
        [&] { return Encrypt(strScriptPath.c_str(), strEngine.c_str(), 400) != 0; });
    Row("Decrypt, 2,000,000-byte engine", nEngineRounds, strDecoded,
        [&] { return Decrypt(strEngine.c_str(), strDecoded.c_str()) != 0; });
    return 0;
}
