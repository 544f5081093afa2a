// The reason line of a failing export: the judge that holds every export call of every native test
// to it, and area by area the form of the line (the Win32 call that failed with its code, or the
// rule that refused the input), through the debugger alone; none when an export succeeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "engine_reference.h"
#include "frame/export_guard.h"
#include "frame/export_table.h"
#include "platform/file_stream.h"
#include "qxinst.h"
#include "sim/sim_platform.h"

namespace qx {
namespace {

// Whether an integer export's result is a failure: 0, but for GetSharePath every result but 1, and
// never for a result that is an answer (a probe's 0 is "not running", GetSystemLanguage's 0
// "another language").
bool IntResultFails(const std::string& strExport, int nResult)
{
    if (strExport == "GetSharePath")
        return nResult != 1;
    for (const char* pszAnswers : {"KixInstalled", "ZUVadarInstalled", "ROVoruzInstalled", "GetSystemLanguage"})
        if (strExport == pszAnswers)
            return false;
    return nResult == 0;
}

// An export call that the host sees fail (a box shown, or left out in unattended mode, 0 from a
// boolean export, the failure result of an integer export) left one reason line naming its export;
// one that it sees succeed left none. A call of an export without a result or a box is not judged,
// nor a guard of a name that is no export. Set for every simulated platform of the native tests: a
// wrong call is a misuse.
std::string JudgeReasonLines(const sim::CSimExportCall& call)
{
    const auto* pEnd = std::end(exports::kExportTable);
    const auto* pLine = std::find_if(std::begin(exports::kExportTable), pEnd,
                                     [&](const exports::CExportLine& line) { return call.strExport == line.pszName; });
    size_t nBoxes = call.nBoxes + call.nBoxesLeftOut;
    if (pLine == pEnd || (nBoxes == 0 && !call.bHasResult))
        return "";
    bool bFailed =
        nBoxes > 0 || (pLine->result == exports::ResultKind::kBool ? call.nResult == 0
                                                                        : IntResultFails(call.strExport, call.nResult));
    std::string strHead = "QXINST: " + call.strExport + ": ";
    if (bFailed ? call.debugLines.size() == 1 && call.debugLines[0].rfind(strHead, 0) == 0 : call.debugLines.empty())
        return "";
    std::string strWrong = "reason lines: " + call.strExport + " gave " + std::to_string(call.nResult) + " after " +
                           std::to_string(nBoxes) + " box(es), a " + (bFailed ? "failure" : "success") +
                           ", with " + std::to_string(call.debugLines.size()) + " line(s)";
    for (const std::string& strLine : call.debugLines)
        strWrong += " [" + strLine.substr(0, strLine.find('\n')) + "]";
    return strWrong;
}

[[maybe_unused]] const bool g_bReasonLinesJudged = (sim::CSimPlatform::s_pfnCallJudge = &JudgeReasonLines, true);

constexpr char kEngine[] = "C:\\qorvex\\engine.kix";
constexpr char kPlain[] = "C:\\qorvex\\engine.txt";

struct CReasonCase {
    const char* pszName;
    std::function<void(sim::CSimPlatform& sim)> setUp;
    std::function<void()> call;
    const char* pszLine;  // the one line expected; null: none
};

// Each case on a fresh simulated Windows: the line it leaves, nothing held, standard output
// untouched by the reason.
void ExpectReasons(const std::vector<CReasonCase>& cases)
{
    for (const CReasonCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        sim::CSimPlatform sim;
        sim.m_files.AddFolder("C:\\qorvex");
        if (c.setUp)
            c.setUp(sim);
        c.call();
        std::vector<std::string> expected;
        if (c.pszLine != nullptr)
            expected.push_back(c.pszLine);
        EXPECT_EQ(sim.m_system.DebugLines(), expected);
        EXPECT_EQ(sim.m_system.m_strStdout.find("QXINST"), std::string::npos) << sim.m_system.m_strStdout;
        EXPECT_TRUE(sim.Clean()) << sim.Report();
    }
}

// The judge finds a failure without its line, a success with one, and a line of another export;
// a box left out in unattended mode is a failure as the box shown is.
TEST(Reasons, TheJudgeHoldsEachLineToItsResult)
{
    const struct {
        const char* pszExport;
        int nResult;
        size_t nBoxes;
        size_t nLeftOut;
        std::vector<std::string> lines;
        bool bWrong;
    } cases[] = {
        {"MakeReplBat", 0, 0, 0, {}, true},
        {"MakeReplBat", 0, 0, 0, {"QXINST: MakeReplBat: why\n"}, false},
        {"MakeReplBat", 1, 0, 0, {"QXINST: MakeReplBat: why\n"}, true},
        {"MakeReplBat", 0, 0, 0, {"QXINST: FindRepl: why\n"}, true},
        {"GetSharePath", 2, 0, 0, {}, true},
        {"GetSharePath", 1, 0, 0, {}, false},
        {"KixInstalled", 0, 0, 0, {}, false},
        {"KixInstalled", 0, 1, 0, {}, true},
        {"KixInstalled", 0, 0, 1, {}, true},
        {"KixInstalled", 0, 0, 1, {"QXINST: KixInstalled: why\n"}, false},
        {"Export", 0, 0, 0, {}, false},
    };
    for (const auto& c : cases) {
        sim::CSimExportCall call {c.pszExport, true, c.nResult, c.lines, c.nBoxes, c.nLeftOut};
        EXPECT_EQ(JudgeReasonLines(call).empty(), !c.bWrong) << c.pszExport << " " << c.nResult << " " << c.nLeftOut;
    }
}

// A file stream names the call that failed; a reader that does not find its file leaves the verdict
// to its caller.
TEST(Reasons, FileStreams)
{
    auto writeFile = [](const char* pszPath) {
        GuardBool("Export", [pszPath] {
            CAtomicFile file(pszPath);
            if (file.Create(CFileStream::Mode::kBinary) == 0) {
                file.Stream().PutText("text");
                file.Commit();
            }
            return false;
        });
    };
    ExpectReasons({
        {.pszName = "no temporary file",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("GetTempFileNameA", ERROR_ACCESS_DENIED); },
         .call = [&] { writeFile("C:\\qorvex\\a.txt"); },
         .pszLine = "QXINST: Export: GetTempFileNameA C:\\qorvex\\ failed: 5\n"},
        {.pszName = "the target cannot be replaced",
         .setUp =
             [](sim::CSimPlatform& sim) {
                 sim.m_files.SetFile("C:\\qorvex\\a.txt", "old");
                 sim.m_kernel.FailCall("ReplaceFileA", ERROR_SHARING_VIOLATION);
             },
         .call = [&] { writeFile("C:\\qorvex\\a.txt"); },
         .pszLine = "QXINST: Export: ReplaceFileA C:\\qorvex\\a.txt failed: 32\n"},
        {.pszName = "a short write",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_files.WriteShort(1, 3); },
         .call = [&] { writeFile("C:\\qorvex\\a.txt"); },
         .pszLine = "QXINST: Export: WriteFile wrote 3 of 4 bytes\n"},
        {.pszName = "a reader's missing file",
         .call =
             [] {
                 GuardBool("Export", [] {
                     CFileStream stream;
                     return stream.OpenRead("C:\\qorvex\\a.txt", CFileStream::Mode::kBinary) == 0;
                 });
             },
         .pszLine = nullptr},
    });
}

TEST(Reasons, Engine)
{
    auto putEngine = [](const std::string& strData) {
        return [strData](sim::CSimPlatform& sim) { sim.m_files.SetFile(kEngine, strData); };
    };
    ExpectReasons({
        {.pszName = "a missing engine",
         .call = [] { Decrypt(kEngine, kPlain); },
         .pszLine = "QXINST: Decrypt: CreateFileA C:\\qorvex\\engine.kix failed: 2\n"},
        {.pszName = "not an engine",
         .setUp = putEngine("plain text"),
         .call = [] { Decrypt(kEngine, kPlain); },
         .pszLine = "QXINST: Decrypt: not an engine: the first byte is not 66\n"},
        {.pszName = "no destination",
         .setUp = putEngine(test::MakeEngine("$Server='A'\r\n", 41, "ab")),
         .call = [] { Decrypt(kEngine, nullptr); },
         .pszLine = "QXINST: Decrypt: the path of the file to write is null\n"},
        {.pszName = "a missing manager file is created",
         .call = [] { SetManagerVars("C:\\qorvex\\manager.ini", "Scripts=x", "", "", "", ""); },
         .pszLine = nullptr},
    });
}

TEST(Reasons, Manager)
{
    ExpectReasons({
        {.pszName = "no computer name",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("GetComputerNameA", ERROR_ACCESS_DENIED); },
         .call = [] { MakeManagerINI("C:\\qorvex", "QXscripts$", "logs", "ed"); },
         .pszLine = "QXINST: MakeManagerINI: GetComputerNameA failed: 5\n"},
        {.pszName = "a value with a line end",
         .call = [] { MakeManagerINI("C:\\qorvex", "QXscripts$", "C:\\logs\r\nx=1", "ed"); },
         .pszLine = "QXINST: MakeManagerINI: C:\\qorvex\\qxmgr.ini cannot take a value (longer than 255 characters, "
                    "with a line end, or past 256 lines)\n"},
    });
}

TEST(Reasons, Replication)
{
    static char s_szRemote[256];
    ExpectReasons({
        {.pszName = "a line end in a name",
         .call = [] { MakeReplBat("C:\\qorvex\\REPL.BAT", "PDC,BDC\r\ndel x"); },
         .pszLine = "QXINST: MakeReplBat: a server name holds a line end\n"},
        {.pszName = "the network cannot be enumerated",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("WNetOpenEnumA", ERROR_NO_NETWORK); },
         .call = [] { FindRepl(s_szRemote); },
         .pszLine = "QXINST: FindRepl: WNetOpenEnumA failed: 1222\n"},
        {.pszName = "found behind a server that is passed over",
         .setUp =
             [&](sim::CSimPlatform& sim) {
                 sim.m_netEnum.m_root.Add(sim::NetProviderNode("Web Client Network"));
                 sim::CSimNetResource& server =
                     sim.m_netEnum.m_root.Add(sim::NetProviderNode("Microsoft Windows Network"))
                         .Add(sim::NetDomainNode("QXDOMAIN"))
                         .Add(sim::NetServerNode("QXDC1"));
                 server.Add(sim::NetShareNode("\\\\QXDC1\\REPL$"));
                 sim.m_kernel.FailCall("WNetOpenEnumA", ERROR_ACCESS_DENIED, 2);
             },
         .call = [] { FindRepl(s_szRemote); },
         .pszLine = nullptr},
    });
}

TEST(Reasons, Shares)
{
    static char s_szShare[1024];
    static char s_szPath[1024];
    ExpectReasons({
        {.pszName = "the network refuses the share",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("NetShareAdd", ERROR_ACCESS_DENIED); },
         .call = [] { AddShare("DATA", "C:\\qorvex"); },
         .pszLine = "QXINST: AddShare: NetShareAdd DATA failed: 5\n"},
        {.pszName = "a UNC path without a share",
         .call =
             [] {
                 std::strcpy(s_szShare, "\\\\srv");
                 GetSharePath(s_szShare, s_szPath);
             },
         .pszLine = "QXINST: GetSharePath: the UNC path names no share\n"},
    });
}

TEST(Reasons, Services)
{
    ExpectReasons({
        {.pszName = "no such service",
         .call = [] { StartServiceWait(nullptr, "QxSvc", "Tavrin"); },
         .pszLine = "QXINST: StartServiceWait: OpenService QxSvc failed: 1060\n"},
        {.pszName = "stopped already: the refused stop request is no failure",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_scm.AddService("QxSvc", "Tavrin"); },
         .call = [] { EXPECT_EQ(StopServiceWait(nullptr, "QxSvc", "Tavrin"), 1); },
         .pszLine = nullptr},
    });
}

// The reason goes to the debugger beside the service's diagnostic lines, which stay as they are.
TEST(Reasons, LeaveTheServicesStandardOutputAsItIs)
{
    sim::CSimPlatform sim;
    sim.m_scm.AddService("QxSvc", "Tavrin");
    sim.m_scm.SetState("QxSvc", SERVICE_RUNNING);
    EXPECT_EQ(StartServiceWait(nullptr, "QxSvc", "Tavrin"), 0);
    EXPECT_EQ(sim.m_system.m_strStdout, "StartService failed: An instance of the service is already running.\r\n\n");
    EXPECT_EQ(sim.m_system.DebugLines(),
              (std::vector<std::string> {"QXINST: StartServiceWait: StartService QxSvc failed: 1056\n"}));
    EXPECT_TRUE(sim.Clean()) << sim.Report();
}

TEST(Reasons, Domain)
{
    static char s_szServer[260];
    auto noBrowser = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("NetServerEnum", ERROR_BAD_NETPATH); };
    // The picker without a list (the browser's failure is no reason of the picker's), its user's answer.
    auto picker = [](std::function<void(sim::CSimUi&, HWND)> answer) {
        return [answer](sim::CSimPlatform& sim) {
            sim.m_ui.RegisterTemplate(107, {"Select Server",
                                            {{IDOK, "Button", "OK", 0x50010001},
                                             {IDCANCEL, "Button", "Cancel", 0x50010000},
                                             {1008, "ComboBox", "", 0x50210102}}});
            sim.m_kernel.FailCall("NetServerEnum", ERROR_NO_BROWSER_SERVERS_FOUND);
            sim.m_ui.m_modalScripts.push_back(answer);
        };
    };
    ExpectReasons({
        {.pszName = "no browser: the first controller",
         .setUp = noBrowser,
         .call = [] { EnumServers(s_szServer, 1); },
         .pszLine = "QXINST: EnumServers: NetServerEnum failed: 53\n"},
        {.pszName = "no browser: this machine is still named",
         .setUp = noBrowser,
         .call = [] { EXPECT_EQ(EnumServers(s_szServer, 0), 1); },
         .pszLine = nullptr},
        {.pszName = "a name set past the limit",
         .setUp = picker([](sim::CSimUi& ui, HWND hDlg) {
             std::string strLong(260, 'z');
             ui.SendMessageA(ui.GetDlgItem(hDlg, 1008), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(strLong.c_str()));
             ui.Click(hDlg, IDOK);
         }),
         .call = [] { EXPECT_EQ(SelectServer(s_szServer), 0); },
         .pszLine = "QXINST: SelectServer: the server's name has more than 259 characters\n"},
        {.pszName = "cancelled",
         .setUp = picker([](sim::CSimUi& ui, HWND hDlg) { ui.Click(hDlg, IDCANCEL); }),
         .call = [] { EXPECT_EQ(SelectServer(s_szServer), 0); },
         .pszLine = "QXINST: SelectServer: no server was chosen\n"},
    });
}

TEST(Reasons, Ui)
{
    static char s_szFolder[260];
    ExpectReasons({
        {.pszName = "cancelled",
         .setUp =
             [](sim::CSimPlatform& sim) {
                 sim.m_ui.m_folderAnswers.push_back({true, true, "C:\\qorvex", "Display", "C:\\Windows"});
             },
         .call = [] { GetUNC(s_szFolder); },
         .pszLine = "QXINST: GetUNC: no folder was chosen\n"},
        {.pszName = "no window",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("CreateDialogParamA", ERROR_NOT_ENOUGH_MEMORY); },
         .call = [] { SPOpen(); },
         .pszLine = "QXINST: SPOpen: CreateDialogParamA failed: 8\n"},
    });
}

}  // namespace
}  // namespace qx
