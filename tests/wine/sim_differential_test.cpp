// The simulated Windows held to the real one. Each scenario runs twice through the same platform
// interfaces: once against the Win32 forwarders under Wine, once against a fresh simulated platform
// set up the same way. Both runs write a transcript, one row per step: the call, its result, its
// error code and the state it left. The transcripts must agree row by row, but for the rows of
// kKnownDifferences: those must differ, so that a difference that goes away is noticed as well.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/dll_host.h"
#include "platform/platform.h"
#include "platform/unique.h"
#include "sim/sim_platform.h"

namespace qx::host {
namespace {

// ---- the rows that differ on purpose ----

struct CKnownDifference {
    const char* pszScenario;
    const char* pszStep;
    const char* pszWho;  // "wine": Wine differs from Windows (as todo_wine); "sim": the simulation does
    const char* pszWhy;
};

// A step ending in '*' stands for every step that begins with the text before it.
const CKnownDifference kKnownDifferences[] = {
    {"FilesReadOnly", "CreateFileA read-only for writing", "wine",
     "Wine keeps the read-only attribute as the Unix mode, which root (the tests' user) passes: it opens; "
     "Windows gives 5"},
    {"FilesReadOnly", "CreateFileA read-only, create always", "wine", "as root, as above"},
    {"FilesReadOnly", "CreateFileA read-only, truncate", "wine", "as root, as above"},
    {"FilesReadOnly", "MoveFileExA onto a read-only file, replacing", "wine",
     "as root, Wine renames over a read-only file; Windows gives 5"},
    {"FilesNames", "CreateFileA CON", "sim",
     "the simulation models no console: CON fails as a device the machine lacks (2); a process without a "
     "console gets 6 from Wine"},
    {"Services", "CreateServiceA with another's key as display name", "wine",
     "Wine's service manager compares a display name only with the display names; Windows gives 1078"},
    {"Services", "ControlService pause, not accepted", "wine",
     "Wine writes no status of the service after 1052, where Windows returns the service's status"},
    {"Services", "StartServiceA marked for deletion", "wine",
     "Wine's service manager starts a service marked for deletion; Windows gives 1072"},
    {"ServiceDependency", "StartServiceA with a dependency that cannot start", "wine",
     "Wine's service manager does not start the dependencies first; Windows fails with 1068"},
    {"ServiceDependency", "StartServiceA with a missing dependency", "wine",
     "Wine's service manager does not look at the dependencies; Windows fails with 1075"},
    {"ServiceLogon", "StartServiceA as an account without the logon right", "wine",
     "Wine's service manager starts a service whatever its account and password; Windows fails with 1069"},
    {"SystemText", "WideCharToMultiByte", "sim",
     "the simulation's best fit knows only the full-width forms, not letters with marks (U+0100 as 'A')"},
    {"SystemMessages", "FormatMessageA *", "wine",
     "Wine's message table words the system's texts short (\"Invalid function.\"); the simulation holds Windows' "
     "texts, which the library writes in its failure lines"},
};

const CKnownDifference* FindKnown(const std::string& strScenario, const std::string& strStep)
{
    for (const CKnownDifference& known : kKnownDifferences) {
        std::string strKnown = known.pszStep;
        bool bPrefix = !strKnown.empty() && strKnown.back() == '*';
        bool bStep = bPrefix ? strStep.rfind(strKnown.substr(0, strKnown.size() - 1), 0) == 0 : strStep == strKnown;
        if (strScenario == known.pszScenario && bStep)
            return &known;
    }
    return nullptr;
}

// ---- transcripts ----

std::string Hex(DWORD dw)
{
    char sz[16];
    std::snprintf(sz, sizeof sz, "%lx", static_cast<unsigned long>(dw));
    return sz;
}

// Bytes as text: printable ASCII as it is, everything else as \xNN.
std::string Escape(const std::string& bytes)
{
    std::string str;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            str += static_cast<char>(c);
        } else {
            char sz[8];
            std::snprintf(sz, sizeof sz, "\\x%02X", c);
            str += sz;
        }
    }
    return str;
}

struct CRow {
    std::string strStep;
    std::string strOutcome;
};

// The steps of one run: the calls through the current platform, with the handles they opened kept
// under a label (and released through the same platform at the end of the run).
class CSteps {
public:
    std::vector<CRow> m_rows;

    void Row(const std::string& strStep, const std::string& strOutcome) { m_rows.push_back({strStep, strOutcome}); }
    static std::string Error() { return " err=" + std::to_string(Sys().GetLastError()); }
    static void ClearError() { Sys().SetLastError(0xDEADBEEF); }

    // ---- files ----
    void Create(const std::string& strStep, const std::string& strLabel, const std::string& strPath, DWORD dwAccess,
                DWORD dwShare, DWORD dwCreation)
    {
        ClearError();
        unique_file file(Files().CreateFileA(strPath.c_str(), dwAccess, dwShare, dwCreation, FILE_ATTRIBUTE_NORMAL));
        // The last error after a success is documented only for the dispositions that may open an
        // existing file (ERROR_ALREADY_EXISTS or 0).
        bool bError = !file || dwCreation == CREATE_ALWAYS || dwCreation == OPEN_ALWAYS;
        Row(strStep, std::string(file ? "opened" : "failed") + (bError ? Error() : ""));
        if (file && !strLabel.empty())
            m_files[strLabel] = std::move(file);  // without a label, closed at once
    }
    void Write(const std::string& strStep, const std::string& strLabel, const std::string& data)
    {
        ClearError();
        DWORD cbWritten = 12345;
        BOOL bOk = Files().WriteFile(Handle(strLabel), data.data(), static_cast<DWORD>(data.size()), &cbWritten);
        Row(strStep, bOk ? "TRUE written=" + std::to_string(cbWritten) : "FALSE" + Error());
    }
    void Read(const std::string& strStep, const std::string& strLabel, DWORD cbWanted)
    {
        ClearError();
        std::string buffer(cbWanted, '\0');
        DWORD cbRead = 12345;
        BOOL bOk = Files().ReadFile(Handle(strLabel), &buffer[0], cbWanted, &cbRead);
        Row(strStep, bOk ? "TRUE read=" + Escape(buffer.substr(0, cbRead)) : "FALSE" + Error());
    }
    void Close(const std::string& strStep, const std::string& strLabel)
    {
        ClearError();
        HANDLE h = m_files[strLabel].release();
        m_files.erase(strLabel);
        BOOL bOk = Files().CloseHandle(h);
        Row(strStep, bOk ? "TRUE" : "FALSE" + Error());
    }
    void Attributes(const std::string& strStep, const std::string& strPath)
    {
        ClearError();
        DWORD dwAttrs = Files().GetFileAttributesA(strPath.c_str());
        Row(strStep, dwAttrs == INVALID_FILE_ATTRIBUTES ? "INVALID" + Error() : Hex(dwAttrs));
    }
    void Delete(const std::string& strStep, const std::string& strPath)
    {
        ClearError();
        BOOL bOk = Files().DeleteFileA(strPath.c_str());
        Row(strStep, bOk ? "TRUE" : "FALSE" + Error());
    }
    void Move(const std::string& strStep, const std::string& strFrom, const std::string& strTo, DWORD dwFlags)
    {
        ClearError();
        BOOL bOk = Files().MoveFileExA(strFrom.c_str(), strTo.c_str(), dwFlags);
        Row(strStep, bOk ? "TRUE" : "FALSE" + Error());
    }
    void Replace(const std::string& strStep, const std::string& strReplaced, const std::string& strReplacement)
    {
        ClearError();
        BOOL bOk = Files().ReplaceFileA(strReplaced.c_str(), strReplacement.c_str(), nullptr, 0);
        Row(strStep, bOk ? "TRUE" : "FALSE" + Error());
    }
    // The whole file, read through a handle of its own.
    void Contents(const std::string& strStep, const std::string& strPath)
    {
        unique_file file(Files().CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
        if (!file) {
            Row(strStep, "failed" + Error());
            return;
        }
        std::string data;
        char buffer[256];
        DWORD cbRead = 0;
        while (Files().ReadFile(file.get(), buffer, sizeof buffer, &cbRead) && cbRead > 0)
            data.append(buffer, cbRead);
        Row(strStep, "\"" + Escape(data) + "\"");
    }
    void TempName(const std::string& strStep, const std::string& strFolder, const std::string& strPrefix, UINT uUnique)
    {
        ClearError();
        char szName[MAX_PATH + 1] = {};
        UINT uResult = Files().GetTempFileNameA(strFolder.c_str(), strPrefix.c_str(), uUnique, szName);
        if (uResult == 0) {
            Row(strStep, "0" + Error());
            return;
        }
        std::string strName = szName;
        // A number of its choosing (when asked for none) is shown as its shape only.
        if (uUnique == 0) {
            char szUnique[16];
            std::snprintf(szUnique, sizeof szUnique, "%X", uResult);
            size_t nAt = strName.rfind(szUnique);
            if (nAt == std::string::npos)
                nAt = strName.rfind(Lower(szUnique));
            if (nAt != std::string::npos)
                strName.replace(nAt, std::strlen(szUnique), "<unique>");
            m_strLastTemp = szName;
            Row(strStep, "nonzero " + strName);
            return;
        }
        Row(strStep, Hex(uResult) + " " + strName);
    }
    std::string m_strLastTemp;

    // ---- registry ----
    void OpenKey(const std::string& strStep, const std::string& strLabel, HKEY hBase, const std::string& strSubKey)
    {
        unique_hkey key;
        LONG lResult = Reg().RegOpenKeyExA(hBase, strSubKey.c_str(), 0, KEY_READ, key.put());
        Row(strStep, "rc=" + std::to_string(lResult));
        if (lResult == ERROR_SUCCESS)
            m_keys[strLabel] = std::move(key);
    }
    HKEY Key(const std::string& strLabel) { return m_keys[strLabel].get(); }
    // Queries a value with a buffer of cbBuffer bytes (-1: no buffer; -2: no buffer and no size),
    // asking for the type when bType. The buffer starts filled with 0xCC; its bytes are shown up to
    // two past the size returned, so that a terminating zero added behind the data shows.
    void Query(const std::string& strStep, const std::string& strKey, const char* pszValue, int cbBuffer,
               bool bType = true)
    {
        DWORD dwType = 0xDEAD;
        std::string buffer(cbBuffer > 0 ? cbBuffer : 1, '\xCC');
        DWORD cbData = cbBuffer >= 0 ? static_cast<DWORD>(cbBuffer) : 0;
        LONG lResult = Reg().RegQueryValueExA(Key(strKey), pszValue, nullptr, bType ? &dwType : nullptr,
                                              cbBuffer >= 0 ? reinterpret_cast<BYTE*>(&buffer[0]) : nullptr,
                                              cbBuffer == -2 ? nullptr : &cbData);
        std::string strOutcome = "rc=" + std::to_string(lResult);
        if (bType && (lResult == ERROR_SUCCESS || lResult == ERROR_MORE_DATA))
            strOutcome += " type=" + std::to_string(dwType);
        if (cbBuffer != -2)
            strOutcome += " cb=" + std::to_string(cbData);
        if (lResult == ERROR_SUCCESS && cbBuffer > 0)
            strOutcome += " data=" + Escape(buffer.substr(0, std::min<size_t>(buffer.size(), cbData + 2)));
        Row(strStep, strOutcome);
    }

    // ---- service manager ----
    SC_HANDLE Sc(const std::string& strLabel) { return m_services[strLabel].get(); }
    void KeepSc(const std::string& strStep, const std::string& strLabel, SC_HANDLE h)
    {
        Row(strStep, std::string(h != nullptr ? "handle" : "null") + (h == nullptr ? Error() : ""));
        if (h != nullptr)
            m_services[strLabel] = unique_schandle(h);
    }
    void CloseSc(const std::string& strLabel) { m_services.erase(strLabel); }
    static std::string Status(const SERVICE_STATUS& status)
    {
        return "{" + Hex(status.dwServiceType) + " state=" + std::to_string(status.dwCurrentState) +
               " accepts=" + Hex(status.dwControlsAccepted) + " exit=" + std::to_string(status.dwWin32ExitCode) + "/" +
               std::to_string(status.dwServiceSpecificExitCode) + " cp=" + std::to_string(status.dwCheckPoint) +
               " hint=" + std::to_string(status.dwWaitHint) + "}";
    }
    void Bool(const std::string& strStep, BOOL bOk) { Row(strStep, bOk ? "TRUE" : "FALSE" + Error()); }
    void Query(const std::string& strStep, const std::string& strLabel)
    {
        SERVICE_STATUS status {};
        BOOL bOk = Scm().QueryServiceStatus(Sc(strLabel), &status);
        Row(strStep, bOk ? "TRUE " + Status(status) : "FALSE" + Error());
    }
    void Control(const std::string& strStep, const std::string& strLabel, DWORD dwControl)
    {
        ClearError();
        SERVICE_STATUS status;
        std::memset(&status, 0xCD, sizeof status);
        BOOL bOk = Scm().ControlService(Sc(strLabel), dwControl, &status);
        // The status is returned with success and with the three codes that say why a control was
        // not taken.
        DWORD dwError = Sys().GetLastError();
        bool bStatus = bOk || dwError == ERROR_INVALID_SERVICE_CONTROL || dwError == ERROR_SERVICE_CANNOT_ACCEPT_CTRL ||
                       dwError == ERROR_SERVICE_NOT_ACTIVE;
        Row(strStep, (bOk ? "TRUE" : "FALSE" + Error()) + (bStatus ? " " + Status(status) : ""));
    }
    // Waits while the service is in dwState (at most 10 s on the platform's clock), then shows its status.
    void WaitWhile(const std::string& strStep, const std::string& strLabel, DWORD dwState)
    {
        SERVICE_STATUS status {};
        DWORD dwStart = Clock().GetTickCount();
        while (Scm().QueryServiceStatus(Sc(strLabel), &status) && status.dwCurrentState == dwState &&
               Clock().GetTickCount() - dwStart < 10000)
            Clock().Sleep(50);
        Query(strStep, strLabel);
    }
    void KeyName(const std::string& strStep, const char* pszDisplay, DWORD cchBuffer)
    {
        ClearError();
        char szName[300];
        std::memset(szName, 'x', sizeof szName);
        DWORD cch = cchBuffer;
        BOOL bOk = Scm().GetServiceKeyNameA(Sc("scm"), pszDisplay, cchBuffer > 0 ? szName : nullptr, &cch);
        // The size comes back with success and with ERROR_INSUFFICIENT_BUFFER.
        bool bSize = bOk || Sys().GetLastError() == ERROR_INSUFFICIENT_BUFFER;
        Row(strStep, (bOk ? "TRUE \"" + std::string(szName) + "\"" : "FALSE" + Error()) +
                         (bSize ? " cch=" + std::to_string(cch) : ""));
    }

    void Release()
    {
        m_files.clear();
        m_keys.clear();
        m_services.clear();
    }

private:
    HANDLE Handle(const std::string& strLabel) { return m_files[strLabel].get(); }
    static std::string Lower(std::string str)
    {
        for (char& c : str)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return str;
    }
    std::map<std::string, unique_file> m_files;
    std::map<std::string, unique_hkey> m_keys;
    std::map<std::string, unique_schandle> m_services;
};

// ---- the two worlds: what a scenario sets up that the platform interfaces do not offer ----

const char kRegistryKey[] = "Software\\QxDiffTest";
const char* const kServiceKeys[] = {"QxDiffSvc", "QxDiffSvc2", "QxDiffBase", "QxDiffTop", "QxDiffLogon"};
constexpr DWORD kQuitControl = 128;  // the test service's own "end now"

class CWorld {
public:
    virtual ~CWorld() = default;
    virtual const char* Name() const = 0;
    virtual void AddFolder(const std::string& strPath) = 0;
    virtual void SetReadOnly(const std::string& strPath, bool bReadOnly) = 0;
    // A value under HKEY_CURRENT_USER\kRegistryKey\strSubKey, written by RegSetValueExA.
    virtual void SetValue(const std::string& strSubKey, const std::string& strName, DWORD dwType,
                          const std::string& data) = 0;
    // A text value stored exactly as given, without a terminating zero (written by RegSetValueExW).
    virtual void SetBareText(const std::string& strName, DWORD dwType, const std::string& text) = 0;
    // The service's program ends when asked to stop after reporting stop pending for dwStopMs.
    virtual void ServiceStopsAfter(const std::string& strKey, DWORD dwStopMs) = 0;
    // The service's program file does not exist.
    virtual void ServiceProgramMissing(const std::string& strKey) = 0;
    // The account the test runs as, known to the world (without the right to log on as a service).
    virtual void KnowUser(const std::string& strUser) = 0;
};

// The folder every file scenario works in: a fresh one in the real temporary folder, the same path
// in the simulation.
std::string TestFolder()
{
    char szTemp[MAX_PATH] = {};
    GetTempPathA(sizeof szTemp, szTemp);
    return std::string(szTemp) + "qxdiff";
}

std::string UserName()
{
    char szUser[257] = {};
    DWORD cchUser = sizeof szUser;
    GetUserNameA(szUser, &cchUser);
    return szUser;
}

class CRealWorld final : public CWorld {
public:
    CRealWorld()
    {
        m_previous = SetPlatform(Win32Platform());
        CleanUp();
        CreateDirectoryA(TestFolder().c_str(), nullptr);
    }
    ~CRealWorld() override
    {
        CleanUp();
        SetPlatform(m_previous);
    }
    const char* Name() const override { return "wine"; }
    void AddFolder(const std::string& strPath) override { CreateDirectoryA(strPath.c_str(), nullptr); }
    void SetReadOnly(const std::string& strPath, bool bReadOnly) override
    {
        SetFileAttributesA(strPath.c_str(), bReadOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
    }
    void SetValue(const std::string& strSubKey, const std::string& strName, DWORD dwType,
                  const std::string& data) override
    {
        HKEY hKey = nullptr;
        std::string strPath = std::string(kRegistryKey) + (strSubKey.empty() ? "" : "\\" + strSubKey);
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_CURRENT_USER, strPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
            ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(hKey, strName.c_str(), 0, dwType, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        RegCloseKey(hKey);
    }
    void SetBareText(const std::string& strName, DWORD dwType, const std::string& text) override
    {
        HKEY hKey = nullptr;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
            ERROR_SUCCESS);
        std::wstring wstrName(strName.begin(), strName.end());
        // ASCII only. Not a zero behind the text either: the call would count it (NT does so, and Wine).
        std::wstring wstrText = std::wstring(text.begin(), text.end()) + L"X";
        EXPECT_EQ(RegSetValueExW(hKey, wstrName.c_str(), 0, dwType, reinterpret_cast<const BYTE*>(wstrText.data()),
                                 static_cast<DWORD>(text.size() * sizeof(WCHAR))),
                  ERROR_SUCCESS);
        RegCloseKey(hKey);
    }
    void ServiceStopsAfter(const std::string&, DWORD) override { }  // its command line says so
    void ServiceProgramMissing(const std::string&) override { }  // its path names no file
    void KnowUser(const std::string&) override { }

private:
    static void EraseTree(const std::string& strFolder)
    {
        WIN32_FIND_DATAA found;
        HANDLE hFind = FindFirstFileA((strFolder + "\\*").c_str(), &found);
        if (hFind != INVALID_HANDLE_VALUE) {
            do {
                std::string strName = found.cFileName;
                if (strName == "." || strName == "..")
                    continue;
                std::string strPath = strFolder + "\\" + strName;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    EraseTree(strPath);
                } else {
                    SetFileAttributesA(strPath.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(strPath.c_str());
                }
            } while (FindNextFileA(hFind, &found));
            FindClose(hFind);
        }
        RemoveDirectoryA(strFolder.c_str());
    }
    static DWORD State(SC_HANDLE hService)
    {
        SERVICE_STATUS status {};
        return QueryServiceStatus(hService, &status) ? status.dwCurrentState : 0;
    }
    static void EraseService(SC_HANDLE hManager, const char* pszKey)
    {
        SC_HANDLE hService = OpenServiceA(hManager, pszKey, SERVICE_ALL_ACCESS);
        if (hService == nullptr)
            return;
        SERVICE_STATUS status {};
        ControlService(hService, SERVICE_CONTROL_STOP, &status);
        ControlService(hService, kQuitControl, &status);
        for (int n = 0; n < 250 && State(hService) != SERVICE_STOPPED; ++n)
            Sleep(20);
        DeleteService(hService);
        CloseServiceHandle(hService);
        for (int n = 0; n < 250; ++n, Sleep(20)) {
            SC_HANDLE hGone = OpenServiceA(hManager, pszKey, SERVICE_QUERY_STATUS);
            if (hGone == nullptr)
                break;
            CloseServiceHandle(hGone);
        }
    }
    static void CleanUp()
    {
        EraseTree(TestFolder());
        RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
        SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        for (const char* pszKey : kServiceKeys)
            EraseService(hManager, pszKey);
        CloseServiceHandle(hManager);
    }

    CPlatform m_previous;
};

class CSimWorld final : public CWorld {
public:
    CSimWorld()
    {
        // The same machine: its name, and the test folder's chain of folders.
        char szComputer[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD cchComputer = sizeof szComputer;
        GetComputerNameA(szComputer, &cchComputer);
        m_sim.m_system.m_strComputerName = szComputer;
        m_sim.m_files.AddFolder(TestFolder());
    }
    const char* Name() const override { return "sim"; }
    void AddFolder(const std::string& strPath) override { m_sim.m_files.AddFolder(strPath); }
    void SetReadOnly(const std::string& strPath, bool bReadOnly) override
    {
        m_sim.m_files.SetAttributes(strPath, bReadOnly ? FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE
                                                       : FILE_ATTRIBUTE_ARCHIVE);
    }
    void SetValue(const std::string& strSubKey, const std::string& strName, DWORD dwType,
                  const std::string& data) override
    {
        std::string strPath =
            std::string(sim::CSimRegistry::kCurrentUser) + kRegistryKey + (strSubKey.empty() ? "" : "\\" + strSubKey);
        // RegSetValueExA counts the terminating zero that follows a text when the count leaves it out
        // (NT does so, and Wine); a std::string's data is always followed by one.
        bool bText = dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ;
        m_sim.m_registry.SetValue(strPath, strName, dwType,
                                  bText && !data.empty() && data.back() != '\0' ? data + '\0' : data);
    }
    void SetBareText(const std::string& strName, DWORD dwType, const std::string& text) override
    {
        m_sim.m_registry.SetValue(std::string(sim::CSimRegistry::kCurrentUser) + kRegistryKey, strName, dwType, text);
    }
    void ServiceStopsAfter(const std::string& strKey, DWORD dwStopMs) override
    {
        // The test service reports stop pending, checkpoint 1, with a hint of its delay plus a second.
        if (sim::CSimService* pService = m_sim.m_scm.Service(strKey))
            pService->behaviour = sim::CSimServiceBehaviour::SlowStop(dwStopMs, dwStopMs + 1000);
    }
    void ServiceProgramMissing(const std::string& strKey) override
    {
        if (sim::CSimService* pService = m_sim.m_scm.Service(strKey))
            pService->behaviour.dwStartError = ERROR_FILE_NOT_FOUND;
    }
    void KnowUser(const std::string& strUser) override { m_sim.m_lsa.AddAccount("", strUser, "S-1-5-21-1-2-3-1000"); }

    sim::CSimPlatform m_sim;
};

// ---- running and comparing ----

using ScenarioFn = std::function<void(CWorld&, CSteps&)>;

std::string Show(const std::vector<CRow>& rows)
{
    std::string str;
    for (const CRow& row : rows)
        str += "  " + row.strStep + ": " + row.strOutcome + "\n";
    return str;
}

void Compare(const std::string& strScenario, const ScenarioFn& run)
{
    CSteps real;
    {
        CRealWorld world;
        run(world, real);
        real.Release();
    }
    CSteps simulated;
    {
        CSimWorld world;
        run(world, simulated);
        simulated.Release();
        EXPECT_TRUE(world.m_sim.Clean()) << strScenario << ": " << world.m_sim.Report();
    }
    ASSERT_EQ(real.m_rows.size(), simulated.m_rows.size()) << strScenario;
    for (const CKnownDifference& known : kKnownDifferences) {
        bool bFound = strScenario != known.pszScenario;
        for (const CRow& row : real.m_rows)
            bFound = bFound || FindKnown(strScenario, row.strStep) == &known;
        EXPECT_TRUE(bFound) << strScenario << ": the known difference's step is gone: " << known.pszStep;
    }
    bool bAllMatch = true;
    for (size_t n = 0; n < real.m_rows.size(); ++n) {
        const std::string& strStep = real.m_rows[n].strStep;
        ASSERT_EQ(simulated.m_rows[n].strStep, strStep) << strScenario;
        const std::string& strReal = real.m_rows[n].strOutcome;
        const std::string& strSim = simulated.m_rows[n].strOutcome;
        if (const CKnownDifference* pKnown = FindKnown(strScenario, strStep)) {
            EXPECT_NE(strSim, strReal) << strScenario << " / " << strStep << ": the known difference ("
                                       << pKnown->pszWho << ": " << pKnown->pszWhy << ") no longer shows";
            continue;
        }
        EXPECT_EQ(strSim, strReal) << strScenario << " / " << strStep;
        bAllMatch = bAllMatch && strSim == strReal;
    }
    if (!bAllMatch)
        ADD_FAILURE() << strScenario << "\nwine:\n" << Show(real.m_rows) << "sim:\n" << Show(simulated.m_rows);
    else if (std::getenv("QX_DIFF_SHOW") != nullptr)  // the transcripts of a passing run, to read them
        std::printf("%s\n%s", strScenario.c_str(), Show(real.m_rows).c_str());
}

// ---- files ----

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

TEST(DifferentialFiles, CreateWriteReadClose)
{
    Compare("FilesBasic", [](CWorld&, CSteps& s) {
        const std::string a = TestFolder() + "\\a.txt";
        s.Create("CreateFileA a new for writing", "w", a, GENERIC_WRITE, 0, CREATE_NEW);
        s.Write("WriteFile with CR LF", "w", "one\r\ntwo\nthree\r\n");
        s.Write("WriteFile of nothing", "w", "");
        s.Read("ReadFile on a handle for writing", "w", 10);
        s.Close("CloseHandle", "w");
        s.Contents("bytes after writing", a);
        s.Create("CreateFileA a new again", "", a, GENERIC_WRITE, 0, CREATE_NEW);
        s.Create("CreateFileA a, open always", "r", a, GENERIC_READ, FILE_SHARE_READ, OPEN_ALWAYS);
        s.Read("ReadFile of 5", "r", 5);
        s.Read("ReadFile of the rest", "r", 100);
        s.Read("ReadFile at the end", "r", 100);
        s.Write("WriteFile on a handle for reading", "r", "x");
        s.Close("CloseHandle of the reader", "r");
        s.Create("CreateFileA a, create always", "t", a, GENERIC_WRITE, 0, CREATE_ALWAYS);
        s.Close("CloseHandle of the truncated", "t");
        s.Contents("bytes after create always", a);
        s.Create("CreateFileA b, open always (new)", "b", TestFolder() + "\\b.txt", GENERIC_READ | GENERIC_WRITE, 0,
                 OPEN_ALWAYS);
        s.Close("CloseHandle of b", "b");
        s.Create("CreateFileA c, create always (new)", "c", TestFolder() + "\\c.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
        s.Close("CloseHandle of c", "c");
        s.Create("CreateFileA missing, open existing", "", TestFolder() + "\\missing.txt", GENERIC_READ, 0,
                 OPEN_EXISTING);
        s.Create("CreateFileA missing, truncate existing", "", TestFolder() + "\\missing.txt", GENERIC_WRITE, 0,
                 TRUNCATE_EXISTING);
        s.Create("CreateFileA of the folder", "", TestFolder(), GENERIC_READ, kShareAll, OPEN_EXISTING);
        s.Attributes("GetFileAttributesA of a file", a);
        s.Attributes("GetFileAttributesA of the folder", TestFolder());
        s.Attributes("GetFileAttributesA of a missing file", TestFolder() + "\\missing.txt");
        s.Delete("DeleteFileA of a file", a);
        s.Attributes("GetFileAttributesA after deleting", a);
        s.Delete("DeleteFileA again", a);
        s.Delete("DeleteFileA of the folder", TestFolder());
    });
}

TEST(DifferentialFiles, ReadOnlyTargets)
{
    Compare("FilesReadOnly", [](CWorld& world, CSteps& s) {
        const std::string ro = TestFolder() + "\\ro.txt";
        const std::string moved = TestFolder() + "\\moved.txt";
        const std::string target = TestFolder() + "\\target.txt";
        const std::string other = TestFolder() + "\\other.txt";
        s.Create("CreateFileA ro", "w", ro, GENERIC_WRITE, 0, CREATE_NEW);
        s.Write("WriteFile ro", "w", "kept");
        s.Close("CloseHandle ro", "w");
        world.SetReadOnly(ro, true);
        s.Attributes("GetFileAttributesA of a read-only file", ro);
        s.Create("CreateFileA read-only for reading", "r", ro, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        s.Read("ReadFile read-only", "r", 100);
        s.Close("CloseHandle read-only", "r");
        s.Delete("DeleteFileA read-only", ro);
        s.Move("MoveFileExA the read-only file away", ro, moved, 0);
        s.Contents("bytes of the moved read-only file", moved);
        s.Attributes("GetFileAttributesA of the moved read-only file", moved);
        // Last, the writes that Wine lets root make (see kKnownDifferences): nothing is read after them.
        s.Create("CreateFileA read-only for writing", "", moved, GENERIC_WRITE, 0, OPEN_EXISTING);
        s.Create("CreateFileA read-only, create always", "", moved, GENERIC_WRITE, 0, CREATE_ALWAYS);
        s.Create("CreateFileA read-only, truncate", "", moved, GENERIC_WRITE, 0, TRUNCATE_EXISTING);
        s.Create("CreateFileA target", "t", target, GENERIC_WRITE, 0, CREATE_NEW);
        s.Close("CloseHandle target", "t");
        world.SetReadOnly(target, true);
        s.Create("CreateFileA other", "o", other, GENERIC_WRITE, 0, CREATE_NEW);
        s.Close("CloseHandle other", "o");
        s.Move("MoveFileExA onto a read-only file, replacing", other, target, MOVEFILE_REPLACE_EXISTING);
    });
}

TEST(DifferentialFiles, MissingFolders)
{
    Compare("FilesMissingFolders", [](CWorld&, CSteps& s) {
        const std::string strDeep = TestFolder() + "\\nofolder\\x.txt";
        const std::string a = TestFolder() + "\\a.txt";
        s.Create("CreateFileA in a missing folder, new", "", strDeep, GENERIC_WRITE, 0, CREATE_NEW);
        s.Create("CreateFileA in a missing folder, open", "", strDeep, GENERIC_READ, 0, OPEN_EXISTING);
        s.Create("CreateFileA in a missing folder, always", "", strDeep, GENERIC_WRITE, 0, CREATE_ALWAYS);
        s.Attributes("GetFileAttributesA in a missing folder", strDeep);
        s.Attributes("GetFileAttributesA of the missing folder", TestFolder() + "\\nofolder");
        s.Delete("DeleteFileA in a missing folder", strDeep);
        s.TempName("GetTempFileNameA in a missing folder", TestFolder() + "\\nofolder", "qx", 0);
        s.Create("CreateFileA a", "a", a, GENERIC_WRITE, 0, CREATE_NEW);
        s.Close("CloseHandle a", "a");
        s.Move("MoveFileExA into a missing folder", a, strDeep, 0);
        s.Move("MoveFileExA of a missing file", TestFolder() + "\\missing.txt", TestFolder() + "\\y.txt", 0);
        s.Move("MoveFileExA of a file in a missing folder", strDeep, TestFolder() + "\\y.txt", 0);
    });
}

TEST(DifferentialFiles, ShareModes)
{
    Compare("FilesSharing", [](CWorld&, CSteps& s) {
        const std::string a = TestFolder() + "\\shared.txt";
        s.Create("CreateFileA shared", "w", a, GENERIC_WRITE, 0, CREATE_NEW);
        s.Write("WriteFile shared", "w", "data");
        s.Create("CreateFileA for reading while written unshared", "", a, GENERIC_READ, kShareAll, OPEN_EXISTING);
        s.Delete("DeleteFileA while written unshared", a);
        s.Move("MoveFileExA while written unshared", a, TestFolder() + "\\moved.txt", 0);
        s.Close("CloseHandle of the unshared writer", "w");
        s.Create("CreateFileA reader 1, sharing reading", "r1", a, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        s.Create("CreateFileA reader 2, sharing reading", "r2", a, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        s.Create("CreateFileA writer beside readers", "", a, GENERIC_WRITE, kShareAll, OPEN_EXISTING);
        s.Create("CreateFileA reader not sharing reading", "", a, GENERIC_READ, FILE_SHARE_WRITE, OPEN_EXISTING);
        s.Create("CreateFileA create always beside readers", "", a, GENERIC_WRITE, kShareAll, CREATE_ALWAYS);
        s.Close("CloseHandle reader 1", "r1");
        s.Close("CloseHandle reader 2", "r2");
        s.Create("CreateFileA reader sharing writing", "r", a, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                 OPEN_EXISTING);
        s.Create("CreateFileA writer sharing reading", "w", a, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
        s.Write("WriteFile beside a reader", "w", "DA");
        s.Read("ReadFile beside a writer", "r", 10);
        s.Create("CreateFileA second writer", "", a, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        s.Delete("DeleteFileA without delete sharing", a);
        s.Close("CloseHandle writer", "w");
        s.Close("CloseHandle reader", "r");
        s.Create("CreateFileA with no access beside nothing", "n", a, 0, 0, OPEN_EXISTING);
        s.Create("CreateFileA reader beside an open without access", "r", a, GENERIC_READ, FILE_SHARE_READ,
                 OPEN_EXISTING);
        s.Close("CloseHandle of the open without access", "n");
        s.Close("CloseHandle of its reader", "r");
        s.Create("CreateFileA sharing deletion", "d", a, GENERIC_READ, kShareAll, OPEN_EXISTING);
        s.Delete("DeleteFileA while open sharing deletion", a);
        s.Close("CloseHandle after the deletion", "d");
        s.Attributes("GetFileAttributesA after the last close", a);
    });
}

TEST(DifferentialFiles, TemporaryNames)
{
    Compare("FilesTempNames", [](CWorld&, CSteps& s) {
        s.TempName("GetTempFileNameA with a number of its own", TestFolder(), "qxdiff", 0);
        s.Attributes("GetFileAttributesA of the temporary file", s.m_strLastTemp);
        s.Contents("bytes of the temporary file", s.m_strLastTemp);
        s.TempName("GetTempFileNameA with 0x1234", TestFolder(), "qxd", 0x1234);
        s.Attributes("GetFileAttributesA of the named temporary file", TestFolder() + "\\qxd1234.tmp");
        s.TempName("GetTempFileNameA with a short prefix", TestFolder(), "q", 0x99);
        s.TempName("GetTempFileNameA with an empty prefix", TestFolder(), "", 0x4321);
    });
}

TEST(DifferentialFiles, NamesWindowsRefusesOrTakesForDevices)
{
    Compare("FilesNames", [](CWorld&, CSteps& s) {
        const std::string d = TestFolder() + "\\";
        for (const char* pszName : {"q?.txt", "star*.txt", "less<.txt", "more>.txt", "pipe|.txt", "quote\".txt"}) {
            s.Create(std::string("CreateFileA ") + pszName, "", d + pszName, GENERIC_WRITE, 0, CREATE_NEW);
            s.Attributes(std::string("GetFileAttributesA ") + pszName, d + pszName);
            s.Delete(std::string("DeleteFileA ") + pszName, d + pszName);
        }
        s.Create("CreateFileA in a folder named with a wildcard", "", d + "f*\\a.txt", GENERIC_WRITE, 0, CREATE_NEW);
        s.Create("CreateFileA dots.txt...", "t", d + "dots.txt...", GENERIC_WRITE, 0, CREATE_NEW);
        s.Write("WriteFile dots", "t", "dots");
        s.Close("CloseHandle dots", "t");
        s.Contents("bytes of dots.txt", d + "dots.txt");
        s.Attributes("GetFileAttributesA dots.txt. .", d + "dots.txt. .");
        s.Create("CreateFileA spaces and dots, new", "", d + "dots.txt . ", GENERIC_WRITE, 0, CREATE_NEW);
        s.Delete("DeleteFileA dots.txt.", d + "dots.txt.");
        s.Attributes("GetFileAttributesA dots.txt after deleting", d + "dots.txt");
        s.Create("CreateFileA CON", "", "CON", GENERIC_WRITE, kShareAll, OPEN_EXISTING);
        s.Create("CreateFileA COM9 in the folder", "", d + "COM9", GENERIC_WRITE, kShareAll, OPEN_EXISTING);
        s.Create("CreateFileA LPT8.txt", "", d + "LPT8.txt", GENERIC_WRITE, kShareAll, OPEN_EXISTING);
        s.Create("CreateFileA NUL", "n", "NUL", GENERIC_READ | GENERIC_WRITE, kShareAll, OPEN_EXISTING);
        s.Write("WriteFile NUL", "n", "gone");
        s.Read("ReadFile NUL", "n", 10);
        s.Close("CloseHandle NUL", "n");
        s.Create("CreateFileA nul in the folder, new", "n", d + "nul", GENERIC_WRITE, 0, CREATE_NEW);
        s.Write("WriteFile folder nul", "n", "gone");
        s.Close("CloseHandle folder nul", "n");
        s.Create("CreateFileA NUL.txt in the folder, always", "n", d + "NUL.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
        s.Close("CloseHandle NUL.txt", "n");
        s.Create("CreateFileA nul again, new", "n", d + "nul", GENERIC_WRITE, 0, CREATE_NEW);
        s.Close("CloseHandle nul again", "n");
        s.Contents("bytes of NUL.txt", d + "NUL.txt");
        s.Create("CreateFileA nul.txt.bak", "b", d + "nul.txt.bak", GENERIC_WRITE, 0, CREATE_NEW);
        s.Write("WriteFile nul.txt.bak", "b", "kept?");
        s.Close("CloseHandle nul.txt.bak", "b");
        s.Contents("bytes of nul.txt.bak", d + "nul.txt.bak");
        s.Create("CreateFileA nulx.txt, no device", "f", d + "nulx.txt", GENERIC_WRITE, 0, CREATE_NEW);
        s.Write("WriteFile nulx.txt", "f", "kept");
        s.Close("CloseHandle nulx.txt", "f");
        s.Contents("bytes of nulx.txt", d + "nulx.txt");
    });
}

TEST(DifferentialFiles, MoveAndReplace)
{
    Compare("FilesMoveReplace", [](CWorld&, CSteps& s) {
        const std::string d = TestFolder() + "\\";
        s.Create("CreateFileA one", "1", d + "one.txt", GENERIC_WRITE, 0, CREATE_NEW);
        s.Write("WriteFile one", "1", "first");
        s.Close("CloseHandle one", "1");
        s.Create("CreateFileA two", "2", d + "two.txt", GENERIC_WRITE, 0, CREATE_NEW);
        s.Write("WriteFile two", "2", "second");
        s.Close("CloseHandle two", "2");
        s.Move("MoveFileExA onto an existing file", d + "one.txt", d + "two.txt", 0);
        s.Move("MoveFileExA renaming", d + "one.txt", d + "three.txt", 0);
        s.Attributes("GetFileAttributesA of the old name", d + "one.txt");
        s.Contents("bytes of the new name", d + "three.txt");
        s.Move("MoveFileExA onto an existing file, replacing", d + "three.txt", d + "two.txt",
               MOVEFILE_REPLACE_EXISTING);
        s.Contents("bytes of the replaced file", d + "two.txt");
        s.Attributes("GetFileAttributesA of the moved file", d + "three.txt");
        s.Create("CreateFileA new", "n", d + "new.txt", GENERIC_WRITE, 0, CREATE_NEW);
        s.Write("WriteFile new", "n", "replacement");
        s.Close("CloseHandle new", "n");
        s.Replace("ReplaceFileA two with new", d + "two.txt", d + "new.txt");
        s.Contents("bytes after ReplaceFileA", d + "two.txt");
        s.Attributes("GetFileAttributesA of the replacement after ReplaceFileA", d + "new.txt");
        s.Create("CreateFileA new again", "n", d + "new.txt", GENERIC_WRITE, 0, CREATE_NEW);
        s.Close("CloseHandle new again", "n");
        s.Replace("ReplaceFileA of a missing file", d + "missing.txt", d + "new.txt");
        s.Attributes("GetFileAttributesA of the replacement after the missing target", d + "new.txt");
        s.Attributes("GetFileAttributesA of the missing target", d + "missing.txt");
    });
}

// ---- registry ----

TEST(DifferentialRegistry, ValuesOfEachTypeAndSmallBuffers)
{
    Compare("Registry", [](CWorld& world, CSteps& s) {
        const std::string sz("text\0", 5);
        world.SetValue("", "Sz", REG_SZ, sz);
        world.SetValue("", "SzSetA", REG_SZ, "setA");  // no terminating zero given
        world.SetBareText("SzBare", REG_SZ, "bare");
        world.SetValue("", "Expand", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 10));
        world.SetBareText("ExpandBare", REG_EXPAND_SZ, "%TEMP%");
        world.SetValue("", "Multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
        world.SetValue("", "MultiSetA", REG_MULTI_SZ, std::string("one\0two", 7));
        world.SetBareText("MultiBare", REG_MULTI_SZ, std::string("one\0two", 7));
        world.SetValue("", "Dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4));
        world.SetValue("", "Qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
        world.SetValue("", "Binary", REG_BINARY, std::string("\x00\xFF\x10\x80\x7F", 5));
        world.SetValue("", "None", REG_NONE, "");
        world.SetValue("", "", REG_SZ, std::string("default\0", 8));
        world.SetValue("Sub\\Deeper", "Leaf", REG_SZ, std::string("deep\0", 5));
        const std::string strKey = kRegistryKey;
        s.OpenKey("RegOpenKeyExA of the test key", "k", HKEY_CURRENT_USER, strKey);
        s.OpenKey("RegOpenKeyExA in other case", "k2", HKEY_CURRENT_USER, "SOFTWARE\\qxdifftest");
        s.OpenKey("RegOpenKeyExA of a missing key", "x", HKEY_CURRENT_USER, strKey + "\\Missing");
        s.OpenKey("RegOpenKeyExA below a missing key", "x", HKEY_CURRENT_USER, strKey + "\\Missing\\Below");
        s.OpenKey("RegOpenKeyExA of a sub-key from the key", "sub", s.Key("k"), "Sub\\Deeper");
        s.Query("RegQueryValueExA of the sub-key's value", "sub", "Leaf", 64);
        s.Query("RegQueryValueExA of a value in other case", "k2", "sZ", 64);
        for (const char* pszValue : {"Sz", "SzSetA", "SzBare", "Expand", "ExpandBare", "Multi", "MultiSetA",
                                     "MultiBare", "Dword", "Qword", "Binary", "None", ""}) {
            std::string strValue = *pszValue ? pszValue : "(default)";
            s.Query("RegQueryValueExA " + strValue + " into 64 bytes", "k", pszValue, 64);
            s.Query("RegQueryValueExA " + strValue + " for its size", "k", pszValue, -1);
            s.Query("RegQueryValueExA " + strValue + " into 2 bytes", "k", pszValue, 2);
            s.Query("RegQueryValueExA " + strValue + " into no bytes", "k", pszValue, 0);
            s.Query("RegQueryValueExA " + strValue + " for its type only", "k", pszValue, -2);
        }
        s.Query("RegQueryValueExA Sz into exactly its size", "k", "Sz", 5);
        s.Query("RegQueryValueExA Sz into one byte less", "k", "Sz", 4);
        s.Query("RegQueryValueExA SzBare into exactly its size", "k", "SzBare", 4);
        s.Query("RegQueryValueExA SzBare into one more", "k", "SzBare", 5);
        s.Query("RegQueryValueExA Dword without its type", "k", "Dword", 4, false);
        s.Query("RegQueryValueExA of a missing value", "k", "Missing", 64);
        s.Query("RegQueryValueExA of a missing value for its size", "k", "Missing", -1);
    });
}

// ---- service manager ----

SC_HANDLE g_hScm = nullptr;  // the manager the current scenario opened

std::string ServiceCommand(const std::string& strOptions)
{
    return "\"" + CDllHost::ProgramFolder() + "qxtestservice.exe\" " + strOptions;
}

SC_HANDLE CreateTestService(const char* pszKey, const char* pszDisplay, const std::string& strCommand,
                            const char* pszDependencies = nullptr, const char* pszAccount = nullptr,
                            const char* pszPassword = nullptr, DWORD dwStartType = SERVICE_DEMAND_START)
{
    return Scm().CreateServiceA(g_hScm, pszKey, pszDisplay, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, dwStartType,
                                SERVICE_ERROR_NORMAL, strCommand.c_str(), nullptr, nullptr, pszDependencies, pszAccount,
                                pszPassword);
}

TEST(DifferentialServices, CreateOpenStartStopDelete)
{
    Compare("Services", [](CWorld& world, CSteps& s) {
        const std::string strCommand = ServiceCommand("stopdelay=500 lifetime=30000");
        s.KeepSc("OpenSCManagerA", "scm", Scm().OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        g_hScm = s.Sc("scm");
        s.KeepSc("OpenSCManagerA of a database that does not exist", "x",
                 Scm().OpenSCManagerA(nullptr, "NoSuchDatabase", SC_MANAGER_CONNECT));
        s.KeepSc("OpenServiceA before it exists", "x", Scm().OpenServiceA(g_hScm, "QxDiffSvc", SERVICE_ALL_ACCESS));
        s.KeepSc("CreateServiceA", "svc", CreateTestService("QxDiffSvc", "Qx Diff Service", strCommand));
        world.ServiceStopsAfter("QxDiffSvc", 500);
        s.KeepSc("CreateServiceA again", "x", CreateTestService("QxDiffSvc", "Other Name", strCommand));
        s.KeepSc("CreateServiceA in other case", "x", CreateTestService("QXDIFFSVC", "Other Name", strCommand));
        s.KeepSc("CreateServiceA with a display name in use", "x",
                 CreateTestService("QxDiffSvc2", "Qx Diff Service", strCommand));
        s.KeepSc("CreateServiceA with another's key as display name", "dup",
                 CreateTestService("QxDiffSvc2", "QxDiffSvc", strCommand));
        if (s.Sc("dup") != nullptr)
            Scm().DeleteService(s.Sc("dup"));  // gone again where it was created, for the steps below
        s.CloseSc("dup");
        s.KeepSc("CreateServiceA with an empty name", "x", CreateTestService("", "Empty", strCommand));
        s.KeepSc("CreateServiceA with a backslash in its name", "x",
                 CreateTestService("Qx\\Diff", "Slash", strCommand));
        s.KeepSc("CreateServiceA at boot start", "x",
                 CreateTestService("QxDiffSvc2", "Boot", strCommand, nullptr, nullptr, nullptr, SERVICE_BOOT_START));
        s.KeepSc("OpenServiceA by key in other case", "open",
                 Scm().OpenServiceA(g_hScm, "qxdiffsvc", SERVICE_ALL_ACCESS));
        s.KeepSc("OpenServiceA by display name", "x",
                 Scm().OpenServiceA(g_hScm, "Qx Diff Service", SERVICE_ALL_ACCESS));
        s.KeepSc("OpenServiceA of an empty name", "x", Scm().OpenServiceA(g_hScm, "", SERVICE_ALL_ACCESS));
        s.KeepSc("OpenServiceA of a missing service", "x",
                 Scm().OpenServiceA(g_hScm, "QxDiffNone", SERVICE_ALL_ACCESS));
        s.KeyName("GetServiceKeyNameA", "Qx Diff Service", 256);
        s.KeyName("GetServiceKeyNameA in other case", "QX DIFF SERVICE", 256);
        s.KeyName("GetServiceKeyNameA into exactly the name's length", "Qx Diff Service", 9);
        s.KeyName("GetServiceKeyNameA into one more", "Qx Diff Service", 10);
        s.KeyName("GetServiceKeyNameA into 2", "Qx Diff Service", 2);
        s.KeyName("GetServiceKeyNameA for its size", "Qx Diff Service", 0);
        s.KeyName("GetServiceKeyNameA of a key name", "QxDiffSvc", 256);
        s.KeyName("GetServiceKeyNameA of a missing display name", "No Such Display", 256);
        s.Query("QueryServiceStatus before any start", "svc");
        s.KeepSc("OpenServiceA for its status only", "ro",
                 Scm().OpenServiceA(g_hScm, "QxDiffSvc", SERVICE_QUERY_STATUS));
        s.Bool("StartServiceA without the right", Scm().StartServiceA(s.Sc("ro"), 0, nullptr));
        s.Control("ControlService stop without the right", "ro", SERVICE_CONTROL_STOP);
        s.Bool("DeleteService without the right", Scm().DeleteService(s.Sc("ro")));
        s.Control("ControlService stop before any start", "svc", SERVICE_CONTROL_STOP);
        s.Control("ControlService interrogate before any start", "svc", SERVICE_CONTROL_INTERROGATE);
        s.Bool("StartServiceA", Scm().StartServiceA(s.Sc("svc"), 0, nullptr));
        s.WaitWhile("QueryServiceStatus once started", "svc", SERVICE_START_PENDING);
        s.Bool("StartServiceA while running", Scm().StartServiceA(s.Sc("open"), 0, nullptr));
        s.Control("ControlService pause, not accepted", "svc", SERVICE_CONTROL_PAUSE);
        s.Control("ControlService stop", "svc", SERVICE_CONTROL_STOP);
        s.Control("ControlService stop while stop pending", "open", SERVICE_CONTROL_STOP);
        s.WaitWhile("QueryServiceStatus once stopped", "svc", SERVICE_STOP_PENDING);
        s.Control("ControlService stop once stopped", "svc", SERVICE_CONTROL_STOP);
        s.Bool("DeleteService", Scm().DeleteService(s.Sc("svc")));
        s.Bool("DeleteService again", Scm().DeleteService(s.Sc("open")));
        s.KeepSc("CreateServiceA marked for deletion", "x",
                 CreateTestService("QxDiffSvc", "Qx Diff Service", strCommand));
        s.Query("QueryServiceStatus marked for deletion", "svc");
        s.CloseSc("svc");
        s.CloseSc("open");
        s.CloseSc("ro");
        s.KeepSc("OpenServiceA once deleted and closed", "x",
                 Scm().OpenServiceA(g_hScm, "QxDiffSvc", SERVICE_ALL_ACCESS));
        s.KeepSc("CreateServiceA of a second service", "second",
                 CreateTestService("QxDiffSvc2", "Qx Diff Second", ServiceCommand("lifetime=3000")));
        s.Bool("DeleteService of the second", Scm().DeleteService(s.Sc("second")));
        s.Bool("StartServiceA marked for deletion", Scm().StartServiceA(s.Sc("second"), 0, nullptr));
        g_hScm = nullptr;
    });
}

TEST(DifferentialServices, StartFailuresOfDependenciesAndLogons)
{
    Compare("ServiceDependency", [](CWorld& world, CSteps& s) {
        s.KeepSc("OpenSCManagerA", "scm", Scm().OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        g_hScm = s.Sc("scm");
        const std::string strMissing = "\"" + CDllHost::ProgramFolder() + "qxmissing.exe\"";
        s.KeepSc("CreateServiceA of a missing program", "base",
                 CreateTestService("QxDiffBase", "Qx Diff Base", strMissing));
        world.ServiceProgramMissing("QxDiffBase");
        s.KeepSc("CreateServiceA depending on it", "top",
                 CreateTestService("QxDiffTop", "Qx Diff Top", ServiceCommand("lifetime=3000"), "QxDiffBase\0"));
        s.KeepSc("CreateServiceA depending on a missing service", "orphan",
                 CreateTestService("QxDiffSvc2", "Qx Diff Orphan", ServiceCommand("lifetime=3000"), "QxDiffNone\0"));
        s.Bool("StartServiceA with a dependency that cannot start", Scm().StartServiceA(s.Sc("top"), 0, nullptr));
        s.Bool("StartServiceA of the missing program", Scm().StartServiceA(s.Sc("base"), 0, nullptr));
        s.Bool("StartServiceA with a missing dependency", Scm().StartServiceA(s.Sc("orphan"), 0, nullptr));
        g_hScm = nullptr;
    });
    Compare("ServiceLogon", [](CWorld& world, CSteps& s) {
        s.KeepSc("OpenSCManagerA", "scm", Scm().OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        g_hScm = s.Sc("scm");
        const std::string strAccount = ".\\" + UserName();
        world.KnowUser(UserName());
        s.KeepSc("CreateServiceA as the user", "svc",
                 CreateTestService("QxDiffLogon", "Qx Diff Logon", ServiceCommand("lifetime=2000"), nullptr,
                                   strAccount.c_str(), "not-the-password"));
        s.Bool("StartServiceA as an account without the logon right", Scm().StartServiceA(s.Sc("svc"), 0, nullptr));
        g_hScm = nullptr;
    });
}

// ---- system information ----

std::string Wide(const std::wstring& wstr)
{
    std::string str;
    for (wchar_t wc : wstr)
        str += Hex(static_cast<DWORD>(wc)) + " ";
    return str;
}

void ToWide(CSteps& s, const std::string& strStep, DWORD dwFlags, const std::string& bytes, int cbBytes, int cchWide)
{
    CSteps::ClearError();
    std::wstring wide(cchWide > 0 ? cchWide : 1, L'\0');
    int nResult =
        Sys().MultiByteToWideChar(CP_ACP, dwFlags, bytes.c_str(), cbBytes, cchWide > 0 ? &wide[0] : nullptr, cchWide);
    s.Row(strStep, std::to_string(nResult) + (nResult == 0  ? CSteps::Error()
                                              : cchWide > 0 ? " " + Wide(wide.substr(0, nResult))
                                                            : ""));
}

void ToBytes(CSteps& s, const std::string& strStep, DWORD dwFlags, const std::wstring& wide, int cbBytes,
             const char* pszDefault)
{
    CSteps::ClearError();
    std::string bytes(cbBytes > 0 ? cbBytes : 1, '\0');
    BOOL bUsedDefault = 7;
    int nResult = Sys().WideCharToMultiByte(CP_ACP, dwFlags, wide.c_str(), static_cast<int>(wide.size()),
                                            cbBytes > 0 ? &bytes[0] : nullptr, cbBytes, pszDefault, &bUsedDefault);
    s.Row(strStep,
          std::to_string(nResult) + (nResult == 0 ? CSteps::Error()
                                                  : (cbBytes > 0 ? " " + Escape(bytes.substr(0, nResult)) : "") +
                                                        " default=" + std::to_string(bUsedDefault)));
}

TEST(DifferentialSystem, UpperCasingAndConversionsInTheAnsiCodePage)
{
    Compare("SystemText", [](CWorld&, CSteps& s) {
        std::string high;
        for (int c = 0x80; c <= 0xFF; ++c)
            high += static_cast<char>(c);
        std::string low;
        for (int c = 0x01; c < 0x80; ++c)
            low += static_cast<char>(c);
        auto upper = [&s](const std::string& strStep, std::string text) {
            DWORD cch = Sys().CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
            s.Row(strStep, std::to_string(cch) + " " + Escape(text));
        };
        upper("CharUpperBuffA of 0x80-0xFF", high);
        upper("CharUpperBuffA of 0x01-0x7F", low);
        upper("CharUpperBuffA across a zero", std::string("ab\0cd", 5));
        CPINFO info {};
        BOOL bInfo = Sys().GetCPInfo(CP_ACP, &info);
        s.Row("GetCPInfo", std::to_string(bInfo) + " max=" + std::to_string(info.MaxCharSize) +
                               " default=" + Escape(std::string(reinterpret_cast<char*>(info.DefaultChar), 2)) +
                               " lead=" + Escape(std::string(reinterpret_cast<char*>(info.LeadByte), 4)));
        ToWide(s, "MultiByteToWideChar of 0x80-0xFF", 0, high, 128, 256);
        ToWide(s, "MultiByteToWideChar of 0x80-0xFF, invalid characters refused", MB_ERR_INVALID_CHARS, high, 128, 256);
        ToWide(s, "MultiByteToWideChar for the size", 0, high, 128, 0);
        ToWide(s, "MultiByteToWideChar with its zero", 0, "abc", -1, 10);
        ToWide(s, "MultiByteToWideChar into too little", 0, "abcdef", 6, 3);
        ToWide(s, "MultiByteToWideChar of nothing", 0, "", 0, 10);
        ToWide(s, "MultiByteToWideChar with a bad flag", 0x100, "abc", 3, 10);
        const std::wstring mixed = {L'A', 0x20AC, 0x00E9, 0x0100, 0x4E00, 0xFF21, 0x0081, 0x2019, 0x0410};
        ToBytes(s, "WideCharToMultiByte", 0, mixed, 32, nullptr);
        ToBytes(s, "WideCharToMultiByte without best fit", WC_NO_BEST_FIT_CHARS, mixed, 32, nullptr);
        const std::wstring unmapped = {L'A', 0x20AC, 0x4E00, 0x0410, 0xFF21};
        ToBytes(s, "WideCharToMultiByte with a default of its own", 0, unmapped, 32, "*");
        ToBytes(s, "WideCharToMultiByte for the size", 0, mixed, 0, nullptr);
        ToBytes(s, "WideCharToMultiByte into too little", 0, mixed, 3, nullptr);
        ToBytes(s, "WideCharToMultiByte of Latin-1 only", 0, std::wstring(L"\u00c4\u00d6\u00dc\u00df\u00ff"), 32,
                nullptr);
    });
}

TEST(DifferentialSystem, FormatMessageTexts)
{
    Compare("SystemMessages", [](CWorld&, CSteps& s) {
        constexpr DWORD kUnknownCode = 0x2A3F9;
        const DWORD codes[] = {ERROR_INVALID_FUNCTION,
                               ERROR_FILE_NOT_FOUND,
                               ERROR_ACCESS_DENIED,
                               ERROR_INVALID_HANDLE,
                               ERROR_INVALID_PARAMETER,
                               ERROR_INSUFFICIENT_BUFFER,
                               ERROR_INVALID_NAME,
                               ERROR_INVALID_SERVICE_CONTROL,
                               ERROR_SERVICE_REQUEST_TIMEOUT,
                               ERROR_SERVICE_ALREADY_RUNNING,
                               ERROR_INVALID_SERVICE_ACCOUNT,
                               ERROR_SERVICE_DISABLED,
                               ERROR_SERVICE_DOES_NOT_EXIST,
                               ERROR_SERVICE_CANNOT_ACCEPT_CTRL,
                               ERROR_SERVICE_NOT_ACTIVE,
                               ERROR_SERVICE_DEPENDENCY_FAIL,
                               ERROR_SERVICE_LOGON_FAILED,
                               ERROR_SERVICE_MARKED_FOR_DELETE,
                               ERROR_SERVICE_EXISTS,
                               ERROR_SERVICE_DEPENDENCY_DELETED,
                               ERROR_SERVICE_NEVER_STARTED,
                               ERROR_DUPLICATE_SERVICE_NAME,
                               RPC_S_SERVER_UNAVAILABLE,
                               kUnknownCode};
        for (DWORD dwCode : codes) {
            CSteps::ClearError();
            LPSTR pszText = nullptr;
            DWORD cchText =
                Sys().FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, dwCode,
                                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&pszText), 0);
            unique_hlocal text(pszText);
            s.Row(dwCode == kUnknownCode ? std::string("an unknown code's message")
                                         : "FormatMessageA " + std::to_string(dwCode),
                  cchText == 0 ? "0" + CSteps::Error() : std::to_string(cchText) + " \"" + Escape(pszText) + "\"");
        }
    });
}

// ---- accounts and the network ----

std::string SidText(const BYTE* pSid)
{
    std::string str = "S-" + std::to_string(pSid[0]) + "-" + std::to_string(pSid[7]);
    for (int n = 0; n < pSid[1]; ++n) {
        DWORD dw = 0;
        std::memcpy(&dw, pSid + 8 + 4 * n, 4);
        str += "-" + std::to_string(dw);
    }
    return str;
}

void LookUp(CSteps& s, const std::string& strStep, const char* pszSystem, const char* pszAccount, DWORD cbSid,
            DWORD cchDomain)
{
    CSteps::ClearError();
    BYTE sid[80];
    char szDomain[80];
    std::memset(szDomain, 'x', sizeof szDomain);
    SID_NAME_USE eUse = SidTypeUnknown;
    BOOL bOk = Lsa().LookupAccountNameA(pszSystem, pszAccount, cbSid > 0 ? sid : nullptr, &cbSid,
                                        cchDomain > 0 ? szDomain : nullptr, &cchDomain, &eUse);
    s.Row(strStep,
          bOk ? "TRUE " + SidText(sid) + " domain=\"" + std::string(szDomain) + "\" cch=" + std::to_string(cchDomain) +
                    " use=" + std::to_string(eUse)
              : "FALSE" + CSteps::Error() + " cb=" + std::to_string(cbSid) + " cch=" + std::to_string(cchDomain));
}

void LookUpWide(CSteps& s, const std::string& strStep, const wchar_t* pwszSystem, const wchar_t* pwszAccount)
{
    CSteps::ClearError();
    BYTE sid[80];
    WCHAR wszDomain[80] = {};
    DWORD cbSid = sizeof sid;
    DWORD cchDomain = 80;
    SID_NAME_USE eUse = SidTypeUnknown;
    BOOL bOk = Lsa().LookupAccountNameW(pwszSystem, pwszAccount, sid, &cbSid, wszDomain, &cchDomain, &eUse);
    s.Row(strStep, bOk ? "TRUE " + SidText(sid) + " domain=" + Wide(wszDomain) + " cch=" + std::to_string(cchDomain) +
                             " use=" + std::to_string(eUse)
                       : "FALSE" + CSteps::Error());
}

TEST(DifferentialAccounts, EveryoneAndUnknownAccounts)
{
    Compare("Accounts", [](CWorld&, CSteps& s) {
        LookUp(s, "LookupAccountNameA Everyone for the sizes", nullptr, "Everyone", 0, 0);
        LookUp(s, "LookupAccountNameA Everyone", nullptr, "Everyone", 80, 80);
        LookUp(s, "LookupAccountNameA everyone, on the empty system", "", "everyone", 80, 80);
        LookUp(s, "LookupAccountNameA Everyone with too small a SID", nullptr, "Everyone", 4, 80);
        LookUp(s, "LookupAccountNameA of an unknown account", nullptr, "QxNoSuchAccount42", 80, 80);
        LookUpWide(s, "LookupAccountNameW Everyone", nullptr, L"Everyone");
        LookUpWide(s, "LookupAccountNameW of an unknown account", nullptr, L"QxNoSuchAccount42");
        LSA_OBJECT_ATTRIBUTES attributes {};
        LSA_UNICODE_STRING system {};
        LSA_HANDLE hPolicy = nullptr;
        NTSTATUS status =
            Lsa().LsaOpenPolicy(&system, &attributes, POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES, &hPolicy);
        unique_lsa_handle policy(status == STATUS_SUCCESS ? hPolicy : nullptr);
        s.Row("LsaOpenPolicy as an administrator", Hex(static_cast<DWORD>(status)));
    });
}

TEST(DifferentialAccounts, NoBrowserOnTheNetwork)
{
    Compare("Network", [](CWorld&, CSteps& s) {
        LPBYTE pBuffer = nullptr;
        DWORD nRead = 7;
        DWORD nTotal = 7;
        NET_API_STATUS status =
            NetServer().NetServerEnum(nullptr, 100, &pBuffer, MAX_PREFERRED_LENGTH, &nRead, &nTotal,
                                      SV_TYPE_DOMAIN_CTRL | SV_TYPE_DOMAIN_BAKCTRL, nullptr, nullptr);
        unique_server_buffer buffer(pBuffer);
        s.Row("NetServerEnum of the controllers", std::to_string(status) + " buffer=" + (pBuffer ? "set" : "null"));
    });
}

}  // namespace
}  // namespace qx::host
