// The settings engine and the progress windows in the real DLL under Wine: engine files and their
// message boxes, script and manager variables on real files, the settings-loading window seen while
// a script is split, and the installation progress window's real controls.
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

constexpr UINT kSystemModal = MB_OK | MB_SYSTEMMODAL;
constexpr UINT kApplModal = MB_OK;

// ---- files ----

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
        if (h == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (std::string(find.cFileName) != "." && std::string(find.cFileName) != "..")
                names.push_back(find.cFileName);
        } while (FindNextFileA(h, &find));
        FindClose(h);
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    void Clean()
    {
        for (const std::string& strName : Names()) {
            std::string strPath = m_strPath + strName;
            SetFileAttributesA(strPath.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(strPath.c_str()))
                RemoveDirectoryA(strPath.c_str());
        }
        RemoveDirectoryA(m_strPath.c_str());
    }
    std::string m_strPath;
};

void WriteFileBytes(const std::string& strPath, const std::string& data)
{
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << strPath;
    DWORD cb = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &cb, nullptr);
    CloseHandle(h);
    ASSERT_EQ(cb, data.size());
}

std::string ReadFileBytes(const std::string& strPath)
{
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<none>";
    std::string data(GetFileSize(h, nullptr), '\0');
    DWORD cb = 0;
    ReadFile(h, data.data(), static_cast<DWORD>(data.size()), &cb, nullptr);
    CloseHandle(h);
    data.resize(cb);
    return data;
}

std::string AllBytes()
{
    std::string text;
    for (int i = 0; i < 256; ++i)
        text += static_cast<char>(i);
    return text;
}

// The boxes the DLL showed since the last call, as "text|caption|flags|ownerless".
std::vector<std::string> TakeBoxes()
{
    std::vector<std::string> boxes;
    for (const CRecordedBox& box : CBoxHook::Take())
        boxes.push_back(box.strText + "|" + box.strCaption + "|" + std::to_string(box.uType) + "|" +
                        (box.bOwnerless ? "ownerless" : "owned"));
    return boxes;
}

std::string Box(const std::string& strText, const char* pszCaption, UINT uType)
{
    return strText + "|" + pszCaption + "|" + std::to_string(uType) + "|ownerless";
}

// The control sits where its template puts it: units holds x, y, width and height in dialog units,
// each mapped to pixels on its own as the dialog manager does.
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

// ---- EngineFiles ----

class EngineFiles : public EngineTest {};

TEST_F(EngineFiles, EncryptAndDecryptRoundTripEveryByte)
{
    CScratchFolder dir("roundtrip");
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += AllBytes() + "\r\n";
    WriteFileBytes(dir / "plain.txt", text);
    EXPECT_EQ(QX_EXPORT(host, Encrypt)((dir / "plain.txt").c_str(), (dir / "engine.kix").c_str(), 0x10029), 1);
    auto parsed = ParseEngine(ReadFileBytes(dir / "engine.kix"));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->strText, text);
    EXPECT_EQ(parsed->nVersion, 0x0029);
    EXPECT_LE(parsed->nFiller, 100);
    EXPECT_EQ(QX_EXPORT(host, GetEngineVersion)((dir / "engine.kix").c_str()), 41);

    EXPECT_EQ(QX_EXPORT(host, Decrypt)((dir / "engine.kix").c_str(), (dir / "out.txt").c_str()), 1);
    EXPECT_EQ(ReadFileBytes(dir / "out.txt"), text);
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"engine.kix", "out.txt", "plain.txt"}));
}

TEST_F(EngineFiles, InPlaceDecryptAndEncryptReplaceTheFile)
{
    CScratchFolder dir("inplace");
    std::string text = "$EngineVersion='4.1'\r\n" + AllBytes();
    WriteFileBytes(dir / "engine.kix", MakeEngine(text, 41, "filler"));
    EXPECT_EQ(QX_EXPORT(host, Decrypt)((dir / "engine.kix").c_str(), (dir / "engine.kix").c_str()), 1);
    EXPECT_EQ(ReadFileBytes(dir / "engine.kix"), text);
    EXPECT_EQ(QX_EXPORT(host, Encrypt)((dir / "engine.kix").c_str(), (dir / "engine.kix").c_str(), 41), 1);
    EXPECT_EQ(ParseEngine(ReadFileBytes(dir / "engine.kix")).value_or(qx::test::CParsedEngine()).strText, text);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"engine.kix"});
}

TEST_F(EngineFiles, UnsoundEnginesShowTheirBoxesAndLeaveTheDestination)
{
    CScratchFolder dir("unsound");
    std::string good = MakeEngine("$a='1'\r\n", 41, "");
    std::string corrupt = good;
    corrupt[5] = static_cast<char>(corrupt[5] + 1);
    const struct {
        std::string strEngine;
        std::string strBox;
    } cases[] = {
        {"", Box("Your engine has an invalid version number.", "Invalid Engine Version", kApplModal)},
        {"MZ", Box("Your engine has an invalid version number.", "Invalid Engine Version", kApplModal)},
        {corrupt, Box("Engine Corrupt", "File Error", kSystemModal)},
        {good.substr(0, good.size() - 1), Box("Engine Corrupt", "File Error", kSystemModal)},
    };
    auto pfnDecrypt = QX_EXPORT(host, Decrypt);
    for (const auto& c : cases) {
        WriteFileBytes(dir / "engine.kix", c.strEngine);
        WriteFileBytes(dir / "out.txt", "keep me");
        EXPECT_EQ(pfnDecrypt((dir / "engine.kix").c_str(), (dir / "out.txt").c_str()), 0);
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{c.strBox});
        EXPECT_EQ(ReadFileBytes(dir / "out.txt"), "keep me");
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{"engine.kix", "out.txt"}));
    }
    std::string strMissing = dir / "missing.kix";
    EXPECT_EQ(pfnDecrypt(strMissing.c_str(), (dir / "out.txt").c_str()), 0);
    EXPECT_EQ(TakeBoxes(), std::vector<std::string>{Box("Cannot Find Engine : " + strMissing, "Error", kSystemModal)});
}

TEST_F(EngineFiles, UnwritableDestinationsFailAndKeepWhatWasThere)
{
    CScratchFolder dir("unwritable");
    WriteFileBytes(dir / "engine.kix", MakeEngine("text", 41, ""));
    WriteFileBytes(dir / "plain.txt", "text");
    WriteFileBytes(dir / "locked", "locked");
    SetFileAttributesA((dir / "locked").c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryA((dir / "folder").c_str(), nullptr);
    for (const std::string& strDest : {dir / "locked", dir / "folder", dir / "missing\\out.txt"}) {
        EXPECT_EQ(QX_EXPORT(host, Decrypt)((dir / "engine.kix").c_str(), strDest.c_str()), 0) << strDest;
        EXPECT_EQ(TakeBoxes(), std::vector<std::string>{Box("Cannot open output.", "File Error", kApplModal)});
        EXPECT_EQ(QX_EXPORT(host, Encrypt)((dir / "plain.txt").c_str(), strDest.c_str(), 41), 0) << strDest;
        EXPECT_TRUE(TakeBoxes().empty());
    }
    EXPECT_EQ(ReadFileBytes(dir / "locked"), "locked");
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"engine.kix", "folder", "locked", "plain.txt"}));
}

TEST_F(EngineFiles, EncryptOfAMissingSourceReturnsZeroAfterAnApplicationModalBox)
{
    CScratchFolder dir("encryptmissing");
    WriteFileBytes(dir / "engine.kix", "existing");
    std::string strMissing = dir / "missing.txt";
    QXBOOL bResult = QX_EXPORT(host, Encrypt)(strMissing.c_str(), (dir / "engine.kix").c_str(), 41);
    EXPECT_EQ(bResult, 0);
    EXPECT_EQ(TakeBoxes(), std::vector<std::string>{Box("Cannot Find Engine : " + strMissing, "Error", kApplModal)});
    EXPECT_EQ(ReadFileBytes(dir / "engine.kix"), "existing");
}

TEST_F(EngineFiles, GetEngineVersionReadsTheHeaderOnly)
{
    CScratchFolder dir("version");
    auto pfn = QX_EXPORT(host, GetEngineVersion);
    const std::pair<std::string, int> cases[] = {
        {MakeEngine("x", 25, ""), 0},        {MakeEngine("x", 26, ""), 26},  {MakeEngine("x", 0xFFFF, ""), 65535},
        {std::string("B\x29\x00", 3), 41},  {"B\x29", 0},                   {"", 0},
        {std::string("A\x29\x00", 3), 0},
    };
    for (const auto& [strFile, nExpected] : cases) {
        WriteFileBytes(dir / "engine.kix", strFile);
        EXPECT_EQ(pfn((dir / "engine.kix").c_str()), nExpected) << strFile.size();
    }
    EXPECT_EQ(pfn((dir / "missing.kix").c_str()), 0);
    EXPECT_TRUE(TakeBoxes().empty());
}

// ---- EngineVars ----

// Watches the windows of this thread for the settings-loading window: its text, bar and geometry as
// it is destroyed, and every position sent to its bar.
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

    struct CSeen {
        std::string strText;
        DWORD dwStyle = 0;
        DWORD dwExStyle = 0;
        int nLow = -1;
        int nHigh = -1;
        int nPos = -1;
        bool bGeometry = false;
    };
    std::vector<CSeen> m_destroyed;
    std::vector<int> m_positions;

private:
    static bool IsLoadingBar(HWND hWnd)
    {
        char szClass[64] = {};
        GetClassNameA(hWnd, szClass, sizeof szClass);
        HWND hParent = GetParent(hWnd);
        return std::string(szClass) == PROGRESS_CLASSA && GetDlgCtrlID(hWnd) == 1004 && hParent != nullptr &&
               GetDlgItem(hParent, 0xFFFF) != nullptr;
    }
    static LRESULT CALLBACK CbtProc(int nCode, WPARAM wParam, LPARAM lParam)
    {
        HWND hWnd = reinterpret_cast<HWND>(wParam);
        if (nCode == HCBT_DESTROYWND && s_pSpy != nullptr && GetDlgItem(hWnd, 1004) != nullptr &&
            GetDlgItem(hWnd, 0xFFFF) != nullptr) {
            CSeen seen;
            char szText[128] = {};
            GetWindowTextA(GetDlgItem(hWnd, 0xFFFF), szText, sizeof szText);
            seen.strText = szText;
            seen.dwStyle = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE));
            seen.dwExStyle = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_EXSTYLE));
            CWindowWatcher::ProgressRange(GetDlgItem(hWnd, 1004), &seen.nLow, &seen.nHigh);
            seen.nPos = CWindowWatcher::ProgressPos(GetDlgItem(hWnd, 1004));
            RECT client{};
            GetClientRect(hWnd, &client);
            RECT size{0, 0, 186, 35};
            MapDialogRect(hWnd, &size);
            seen.bGeometry = ControlAt(hWnd, 0xFFFF, {7, 6, 172, 8}) &&
                             ControlAt(hWnd, 1004, {7, 21, 172, 6}) && client.right == size.right &&
                             client.bottom == size.bottom;
            s_pSpy->m_destroyed.push_back(seen);
        }
        return CallNextHookEx(nullptr, nCode, wParam, lParam);
    }
    static LRESULT CALLBACK CallProc(int nCode, WPARAM wParam, LPARAM lParam)
    {
        const auto* pMsg = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (nCode == HC_ACTION && s_pSpy != nullptr && pMsg->message == PBM_SETPOS && IsLoadingBar(pMsg->hwnd))
            s_pSpy->m_positions.push_back(static_cast<int>(pMsg->wParam));
        return CallNextHookEx(nullptr, nCode, wParam, lParam);
    }

    static CLoadingWindowSpy* s_pSpy;
    HHOOK m_hCbt = nullptr;
    HHOOK m_hCall = nullptr;
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

TEST_F(EngineVars, SetThenGetScriptVarsOnARealEngine)
{
    CScratchFolder dir("scriptvars");
    std::string strEngine = dir / "engine.kix";
    WriteFileBytes(strEngine, MakeEngine("; script\n$EngineVersion='4.1'\n$Server='PDC'\r\n", 7, "ab"));
    QX_EXPORT(host, SetScriptVars)(strEngine.c_str(), "$SERVER='BDC'", "$Logs='C:\\logs'", "", " x", "=y", "");
    auto parsed = ParseEngine(ReadFileBytes(strEngine));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->strText, "; script\r\n$EngineVersion='4.1'\r\n$SERVER='BDC'\r\n$Logs='C:\\logs'\r\n");
    EXPECT_EQ(parsed->nVersion, 41);

    CBuffers b({"$server", "$logs", "$none", ""});
    QXBOOL bRead = QX_EXPORT(host, GetScriptVars)(strEngine.c_str(), b[0], b[1], b[2], b[3], b[4], b[5]);
    EXPECT_EQ(bRead, 1);
    EXPECT_EQ(b.Text(0), "$SERVER='BDC'\r");
    EXPECT_EQ(b.Text(1), "$Logs='C:\\logs'\r");
    EXPECT_EQ(b.Text(2), "$none");
    EXPECT_EQ(b.Text(3), "");
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"engine.kix"});
}

TEST_F(EngineVars, FilesNamedRelativeToTheCurrentFolderAreReplaced)
{
    CScratchFolder dir("relative");
    char szOld[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, szOld);
    ASSERT_TRUE(SetCurrentDirectoryA((dir / "").c_str()));
    WriteFileBytes("engine.kix", MakeEngine("$Server='PDC'\r\n", 41, ""));
    WriteFileBytes("qxmgr.ini", "Scripts=old\r\n");
    QX_EXPORT(host, SetScriptVars)("engine.kix", "$Server='BDC'", "", "", "", "", "");
    QX_EXPORT(host, SetManagerVars)("qxmgr.ini", "Scripts=new", "", "", "", "");
    std::string engine = ReadFileBytes("engine.kix");
    std::string manager = ReadFileBytes("qxmgr.ini");
    QXBOOL bDecrypted = QX_EXPORT(host, Decrypt)("engine.kix", "engine.kix");
    std::string decrypted = ReadFileBytes("engine.kix");
    SetCurrentDirectoryA(szOld);
    EXPECT_EQ(ParseEngine(engine).value_or(qx::test::CParsedEngine()).strText, "$Server='BDC'\r\n");
    EXPECT_EQ(manager, "Scripts=new\r\n");
    EXPECT_EQ(bDecrypted, 1);
    EXPECT_EQ(decrypted, "$Server='BDC'\r\n");
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"engine.kix", "qxmgr.ini"}));
}

TEST_F(EngineVars, TheLoadingWindowAppearsWhileTheScriptIsSplit)
{
    CScratchFolder dir("loading");
    std::string strEngine = dir / "engine.kix";
    std::string script;
    std::vector<int> lineStarts;
    for (int i = 0; i < 2000; ++i) {
        lineStarts.push_back(static_cast<int>(script.size()) + 1);
        script += "$v" + std::to_string(i) + "='" + std::string(40, 'x') + "'\r\n";  // 70,000+ bytes in all
    }
    WriteFileBytes(strEngine, MakeEngine(script, 41, ""));
    CLoadingWindowSpy spy;
    CBuffers b({"$v1999"});
    EXPECT_EQ(QX_EXPORT(host, GetScriptVars)(strEngine.c_str(), b[0], b[1], b[2], b[3], b[4], b[5]), 1);
    EXPECT_EQ(b.Text(0), "$v1999='" + std::string(40, 'x') + "'\r");
    ASSERT_EQ(spy.m_destroyed.size(), 1u);
    const auto& seen = spy.m_destroyed[0];
    EXPECT_EQ(seen.strText, "Updating Settings, Please Wait....");
    EXPECT_EQ(seen.nLow, 0);
    EXPECT_EQ(seen.nHigh, static_cast<int>(script.size()));  // above 65535, kept whole
    EXPECT_EQ(seen.nPos, lineStarts.back());
    EXPECT_TRUE(seen.bGeometry);
    EXPECT_EQ(seen.dwStyle & (WS_POPUP | WS_BORDER | WS_CAPTION | WS_SYSMENU), static_cast<DWORD>(WS_POPUP | WS_BORDER));
    EXPECT_FALSE(seen.dwExStyle & WS_EX_TOPMOST);
    EXPECT_EQ(spy.m_positions, lineStarts);  // once per line
    EXPECT_TRUE(CWindowWatcher::Find("", "#32770") == nullptr);
}

TEST_F(EngineVars, TooLargeScriptsAreRefusedWithTheirBox)
{
    CScratchFolder dir("toolarge");
    std::string strEngine = dir / "engine.kix";
    WriteFileBytes(dir / "plain.txt", "$v='1'\r\n" + std::string(2000000, 'x'));
    ASSERT_EQ(QX_EXPORT(host, Encrypt)((dir / "plain.txt").c_str(), strEngine.c_str(), 41), 1);
    std::string engine = ReadFileBytes(strEngine);
    CBuffers b({"$v"});
    EXPECT_EQ(QX_EXPORT(host, GetScriptVars)(strEngine.c_str(), b[0], b[1], b[2], b[3], b[4], b[5]), 0);
    EXPECT_EQ(b.Text(0), "$v");
    QX_EXPORT(host, SetScriptVars)(strEngine.c_str(), "$v='2'", "", "", "", "", "");
    std::string strBox = Box("Engine too large : " + strEngine, "Error", kSystemModal);
    EXPECT_EQ(TakeBoxes(), (std::vector<std::string>{strBox, strBox}));
    EXPECT_EQ(ReadFileBytes(strEngine), engine);
    // Decrypt has no limit.
    EXPECT_EQ(QX_EXPORT(host, Decrypt)(strEngine.c_str(), (dir / "out.txt").c_str()), 1);
    EXPECT_EQ(ReadFileBytes(dir / "out.txt").size(), 2000008u);
}

TEST_F(EngineVars, ManagerVarsWriteCrLfAndKeepEveryByte)
{
    CScratchFolder dir("manager");
    std::string strManager = dir / "qxmgr.ini";
    std::string file = std::string("[File Locations]\r\nName=J\xFFrg\r\nEditor=NOTEPAD.EXE\r\nZero=") + '\0' + "\r\n";
    WriteFileBytes(strManager, file);
    QX_EXPORT(host, SetManagerVars)(strManager.c_str(), "name=J\xFFrg", "Scripts=\\\\PDC\\NETLOGON", "", "=x", "");
    EXPECT_EQ(ReadFileBytes(strManager),
              std::string("[File Locations]\r\nname=J\xFFrg\r\nEditor=NOTEPAD.EXE\r\nZero=") + '\0' +
                  "\r\nScripts=\\\\PDC\\NETLOGON\r\n");
    CBuffers b({"SCRIPTS", "Name", "Missing"});
    QX_EXPORT(host, GetManagerVars)(strManager.c_str(), b[0], b[1], b[2], b[3], b[4], b[5]);
    EXPECT_EQ(b.Text(0), "Scripts=\\\\PDC\\NETLOGON");
    EXPECT_EQ(b.Text(1), "name=J\xFFrg");
    EXPECT_EQ(b.Text(2), "Missing");
    EXPECT_EQ(b.Text(5), "NOTEPAD.EXE");

    // A manager file that does not exist is created with the lines; its editor is the default.
    std::string strNew = dir / "new.ini";
    QX_EXPORT(host, SetManagerVars)(strNew.c_str(), "Logs=C:\\logs", "", "", "", "");
    EXPECT_EQ(ReadFileBytes(strNew), "Logs=C:\\logs\r\n");
    CBuffers c({"Logs"});
    QX_EXPORT(host, GetManagerVars)(strNew.c_str(), c[0], c[1], c[2], c[3], c[4], c[5]);
    EXPECT_EQ(c.Text(0), "Logs=C:\\logs");
    EXPECT_EQ(c.Text(5), "ZARIZAV.EXE");
    EXPECT_TRUE(TakeBoxes().empty());
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"new.ini", "qxmgr.ini"}));
}

TEST_F(EngineVars, AManagerFileThatCannotBeOpenedIsNotEmptied)
{
    CScratchFolder dir("managerlocked");
    std::string strManager = dir / "qxmgr.ini";
    WriteFileBytes(strManager, "Scripts=old\r\n");
    // Held open without sharing by another: it cannot be read, so it must not be rewritten.
    HANDLE hHeld = CreateFileA(strManager.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hHeld, INVALID_HANDLE_VALUE);
    QX_EXPORT(host, SetManagerVars)(strManager.c_str(), "Scripts=new", "", "", "", "");
    CloseHandle(hHeld);
    EXPECT_EQ(ReadFileBytes(strManager), "Scripts=old\r\n");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"qxmgr.ini"});
}

// ---- EngineProgress ----

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
    static std::string Label(HWND hDlg)
    {
        char szText[6000] = {};
        GetWindowTextA(GetDlgItem(hDlg, 1009), szText, sizeof szText);
        return szText;
    }
};

TEST_F(EngineProgress, OpensTheTemplateWindowWithAnEmptyLabel)
{
    QX_EXPORT(host, SPOpen)();
    std::vector<HWND> windows = Windows();
    ASSERT_EQ(windows.size(), 1u);
    HWND hDlg = windows[0];
    CWindowInfo info = CWindowWatcher::Read(hDlg);
    EXPECT_EQ(info.strClass, "#32770");
    EXPECT_EQ(info.dwStyle & (WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU),
              static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION));
    EXPECT_TRUE(info.dwStyle & DS_SYSMODAL);  // system-modal (Windows, unlike Wine, also makes it topmost)
    EXPECT_EQ(GetWindow(hDlg, GW_OWNER), nullptr);
    ASSERT_NE(info.Control(1009), nullptr);
    ASSERT_NE(info.Control(1004), nullptr);
    EXPECT_EQ(info.Control(1009)->strClass, "Static");
    EXPECT_EQ(info.Control(1009)->strText, "");  // not "Please Wait..."
    EXPECT_EQ(info.Control(1004)->strClass, PROGRESS_CLASSA);
    EXPECT_TRUE(info.Control(1004)->dwStyle & PBS_SMOOTH);
    // The template's WS_BORDER is the bar's to draw: Wine's progress control takes it off its style.
    EXPECT_TRUE(ControlAt(hDlg, 1009, {7, 7, 172, 21}));
    EXPECT_TRUE(ControlAt(hDlg, 1004, {7, 31, 172, 7}));
    int nLow = -1;
    int nHigh = -1;
    CWindowWatcher::ProgressRange(GetDlgItem(hDlg, 1004), &nLow, &nHigh);
    EXPECT_EQ(nLow, 0);
    EXPECT_EQ(nHigh, 100);
    EXPECT_EQ(CWindowWatcher::ProgressPos(GetDlgItem(hDlg, 1004)), 0);
}

TEST_F(EngineProgress, LabelRangeAbove65535AndPosition)
{
    QX_EXPORT(host, SPOpen)();
    HWND hDlg = Windows().at(0);
    QX_EXPORT(host, SPSetText)("Installing the RPC service");
    QX_EXPORT(host, SPSetRange)(0, 200000);
    QX_EXPORT(host, SPSetPos)(100000);
    EXPECT_EQ(Label(hDlg), "Installing the RPC service");
    int nLow = -1;
    int nHigh = -1;
    CWindowWatcher::ProgressRange(GetDlgItem(hDlg, 1004), &nLow, &nHigh);
    EXPECT_EQ(nLow, 0);
    EXPECT_EQ(nHigh, 200000);
    EXPECT_EQ(CWindowWatcher::ProgressPos(GetDlgItem(hDlg, 1004)), 100000);

    QX_EXPORT(host, SPOpen)();  // a second open changes nothing
    EXPECT_EQ(Windows(), std::vector<HWND>{hDlg});
    EXPECT_EQ(Label(hDlg), "Installing the RPC service");
    EXPECT_EQ(CWindowWatcher::ProgressPos(GetDlgItem(hDlg, 1004)), 100000);

    QX_EXPORT(host, SPSetText)(nullptr);
    EXPECT_EQ(Label(hDlg), "");
}

TEST_F(EngineProgress, CloseRemovesTheWindowAndAnotherOpenStartsAfresh)
{
    auto pfnOpen = QX_EXPORT(host, SPOpen);
    auto pfnClose = QX_EXPORT(host, SPClose);
    pfnOpen();
    HWND hFirst = Windows().at(0);
    QX_EXPORT(host, SPSetText)("first");
    QX_EXPORT(host, SPSetPos)(50);
    pfnClose();
    EXPECT_FALSE(IsWindow(hFirst));
    pfnClose();
    // With no window the setting exports do nothing and open none.
    QX_EXPORT(host, SPSetText)("nobody");
    QX_EXPORT(host, SPSetRange)(0, 10);
    QX_EXPORT(host, SPSetPos)(5);
    EXPECT_TRUE(Windows().empty());
    pfnOpen();
    HWND hSecond = Windows().at(0);
    EXPECT_EQ(Label(hSecond), "");
    EXPECT_EQ(CWindowWatcher::ProgressPos(GetDlgItem(hSecond, 1004)), 0);
}

TEST(EngineProgressUnload, UnloadingTheLibraryTakesTheWindowWithIt)
{
    HWND hDlg = nullptr;
    {
        CDllHost host;
        QX_EXPORT(host, SPOpen)();
        for (HWND hWnd : CWindowWatcher::TopLevelWindowsOfThisProcess()) {
            if (CWindowWatcher::Read(hWnd).strCaption == "Installing Services")
                hDlg = hWnd;
        }
        ASSERT_NE(hDlg, nullptr);
    }  // the last reference: the library is unloaded
    EXPECT_FALSE(IsWindow(hDlg));
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))  // nothing left that would call into it
        DispatchMessageA(&msg);
}

}  // namespace
}  // namespace qx::host
