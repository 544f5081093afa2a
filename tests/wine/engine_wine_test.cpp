// The settings engine and the progress windows in the real DLL under Wine: the settings-loading window
// and the progress window for real, and keys and paths in the real code page 932.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "../native/engine_reference.h"
#include "box_hook.h"
#include "host/dll_host.h"
#include "host/window_watcher.h"
#include "sim/sim_platform.h"

namespace qx::host {
namespace {

using namespace qx::test;
namespace fs = std::filesystem;

void Put(const std::string& strPath, const std::string& data) { std::ofstream(strPath, std::ios::binary) << data; }

std::string Get(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<none>";
}

// Each test works in a fresh folder of its own as its current folder; a message box would be recorded
// and answered at once, and none is expected.
class EngineFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(m_dir, m_error);
        fs::create_directory(m_dir);
        fs::current_path(m_dir);
        CBoxHook::SetAnswerAtOnce(true);
        CBoxHook::Take();
    }
    void TearDown() override
    {
        EXPECT_TRUE(CBoxHook::Take().empty());
        CBoxHook::SetAnswerAtOnce(false);
        fs::current_path(m_old);
        fs::remove_all(m_dir, m_error);
    }

    CDllHost host;
    fs::path m_old = fs::current_path(),
             m_dir = fs::temp_directory_path() / ("qxengine-" + std::to_string(GetCurrentProcessId()));
    std::error_code m_error;
};

// Every message to the settings-loading window's bar, after the window's text and visibility.
std::vector<std::string> g_loading;
HWND g_hLoading = nullptr;

LRESULT CALLBACK LoadingSpy(int nCode, WPARAM wParam, LPARAM lParam)
{
    const auto* p = reinterpret_cast<const CWPSTRUCT*>(lParam);
    char sz[64] = {};
    if ((p->message == PBM_SETPOS || p->message == PBM_SETRANGE32) &&
        GetDlgItemTextA(GetParent(p->hwnd), 0xFFFF, sz, 64)) {
        if (std::exchange(g_hLoading, GetParent(p->hwnd)) != g_hLoading)
            g_loading.push_back(std::string(sz) + (IsWindowVisible(g_hLoading) ? " shown" : " hidden"));
        g_loading.push_back(std::to_string(p->wParam) +
                            (p->message == PBM_SETPOS ? "" : ".." + std::to_string(p->lParam)));
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

TEST_F(EngineFiles, ScriptVariablesOnARealFileWithTheLoadingWindow)
{
    std::string script = "; script\n$EngineVersion='4.1'\n$Server='PDC'\r\n";
    for (int i = 0; i < 2000; ++i)  // 70,000 bytes and more
        script += "$v" + std::to_string(i) + "='" + std::string(40, 'x') + "'\r\n";
    // The window's text, its range, then at each line the bytes read so far, its first included.
    std::vector<std::string> loading = {"Updating Settings, Please Wait.... shown",
                                        "0.." + std::to_string(script.size()), "1"};
    for (size_t n = script.find('\n'); n + 1 < script.size(); n = script.find('\n', n + 1))
        loading.push_back(std::to_string(n + 2));
    Put("e.kix", MakeEngine(script, 7, "ab"));
    char sz[6][256] = {"$v1999", "$server"};
    HHOOK hHook = SetWindowsHookExA(WH_CALLWNDPROC, LoadingSpy, nullptr, GetCurrentThreadId());
    EXPECT_EQ(QX_EXPORT(host, GetScriptVars)("e.kix", sz[0], sz[1], sz[2], sz[3], sz[4], sz[5]), 1);
    UnhookWindowsHookEx(hHook);
    EXPECT_EQ(std::string(sz[0]) + sz[1], "$v1999='" + std::string(40, 'x') + "'\r$Server='PDC'\r");
    EXPECT_TRUE(g_loading == loading) << g_loading.size() << " messages, " << loading.size() << " expected";
    EXPECT_FALSE(IsWindow(g_hLoading));
    QX_EXPORT(host, SetScriptVars)("e.kix", "$SERVER='BDC'", "", "", "", "", "");
    EXPECT_EQ(ParseEngine(Get("e.kix")).strText.rfind("; script\r\n$EngineVersion='4.1'\r\n$SERVER='BDC'\r\n", 0), 0u);
}

// The window of template 108: "label|low..high|pos".
std::string State(HWND hDlg)
{
    char szLabel[128] = {};
    GetDlgItemTextA(hDlg, 1009, szLabel, sizeof szLabel);
    int nLow = 0, nHigh = 0;
    CWindowWatcher::ProgressRange(GetDlgItem(hDlg, 1004), &nLow, &nHigh);
    return std::string(szLabel) + "|" + std::to_string(nLow) + ".." + std::to_string(nHigh) + "|" +
           std::to_string(CWindowWatcher::ProgressPos(GetDlgItem(hDlg, 1004)));
}

TEST(EngineProgress, TheWindowShowsLabelRangeAndPositionAndGoesWithTheLibrary)
{
    HWND hDlg = nullptr;
    {
        CDllHost host;
        QX_EXPORT(host, SPOpen)();
        hDlg = FindWindowA(nullptr, "Installing Services");
        ASSERT_NE(hDlg, nullptr);
        EXPECT_EQ(GetWindow(hDlg, GW_OWNER), nullptr);
        EXPECT_EQ(State(hDlg), "|0..100|0");  // the template's "Please Wait..." is never seen
        QX_EXPORT(host, SPSetText)("Installing the RPC service");
        QX_EXPORT(host, SPSetRange)(0, 200000);
        QX_EXPORT(host, SPSetPos)(100000);
        QX_EXPORT(host, SPOpen)();  // changes nothing
        EXPECT_EQ(FindWindowA(nullptr, "Installing Services"), hDlg);
        EXPECT_EQ(State(hDlg), "Installing the RPC service|0..200000|100000");
        QX_EXPORT(host, SPClose)();
        EXPECT_FALSE(IsWindow(hDlg));
        QX_EXPORT(host, SPOpen)();
        hDlg = FindWindowA(nullptr, "Installing Services");
    }  // the last reference: the library is unloaded, and its window with it
    EXPECT_FALSE(IsWindow(hDlg));
}

// Keys in a Japanese locale: ctest starts this suite's Wine process with LC_ALL=ja_JP.UTF-8, which
// gives it the ANSI code page 932 (Shift-JIS). There a key may hold double-byte characters whose
// second byte lies in a..z, and case-blind matching must not fold that byte on its own.
class JapaneseLocale : public EngineFiles { };

TEST_F(JapaneseLocale, KeysWithDoubleByteCharactersMatchOnlyTheirOwnLine)
{
    ASSERT_EQ(GetACP(), 932u) << "the process must run with code page 932: is the ja_JP.UTF-8 locale installed?";
    // $ア is 83 41, $ヂ is 83 61; ａ (82 81) and Ａ (82 60) are one letter in two cases.
    Put("e.kix", MakeEngine("$\x83\x41='first'\r\n$\x83\x61='second'\r\n$\x82\x60='wide'\r\n", 41, "ab"));
    char sz[6][64] = {"$\x83\x61", "$\x83\x41x", "$\x82\x81"};
    EXPECT_EQ(QX_EXPORT(host, GetScriptVars)("e.kix", sz[0], sz[1], sz[2], sz[3], sz[4], sz[5]), 1);
    EXPECT_STREQ(sz[0], "$\x83\x61='second'\r");
    EXPECT_STREQ(sz[1], "$\x83\x41x") << "no line begins with this key";
    EXPECT_STREQ(sz[2], "$\x82\x60='wide'\r") << "a double-byte letter folds whole";

    QX_EXPORT(host, SetScriptVars)("e.kix", "$\x83\x61='new'", "$\x82\x81='WIDE'", "", "", "", "");
    EXPECT_EQ(ParseEngine(Get("e.kix")).strText, "$\x83\x41='first'\r\n$\x83\x61='new'\r\n$\x82\x81='WIDE'\r\n");
}

// Paths in the real code page 932, where 表 (95 5C) and ソ (83 5C) end in a byte that is no backslash;
// the simulation, which the native tests of such paths run on, knows each of the page's lead bytes.
TEST_F(JapaneseLocale, PathsAreSplitByCharacterAsTheSimulationSplitsThem)
{
    ASSERT_EQ(GetACP(), 932u);
    sim::CSimKernel kernel;
    sim::CSimSystem system(kernel);
    system.SetAnsiCodePage(932);
    for (int c = 0; c < 256; ++c)
        EXPECT_EQ(system.IsDBCSLeadByte(static_cast<BYTE>(c)), IsDBCSLeadByte(static_cast<BYTE>(c))) << c;
    ASSERT_TRUE(CreateDirectoryA("d2", nullptr) && CreateDirectoryA("d", nullptr) &&
                CreateDirectoryA("d\\\x95\\", nullptr));
    EXPECT_EQ(QX_EXPORT(host, MakeReplBat)("d2\\\x95\\.bat", "PDC"), 1);
    EXPECT_EQ(Get("d2\\\x95\\.bat").substr(0, 9), "@echo off");
    QX_EXPORT(host, SetManagerVars)("d2\\\x83\\.ini", "Logs=x", "", "", "", "");
    EXPECT_EQ(Get("d2\\\x83\\.ini"), "Logs=x\r\n");
    EXPECT_EQ(QX_EXPORT(host, MakeManagerINI)("d\\\x95\\", "S$", "L", "E"), 1);
    EXPECT_EQ(Get("d\\\x95\\\\qxmgr.ini").substr(0, 16), "[File Locations]");
}

}  // namespace
}  // namespace qx::host
