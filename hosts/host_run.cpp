// qxhostrun: runs an installer host (a program that loads QXINST.dll, such as an NSIS installer in
// silent mode) and stands in for its user. Each message box that the host's process or one it
// started shows is recorded and answered with OK, as the Wine tests' window watcher does inside
// their own process. (An Inno Setup installer runs its script, and so the DLL, in a second process
// that it starts from its temporary folder.)
//
//   qxhostrun [--timeout SECONDS] [--leave-boxes] BOXLOG PROGRAM [ARG...]
//
// BOXLOG receives one line per message box, in the order they appeared: its caption, a tab, its
// text. Other windows of the host are named on standard output as they appear. An argument with a
// blank is quoted on the host's command line, except one beginning with /D= (NSIS takes its
// install folder unquoted, as the last argument).
//
// With --leave-boxes nobody answers: the first message box is recorded and left, and since the
// host would wait for a person, the host and every process it started are ended at once.
//
// Exit code: the host's; 2 a usage error or a host that cannot be started; 3 the host was still
// running after the timeout (default 600 s) and was ended; 4 a box was left (--leave-boxes).
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/window_watcher.h"

using qx::host::CWindowInfo;
using qx::host::CWindowWatcher;

namespace {

constexpr DWORD kPollMs = 20;
constexpr DWORD kExitTimedOut = 3;
constexpr DWORD kExitUsage = 2;
constexpr DWORD kExitBoxLeft = 4;

using CHandle = std::unique_ptr<void, decltype(&CloseHandle)>;

struct CFound {
    const std::set<DWORD>* pProcesses;
    std::vector<HWND>* pWindows;
};

BOOL CALLBACK CollectWindowOf(HWND hWnd, LPARAM lParam)
{
    auto* pFound = reinterpret_cast<CFound*>(lParam);
    DWORD dwProcess = 0;
    GetWindowThreadProcessId(hWnd, &dwProcess);
    if (pFound->pProcesses->count(dwProcess) && IsWindowVisible(hWnd))
        pFound->pWindows->push_back(hWnd);
    return TRUE;
}

// Adds to processes every running process whose parent is in it (children, grandchildren, ...).
void AddDescendants(std::set<DWORD>& processes)
{
    CHandle hSnapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0), &CloseHandle);
    if (hSnapshot.get() == INVALID_HANDLE_VALUE)
        return;
    for (bool bGrew = true; bGrew;) {
        bGrew = false;
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL bMore = Process32First(hSnapshot.get(), &entry); bMore; bMore = Process32Next(hSnapshot.get(), &entry)) {
            if (processes.count(entry.th32ParentProcessID) && processes.insert(entry.th32ProcessID).second)
                bGrew = true;
        }
    }
}

// Ends every process of the set: the host and what it started.
void EndProcesses(const std::set<DWORD>& processes, DWORD dwExitCode)
{
    for (DWORD dwProcess : processes) {
        CHandle hProcess(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, dwProcess), &CloseHandle);
        if (hProcess.get() != nullptr && TerminateProcess(hProcess.get(), dwExitCode))
            WaitForSingleObject(hProcess.get(), INFINITE);
    }
}

std::string QuoteArgument(const std::string& strArg)
{
    if (strArg.find_first_of(" \t") == std::string::npos || strArg.rfind("/D=", 0) == 0)
        return strArg;
    return "\"" + strArg + "\"";
}

}  // namespace

int main(int argc, char** argv)
{
    int nArg = 1;
    DWORD dwTimeoutMs = 600 * 1000;
    if (nArg + 1 < argc && std::string(argv[nArg]) == "--timeout") {
        dwTimeoutMs = static_cast<DWORD>(std::strtoul(argv[nArg + 1], nullptr, 10)) * 1000;
        nArg += 2;
    }
    bool bLeaveBoxes = nArg < argc && std::string(argv[nArg]) == "--leave-boxes";
    nArg += bLeaveBoxes ? 1 : 0;
    if (argc - nArg < 2) {
        std::fprintf(stderr, "usage: qxhostrun [--timeout SECONDS] [--leave-boxes] BOXLOG PROGRAM [ARG...]\n");
        return kExitUsage;
    }
    const char* pszBoxLog = argv[nArg++];
    std::string strCommandLine = "\"" + std::string(argv[nArg++]) + "\"";
    for (; nArg < argc; ++nArg)
        strCommandLine += " " + QuoteArgument(argv[nArg]);

    std::fflush(stdout);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> commandLine(strCommandLine.begin(), strCommandLine.end());
    commandLine.push_back('\0');
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "qxhostrun: cannot start %s (error %lu)\n", strCommandLine.c_str(), GetLastError());
        return kExitUsage;
    }
    CHandle hProcess(process.hProcess, &CloseHandle);
    CHandle hThread(process.hThread, &CloseHandle);

    std::vector<CWindowInfo> boxes;
    std::set<HWND> known;
    std::set<DWORD> processes = {process.dwProcessId};
    DWORD dwStart = GetTickCount();
    bool bTimedOut = false;
    bool bBoxLeft = false;
    for (;;) {
        bool bEnded = WaitForSingleObject(hProcess.get(), kPollMs) == WAIT_OBJECT_0;
        AddDescendants(processes);
        std::vector<HWND> windows;
        CFound found = {&processes, &windows};
        EnumWindows(CollectWindowOf, reinterpret_cast<LPARAM>(&found));
        for (HWND hWnd : windows) {
            if (!known.insert(hWnd).second)
                continue;
            CWindowInfo info = CWindowWatcher::Read(hWnd);
            if (info.strClass.empty())
                continue;  // gone already
            // The caption as the window manager holds it: no message to a thread that may be busy.
            char szCaption[1024] = {};
            GetWindowTextA(hWnd, szCaption, sizeof szCaption);
            info.strCaption = szCaption;
            if (info.IsMessageBox()) {
                boxes.push_back(info);
                if (bLeaveBoxes)
                    bBoxLeft = true;
                else
                    PostMessageA(hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            } else {
                std::printf("qxhostrun: window \"%s\" (%s)\n", info.strCaption.c_str(), info.strClass.c_str());
                std::fflush(stdout);
            }
        }
        // A handle may be reused by a later window: forget the ones that are gone.
        for (auto it = known.begin(); it != known.end();)
            it = IsWindow(*it) ? std::next(it) : known.erase(it);
        if (bEnded)
            break;
        if (bBoxLeft) {
            EndProcesses(processes, kExitBoxLeft);
            break;
        }
        if (GetTickCount() - dwStart >= dwTimeoutMs) {
            bTimedOut = true;
            TerminateProcess(hProcess.get(), kExitTimedOut);
            WaitForSingleObject(hProcess.get(), INFINITE);
            break;
        }
    }

    std::unique_ptr<FILE, decltype(&std::fclose)> log(std::fopen(pszBoxLog, "wb"), &std::fclose);
    if (!log) {
        std::fprintf(stderr, "qxhostrun: cannot write %s\n", pszBoxLog);
        return kExitUsage;
    }
    for (const CWindowInfo& box : boxes)
        std::fprintf(log.get(), "%s\t%s\n", box.strCaption.c_str(), box.MessageText().c_str());
    if (bBoxLeft) {
        std::fprintf(stderr, "qxhostrun: %s showed a message box, left unanswered: the host was ended\n",
                     strCommandLine.c_str());
        return kExitBoxLeft;
    }
    if (bTimedOut) {
        std::fprintf(stderr, "qxhostrun: %s still ran after %lu s and was ended\n", strCommandLine.c_str(),
                     dwTimeoutMs / 1000);
        return kExitTimedOut;
    }
    DWORD dwExitCode = 0;
    GetExitCodeProcess(hProcess.get(), &dwExitCode);
    return static_cast<int>(dwExitCode);
}
