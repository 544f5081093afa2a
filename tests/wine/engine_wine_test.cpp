// The settings engine and the progress windows in the real DLL under Wine: engine files and their
// message boxes, script and manager variables on real files (also named relative to the current
// folder), the settings-loading window seen while a script is split, and the progress window.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../native/engine_reference.h"
#include "box_hook.h"
#include "host/dll_host.h"
#include "host/window_watcher.h"

namespace qx::host {
namespace {

using qx::test::MakeEngine;
using qx::test::ParseEngine;

// A fresh folder of the test's own, emptied before and after.
class CScratchFolder {
public:
    explicit CScratchFolder(const char* pszName)
    {
        char szTemp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, szTemp);
        m_strPath = std::string(szTemp) + "qxengine-" + std::to_string(GetCurrentProcessId()) + "-" + pszName + "\\";
        Clean();
        CreateDirectoryA(m_strPath.c_str(), nullptr);
    }
    ~CScratchFolder() { Clean(); }
    std::string operator/(const std::string& strName) const { return m_strPath + strName; }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA find{};
        HANDLE h = FindFirstFileA((m_strPath + "*").c_str(), &find);
        for (BOOL bMore = h != INVALID_HANDLE_VALUE; bMore; bMore = FindNextFileA(h, &find)) {
            if (find.cFileName[0] != '.')
                names.push_back(find.cFileName);
        }
        if (h != INVALID_HANDLE_VALUE)
            FindClose(h);
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    void Clean()
    {
        for (const std::string& strName : Names()) {
            SetFileAttributesA((m_strPath + strName).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA((m_strPath + strName).c_str()))
                RemoveDirectoryA((m_strPath + strName).c_str());
        }
        RemoveDirectoryA(m_strPath.c_str());
    }
    std::string m_strPath;
};

void Put(const std::string& strPath, const std::string& data)
{
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD cb = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &cb, nullptr);
    CloseHandle(h);
}

std::string Get(const std::string& strPath)
{
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<none>";
    std::string data(GetFileSize(h, nullptr), '\0');
    DWORD cb = 0;
    ReadFile(h, data.data(), static_cast<DWORD>(data.size()), &cb, nullptr);
    CloseHandle(h);
    return data.substr(0, cb);
}

std::string Text(const std::string& strEngine)
{
    return ParseEngine(strEngine).value_or(qx::test::CParsedEngine{0, 0, "<unsound>"}).strText;
}

// The boxes the DLL showed since the last call, as "text|caption|flags" of ownerless boxes.
std::vector<std::string> TakeBoxes()
{
    std::vector<std::string> boxes;
    for (const CRecordedBox& box : CBoxHook::Take())
        boxes.push_back(box.strText + "|" + box.strCaption + "|" + std::to_string(box.uType) +
                        (box.bOwnerless ? "" : "|owned"));
    return boxes;
}

// The control sits where its template puts it (x, y, width, height in dialog units).
bool ControlAt(HWND hDlg, int nId, RECT units)
{
    MapDialogRect(hDlg, &units);
    RECT rc{};
    GetWindowRect(GetDlgItem(hDlg, nId), &rc);
    MapWindowPoints(HWND_DESKTOP, hDlg, reinterpret_cast<POINT*>(&rc), 2);
    return rc.left == units.left && rc.top == units.top && rc.right - rc.left == units.right &&
           rc.bottom - rc.top == units.bottom;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CBoxHook::SetAnswerAtOnce(true);
        CBoxHook::Take();
    }
    void TearDown() override { CBoxHook::SetAnswerAtOnce(false); }
    CDllHost host;
};

// ---- engine files ----

using EngineFiles = EngineTest;

TEST_F(EngineFiles, EncryptDecryptAndVersionRoundTripEveryByte)
{
    CScratchFolder dir("files");
    std::string text;
    for (int i = 0; i < 40 * 256; ++i)
        text += static_cast<char>(i);
    Put(dir / "plain.txt", text);
    EXPECT_EQ(QX_EXPORT(host, Encrypt)((dir / "plain.txt").c_str(), (dir / "e.kix").c_str(), 0x10029), 1);
    EXPECT_EQ(Text(Get(dir / "e.kix")), text);
    EXPECT_EQ(QX_EXPORT(host, GetEngineVersion)((dir / "e.kix").c_str()), 41);
    EXPECT_EQ(QX_EXPORT(host, Decrypt)((dir / "e.kix").c_str(), (dir / "out.txt").c_str()), 1);
    EXPECT_EQ(Get(dir / "out.txt"), text);
    EXPECT_EQ(QX_EXPORT(host, Decrypt)((dir / "e.kix").c_str(), (dir / "e.kix").c_str()), 1);  // in place
    EXPECT_EQ(Get(dir / "e.kix"), text);
    for (const auto& [strFile, nVersion] : std::vector<std::pair<std::string, int>>{
             {MakeEngine("x", 25, ""), 0}, {MakeEngine("x", 0xFFFF, ""), 65535}, {"B\x29", 0}, {"", 0}}) {
        Put(dir / "e.kix", strFile);
        EXPECT_EQ(QX_EXPORT(host, GetEngineVersion)((dir / "e.kix").c_str()), nVersion);
    }
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"e.kix", "out.txt", "plain.txt"}));
}

TEST_F(EngineFiles, FailuresShowTheirBoxesAndLeaveEveryFile)
{
    CScratchFolder dir("failures");
    std::string good = MakeEngine("$a='1'\r\n", 41, "");
    std::string corrupt = good;
    corrupt[5] = static_cast<char>(corrupt[5] + 1);
    const std::string kInvalid = "Your engine has an invalid version number.|Invalid Engine Version|0";
    const std::string kCorrupt = "Engine Corrupt|File Error|4096";
    for (const auto& [strEngine, strBox] : std::vector<std::pair<std::string, std::string>>{
             {"", kInvalid}, {"MZ", kInvalid}, {corrupt, kCorrupt}, {good.substr(0, 7), kCorrupt}}) {
        Put(dir / "e.kix", strEngine);
        Put(dir / "out.txt", "keep me");
        EXPECT_EQ(QX_EXPORT(host, Decrypt)((dir / "e.kix").c_str(), (dir / "out.txt").c_str()), 0);
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{strBox});
        EXPECT_EQ(Get(dir / "out.txt"), "keep me");
    }
    std::string strMissing = dir / "missing";
    EXPECT_EQ(QX_EXPORT(host, Decrypt)(strMissing.c_str(), (dir / "out.txt").c_str()), 0);
    EXPECT_EQ(QX_EXPORT(host, Encrypt)(strMissing.c_str(), (dir / "out.txt").c_str(), 41), 0);
    EXPECT_EQ(TakeBoxes(), (std::vector<std::string>{"Cannot Find Engine : " + strMissing + "|Error|4096",
                                                     "Cannot Find Engine : " + strMissing + "|Error|0"}));
    Put(dir / "e.kix", good);
    Put(dir / "locked", "locked");
    SetFileAttributesA((dir / "locked").c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryA((dir / "folder").c_str(), nullptr);
    for (const std::string& strDest : {dir / "locked", dir / "folder", dir / "missing\\out.txt"}) {
        EXPECT_EQ(QX_EXPORT(host, Decrypt)((dir / "e.kix").c_str(), strDest.c_str()), 0) << strDest;
        EXPECT_EQ(QX_EXPORT(host, Encrypt)((dir / "out.txt").c_str(), strDest.c_str(), 41), 0) << strDest;
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{"Cannot open output.|File Error|0"});
    }
    EXPECT_EQ(Get(dir / "locked"), "locked");
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"e.kix", "folder", "locked", "out.txt"}));
}

// ---- script and manager variables ----

// Sees the settings-loading window of this thread: every position sent to its bar, and its text,
// range, styles and geometry as it is destroyed.
class CLoadingWindowSpy {
public:
    CLoadingWindowSpy()
    {
        s_pSpy = this;
        m_hCbt = SetWindowsHookExA(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
        m_hCall = SetWindowsHookExA(WH_CALLWNDPROC, CallProc, nullptr, GetCurrentThreadId());
    }
    ~CLoadingWindowSpy()
    {
        UnhookWindowsHookEx(m_hCbt);
        UnhookWindowsHookEx(m_hCall);
        s_pSpy = nullptr;
    }
    std::vector<std::string> m_destroyed;  // "text|low..high|pos|styles ok|geometry ok"
    std::vector<int> m_positions;

private:
    static bool IsLoadingWindow(HWND hDlg) { return GetDlgItem(hDlg, 0xFFFF) && GetDlgItem(hDlg, 1004); }
    static LRESULT CALLBACK CbtProc(int nCode, WPARAM wParam, LPARAM lParam)
    {
        auto hDlg = reinterpret_cast<HWND>(wParam);
        if (nCode == HCBT_DESTROYWND && IsLoadingWindow(hDlg)) {
            char szText[128] = {};
            GetWindowTextA(GetDlgItem(hDlg, 0xFFFF), szText, sizeof szText);
            int nLow = 0;
            int nHigh = 0;
            CWindowWatcher::ProgressRange(GetDlgItem(hDlg, 1004), &nLow, &nHigh);
            auto dwStyle = static_cast<DWORD>(GetWindowLongA(hDlg, GWL_STYLE));
            RECT client{};
            RECT size{0, 0, 186, 35};
            GetClientRect(hDlg, &client);
            MapDialogRect(hDlg, &size);
            bool bGeometry = ControlAt(hDlg, 0xFFFF, {7, 6, 172, 8}) && ControlAt(hDlg, 1004, {7, 21, 172, 6}) &&
                             EqualRect(&client, &size);
            s_pSpy->m_destroyed.push_back(
                std::string(szText) + "|" + std::to_string(nLow) + ".." + std::to_string(nHigh) + "|" +
                std::to_string(CWindowWatcher::ProgressPos(GetDlgItem(hDlg, 1004))) + "|" +
                ((dwStyle & (WS_POPUP | WS_BORDER | WS_CAPTION)) == (WS_POPUP | WS_BORDER) ? "popup" : "?") + "|" +
                (bGeometry ? "in place" : "misplaced"));
        }
        return CallNextHookEx(nullptr, nCode, wParam, lParam);
    }
    static LRESULT CALLBACK CallProc(int nCode, WPARAM wParam, LPARAM lParam)
    {
        const auto* pMsg = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (nCode == HC_ACTION && pMsg->message == PBM_SETPOS && IsLoadingWindow(GetParent(pMsg->hwnd)))
            s_pSpy->m_positions.push_back(static_cast<int>(pMsg->wParam));
        return CallNextHookEx(nullptr, nCode, wParam, lParam);
    }
    static CLoadingWindowSpy* s_pSpy;
    HHOOK m_hCbt;
    HHOOK m_hCall;
};

CLoadingWindowSpy* CLoadingWindowSpy::s_pSpy = nullptr;

class EngineVars : public EngineTest {
protected:
    struct CBuffers {
        std::vector<std::vector<char>> buffers;
        explicit CBuffers(std::vector<std::string> names)
        {
            names.resize(6);
            for (const std::string& strName : names) {
                buffers.emplace_back(4096, '\0');
                std::copy(strName.begin(), strName.end(), buffers.back().begin());
            }
        }
        char* operator[](size_t i) { return buffers[i].data(); }
        std::string Text(size_t i) const { return buffers[i].data(); }
    };
};

TEST_F(EngineVars, ScriptAndManagerVariablesNamedRelativeToTheCurrentFolder)
{
    CScratchFolder dir("vars");
    char szOld[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, szOld);
    ASSERT_TRUE(SetCurrentDirectoryA((dir / "").c_str()));
    Put("e.kix", MakeEngine("; script\n$EngineVersion='4.1'\n$Server='PDC'\r\n", 7, "ab"));
    Put("m.ini", std::string("[File Locations]\r\nName=J\xFFrg\r\nEditor=NOTEPAD.EXE\r\nZero=") + '\0' + "\r\n");
    QX_EXPORT(host, SetScriptVars)("e.kix", "$SERVER='BDC'", "$Logs='C:\\logs'", "", " x", "=y", "");
    CBuffers s({"$server", "$logs", "$none", ""});
    QXBOOL bRead = QX_EXPORT(host, GetScriptVars)("e.kix", s[0], s[1], s[2], s[3], s[4], s[5]);
    QX_EXPORT(host, SetManagerVars)("m.ini", "name=J\xFFrg", "Scripts=\\\\PDC\\NETLOGON", "", "=x", "");
    QX_EXPORT(host, SetManagerVars)("new.ini", "Logs=C:\\logs", "", "", "", "");
    CBuffers m({"SCRIPTS", "Name", "Missing"});
    QX_EXPORT(host, GetManagerVars)("m.ini", m[0], m[1], m[2], m[3], m[4], m[5]);
    CBuffers n({"Logs"});
    QX_EXPORT(host, GetManagerVars)("new.ini", n[0], n[1], n[2], n[3], n[4], n[5]);
    SetCurrentDirectoryA(szOld);

    EXPECT_EQ(Text(Get(dir / "e.kix")), "; script\r\n$EngineVersion='4.1'\r\n$SERVER='BDC'\r\n$Logs='C:\\logs'\r\n");
    EXPECT_EQ(ParseEngine(Get(dir / "e.kix")).value_or(qx::test::CParsedEngine()).nVersion, 41);
    EXPECT_EQ(bRead, 1);
    EXPECT_EQ(s.Text(0) + "|" + s.Text(1) + "|" + s.Text(2) + "|" + s.Text(3), "$SERVER='BDC'\r|$Logs='C:\\logs'\r|$none|");
    EXPECT_EQ(Get(dir / "m.ini"), std::string("[File Locations]\r\nname=J\xFFrg\r\nEditor=NOTEPAD.EXE\r\nZero=") +
                                      '\0' + "\r\nScripts=\\\\PDC\\NETLOGON\r\n");
    EXPECT_EQ(m.Text(0) + "|" + m.Text(1) + "|" + m.Text(2) + "|" + m.Text(5),
              "Scripts=\\\\PDC\\NETLOGON|name=J\xFFrg|Missing|NOTEPAD.EXE");
    EXPECT_EQ(Get(dir / "new.ini"), "Logs=C:\\logs\r\n");
    EXPECT_EQ(n.Text(0) + "|" + n.Text(5), "Logs=C:\\logs|ZARIZAV.EXE");
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"e.kix", "m.ini", "new.ini"}));
}

TEST_F(EngineVars, TheLoadingWindowAppearsWhileTheScriptIsSplit)
{
    CScratchFolder dir("loading");
    std::string script;
    std::vector<int> lineStarts;
    for (int i = 0; i < 2000; ++i) {
        lineStarts.push_back(static_cast<int>(script.size()) + 1);
        script += "$v" + std::to_string(i) + "='" + std::string(40, 'x') + "'\r\n";  // 70,000+ bytes in all
    }
    Put(dir / "e.kix", MakeEngine(script, 41, ""));
    CLoadingWindowSpy spy;
    CBuffers b({"$v1999"});
    EXPECT_EQ(QX_EXPORT(host, GetScriptVars)((dir / "e.kix").c_str(), b[0], b[1], b[2], b[3], b[4], b[5]), 1);
    EXPECT_EQ(b.Text(0), "$v1999='" + std::string(40, 'x') + "'\r");
    EXPECT_EQ(spy.m_destroyed, std::vector<std::string>{"Updating Settings, Please Wait....|0.." +
                                                         std::to_string(script.size()) + "|" +
                                                         std::to_string(lineStarts.back()) + "|popup|in place"});
    EXPECT_EQ(spy.m_positions, lineStarts);  // once per line
}

TEST_F(EngineVars, ScriptsOverTheLimitAreRefusedWithTheirBox)
{
    CScratchFolder dir("toolarge");
    std::string strEngine = dir / "e.kix";
    Put(dir / "plain.txt", "$v='1'\r\n" + std::string(2000000, 'x'));
    ASSERT_EQ(QX_EXPORT(host, Encrypt)((dir / "plain.txt").c_str(), strEngine.c_str(), 41), 1);
    std::string engine = Get(strEngine);
    CBuffers b({"$v"});
    EXPECT_EQ(QX_EXPORT(host, GetScriptVars)(strEngine.c_str(), b[0], b[1], b[2], b[3], b[4], b[5]), 0);
    QX_EXPORT(host, SetScriptVars)(strEngine.c_str(), "$v='2'", "", "", "", "", "");
    std::string strBox = "Engine too large : " + strEngine + "|Error|4096";
    EXPECT_EQ(TakeBoxes(), (std::vector<std::string>{strBox, strBox}));
    EXPECT_EQ(b.Text(0), "$v");
    EXPECT_EQ(Get(strEngine), engine);
    // A manager file held open without sharing cannot be read, so it is not rewritten.
    Put(dir / "m.ini", "Scripts=old\r\n");
    HANDLE hHeld = CreateFileA((dir / "m.ini").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    QX_EXPORT(host, SetManagerVars)((dir / "m.ini").c_str(), "Scripts=new", "", "", "", "");
    CloseHandle(hHeld);
    EXPECT_EQ(Get(dir / "m.ini"), "Scripts=old\r\n");
}

// ---- the installation progress window ----

class EngineProgress : public EngineTest {
protected:
    void TearDown() override
    {
        QX_EXPORT(host, SPClose)();
        EngineTest::TearDown();
    }
    static std::vector<HWND> Windows()
    {
        std::vector<HWND> found;
        for (HWND hWnd : CWindowWatcher::TopLevelWindowsOfThisProcess()) {
            if (CWindowWatcher::Read(hWnd).strCaption == "Installing Services")
                found.push_back(hWnd);
        }
        return found;
    }
    static std::string State(HWND hDlg)  // "label|low..high|pos"
    {
        CWindowInfo info = CWindowWatcher::Read(hDlg);
        int nLow = 0;
        int nHigh = 0;
        CWindowWatcher::ProgressRange(GetDlgItem(hDlg, 1004), &nLow, &nHigh);
        return info.Control(1009)->strText + "|" + std::to_string(nLow) + ".." + std::to_string(nHigh) + "|" +
               std::to_string(CWindowWatcher::ProgressPos(GetDlgItem(hDlg, 1004)));
    }
};

TEST_F(EngineProgress, TheWindowOfTemplate108ShowsLabelRangeAndPosition)
{
    QX_EXPORT(host, SPOpen)();
    ASSERT_EQ(Windows().size(), 1u);
    HWND hDlg = Windows()[0];
    CWindowInfo info = CWindowWatcher::Read(hDlg);
    EXPECT_EQ(info.strClass, "#32770");
    EXPECT_EQ(info.dwStyle & (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_SYSMODAL),
              static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_SYSMODAL));
    EXPECT_EQ(GetWindow(hDlg, GW_OWNER), nullptr);
    EXPECT_EQ(info.Control(1009)->strClass, "Static");
    EXPECT_EQ(info.Control(1004)->strClass, PROGRESS_CLASSA);
    EXPECT_TRUE(info.Control(1004)->dwStyle & PBS_SMOOTH);
    EXPECT_TRUE(ControlAt(hDlg, 1009, {7, 7, 172, 21}) && ControlAt(hDlg, 1004, {7, 31, 172, 7}));
    EXPECT_EQ(State(hDlg), "|0..100|0");  // the template's "Please Wait..." is never seen

    QX_EXPORT(host, SPSetText)("Installing the RPC service");
    QX_EXPORT(host, SPSetRange)(0, 200000);
    QX_EXPORT(host, SPSetPos)(100000);
    QX_EXPORT(host, SPOpen)();  // changes nothing
    EXPECT_EQ(Windows(), std::vector<HWND>{hDlg});
    EXPECT_EQ(State(hDlg), "Installing the RPC service|0..200000|100000");
    QX_EXPORT(host, SPSetText)(nullptr);
    EXPECT_EQ(State(hDlg), "|0..200000|100000");

    QX_EXPORT(host, SPClose)();
    QX_EXPORT(host, SPClose)();
    EXPECT_FALSE(IsWindow(hDlg));
    QX_EXPORT(host, SPSetText)("nobody");  // no window: nothing happens, none opens
    QX_EXPORT(host, SPSetPos)(5);
    EXPECT_TRUE(Windows().empty());
    QX_EXPORT(host, SPOpen)();
    ASSERT_EQ(Windows().size(), 1u);
    EXPECT_EQ(State(Windows()[0]), "|0..100|0");
}

TEST(EngineProgressUnload, UnloadingTheLibraryTakesItsWindowWithIt)
{
    HWND hDlg = nullptr;
    {
        CDllHost host;
        QX_EXPORT(host, SPOpen)();
        hDlg = FindWindowA(nullptr, "Installing Services");
        ASSERT_NE(hDlg, nullptr);
    }  // the last reference: the library is unloaded
    EXPECT_FALSE(IsWindow(hDlg));
}

}  // namespace
}  // namespace qx::host
