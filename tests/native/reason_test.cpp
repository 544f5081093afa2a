// The reason line of a failing export, area by area: the Win32 call that failed with its code, or
// the rule that refused the input, through the debugger alone; none when an export succeeds.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine_reference.h"
#include "frame/export_guard.h"
#include "platform/file_stream.h"
#include "qxinst.h"
#include "sim/sim_platform.h"

namespace qx {
namespace {

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
        using C = sim::CSimControlTemplate;
        const C bar {1004, "msctls_progress32", "Progress1", 0};
        sim.m_ui.RegisterTemplate(108, {"Installing Services", {C {1009, "Static", "Please Wait...", 0}, bar}});
        sim.m_ui.RegisterTemplate(129, {"", {C {0xFFFF, "Static", "Updating Settings, Please Wait....", 0}, bar}});
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
    auto readFile = [](const char* pszPath) {
        GuardBool("Export", [pszPath] {
            CFileStream stream;
            if (stream.OpenRead(pszPath, CFileStream::Mode::kBinary) == 0)
                stream.GetByte();
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
        {.pszName = "a new target cannot be moved in",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("MoveFileExA", ERROR_ACCESS_DENIED); },
         .call = [&] { writeFile("C:\\qorvex\\a.txt"); },
         .pszLine = "QXINST: Export: MoveFileExA C:\\qorvex\\a.txt failed: 5\n"},
        {.pszName = "the target is a folder",
         .call = [&] { writeFile("C:\\qorvex"); },
         .pszLine = "QXINST: Export: C:\\qorvex is a folder\n"},
        {.pszName = "a read fails",
         .setUp =
             [](sim::CSimPlatform& sim) {
                 sim.m_files.SetFile("C:\\qorvex\\a.txt", "text");
                 sim.m_kernel.FailCall("ReadFile", ERROR_READ_FAULT);
             },
         .call = [&] { readFile("C:\\qorvex\\a.txt"); },
         .pszLine = "QXINST: Export: ReadFile failed: 30\n"},
        {.pszName = "a reader's missing file", .call = [&] { readFile("C:\\qorvex\\a.txt"); }, .pszLine = nullptr},
    });
}

TEST(Reasons, Engine)
{
    auto putEngine = [](const std::string& strData) {
        return [strData](sim::CSimPlatform& sim) { sim.m_files.SetFile(kEngine, strData); };
    };
    std::string strSound = test::MakeEngine("$Server='A'\r\n", 41, "ab");
    std::string strCorrupt = strSound;
    strCorrupt.back() = static_cast<char>(strCorrupt.back() + 1);
    char szName[64] = "$Server";
    ExpectReasons({
        {.pszName = "a missing engine",
         .call = [] { Decrypt(kEngine, kPlain); },
         .pszLine = "QXINST: Decrypt: CreateFileA C:\\qorvex\\engine.kix failed: 2\n"},
        {.pszName = "not an engine",
         .setUp = putEngine("plain text"),
         .call = [] { Decrypt(kEngine, kPlain); },
         .pszLine = "QXINST: Decrypt: not an engine: the first byte is not 66\n"},
        {.pszName = "a corrupt engine",
         .setUp = putEngine(strCorrupt),
         .call = [&] { GetScriptVars(kEngine, szName, nullptr, nullptr, nullptr, nullptr, nullptr); },
         .pszLine = "QXINST: GetScriptVars: the engine is cut short or its checksum does not match\n"},
        {.pszName = "a version below 26",
         .setUp = putEngine(test::MakeEngine("x", 25, "")),
         .call = [] { GetEngineVersion(kEngine); },
         .pszLine = "QXINST: GetEngineVersion: the engine's version 25 is below 26\n"},
        {.pszName = "a read-only destination",
         .setUp =
             [](sim::CSimPlatform& sim) {
                 sim.m_files.SetFile(kPlain, "text");
                 sim.m_files.SetFile(kEngine, "old");
                 sim.m_files.SetAttributes(kEngine, FILE_ATTRIBUTE_READONLY);
             },
         .call = [] { Encrypt(kPlain, kEngine, 41); },
         .pszLine = "QXINST: Encrypt: C:\\qorvex\\engine.kix is read-only or a folder\n"},
        {.pszName = "a full disk",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("WriteFile", ERROR_DISK_FULL); },
         .call = [] { SetManagerVars("C:\\qorvex\\manager.ini", "Scripts=x", "", "", "", ""); },
         .pszLine = "QXINST: SetManagerVars: WriteFile failed: 112\n"},
        {.pszName = "too many lines",
         .setUp = putEngine(test::MakeEngine(std::string(10000, '\n'), 41, "")),
         .call = [] { SetScriptVars(kEngine, "$New=1", "", "", "", "", ""); },
         .pszLine = "QXINST: SetScriptVars: the text would pass 10000 lines\n"},
        {.pszName = "a missing manager file is created",
         .call = [] { SetManagerVars("C:\\qorvex\\manager.ini", "Scripts=x", "", "", "", ""); },
         .pszLine = nullptr},
        {.pszName = "a missing manager file reads as empty",
         .call =
             [&] { GetManagerVars("C:\\qorvex\\manager.ini", szName, nullptr, nullptr, nullptr, nullptr, nullptr); },
         .pszLine = nullptr},
    });
}

TEST(Reasons, Manager)
{
    ExpectReasons({
        {.pszName = "no scripts share",
         .call = [] { MakeManagerINI("C:\\qorvex", nullptr, "logs", "ed"); },
         .pszLine = "QXINST: MakeManagerINI: no scripts share is given\n"},
        {.pszName = "no computer name",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("GetComputerNameA", ERROR_ACCESS_DENIED); },
         .call = [] { MakeManagerINI("C:\\qorvex", "QXscripts$", "logs", "ed"); },
         .pszLine = "QXINST: MakeManagerINI: GetComputerNameA failed: 5\n"},
        {.pszName = "a value with a line end",
         .call = [] { MakeManagerINI("C:\\qorvex", "QXscripts$", "C:\\logs\r\nx=1", "ed"); },
         .pszLine = "QXINST: MakeManagerINI: C:\\qorvex\\qxmgr.ini cannot take a value (longer than 255 characters, "
                    "with a line end, or past 256 lines)\n"},
        {.pszName = "a file of too many lines",
         .setUp =
             [](sim::CSimPlatform& sim) {
                 std::string strText;
                 for (int i = 0; i < 300; ++i)
                     strText += "k" + std::to_string(i) + "=v\r\n";
                 sim.m_files.SetFile("C:\\qorvex\\qxmgr.ini", strText);
             },
         .call = [] { MakeManagerINI("C:\\qorvex", "QXscripts$", "logs", "ed"); },
         .pszLine = "QXINST: MakeManagerINI: C:\\qorvex\\qxmgr.ini has more than 256 lines\n"},
        {.pszName = "no temporary file",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("GetTempFileNameA", ERROR_ACCESS_DENIED); },
         .call = [] { MakeManagerINI("C:\\qorvex\\", "QXscripts$", "logs", "ed"); },
         .pszLine = "QXINST: MakeManagerINI: GetTempFileNameA C:\\qorvex\\ failed: 5\n"},
        {.pszName = "written",
         .call = [] { MakeManagerINI("C:\\qorvex", "QXscripts$", "logs", "ed"); },
         .pszLine = nullptr},
    });
}

TEST(Reasons, Replication)
{
    static char s_szRemote[256];
    auto network = [](sim::CSimPlatform& sim) {
        sim::CSimNetResource& server = sim.m_netEnum.m_root.Add(sim::NetProviderNode("Microsoft Windows Network"))
                                           .Add(sim::NetDomainNode("QXDOMAIN"))
                                           .Add(sim::NetServerNode("QXDC1"));
        server.Add(sim::NetShareNode("\\\\QXDC1\\NETLOGON"));
        return &server;
    };
    std::string strMany;
    for (int i = 0; i <= 256; ++i)
        strMany += "S" + std::to_string(i) + ",";
    std::string strLong = "PDC," + std::string(260, 'B');
    ExpectReasons({
        {.pszName = "a line end in a name",
         .call = [] { MakeReplBat("C:\\qorvex\\REPL.BAT", "PDC,BDC\r\ndel x"); },
         .pszLine = "QXINST: MakeReplBat: a server name holds a line end\n"},
        {.pszName = "too many names",
         .call = [&] { MakeReplBat("C:\\qorvex\\REPL.BAT", strMany.c_str()); },
         .pszLine = "QXINST: MakeReplBat: the list has more than 256 names\n"},
        {.pszName = "a name too long",
         .call = [&] { MakeReplBat("C:\\qorvex\\REPL.BAT", strLong.c_str()); },
         .pszLine = "QXINST: MakeReplBat: a server name has 260 characters or more\n"},
        {.pszName = "no list",
         .call = [] { MakeReplBat("C:\\qorvex\\REPL.BAT", nullptr); },
         .pszLine = "QXINST: MakeReplBat: the batch file's path or the list of servers is null\n"},
        {.pszName = "a missing folder",
         .call = [] { MakeReplBat("C:\\nowhere\\REPL.BAT", "PDC"); },
         .pszLine = "QXINST: MakeReplBat: GetTempFileNameA C:\\nowhere\\ failed: 267\n"},
        {.pszName = "the network cannot be enumerated",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("WNetOpenEnumA", ERROR_NO_NETWORK); },
         .call = [] { FindRepl(s_szRemote); },
         .pszLine = "QXINST: FindRepl: WNetOpenEnumA failed: 1222\n"},
        {.pszName = "no replication share, a server passed over",
         .setUp =
             [&](sim::CSimPlatform& sim) {
                 network(sim);
                 sim.m_kernel.FailCall("WNetOpenEnumA", ERROR_ACCESS_DENIED, 4);
             },
         .call = [] { FindRepl(s_szRemote); },
         .pszLine = "QXINST: FindRepl: no share whose name begins REPL$ was found\n"},
        {.pszName = "found behind a server that is passed over",
         .setUp =
             [&](sim::CSimPlatform& sim) {
                 sim.m_netEnum.m_root.Add(sim::NetProviderNode("Web Client Network"));
                 network(sim)->Add(sim::NetShareNode("\\\\QXDC1\\REPL$"));
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
    std::string strLong(260, 'n');
    ExpectReasons({
        {.pszName = "a name too long",
         .call = [&] { AddShare(strLong.c_str(), "C:\\qorvex"); },
         .pszLine = "QXINST: AddShare: the share's name or folder is null, longer than 259 characters or not in the "
                    "code page\n"},
        {.pszName = "the network refuses the share",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("NetShareAdd", ERROR_ACCESS_DENIED); },
         .call = [] { AddShare("DATA", "C:\\qorvex"); },
         .pszLine = "QXINST: AddShare: NetShareAdd DATA failed: 5\n"},
        {.pszName = "no Shares key",
         .call =
             [] {
                 std::strcpy(s_szShare, "DATA");
                 GetSharePath(s_szShare, s_szPath);
             },
         .pszLine = "QXINST: GetSharePath: RegOpenKeyExA SYSTEM\\CurrentControlSet\\Services\\LanmanServer\\Shares "
                    "failed: 2\n"},
        {.pszName = "an unknown server",
         .call =
             [] {
                 std::strcpy(s_szShare, "\\\\QXDC1\\DATA");
                 GetSharePathRemote("QXDC1", s_szShare, s_szPath);
             },
         .pszLine = "QXINST: GetSharePathRemote: NetShareGetInfo DATA failed: 53\n"},
    });
}

TEST(Reasons, Services)
{
    std::string strLong(300, 's');
    ExpectReasons({
        {.pszName = "no such service",
         .call = [] { StartServiceWait(nullptr, "QxSvc", "Tavrin"); },
         .pszLine = "QXINST: StartServiceWait: OpenService QxSvc failed: 1060\n"},
        {.pszName = "a name too long",
         .call = [&] { RemoveService(nullptr, strLong.c_str(), "Tavrin"); },
         .pszLine = "QXINST: RemoveService: the key name is null, or a name is longer than 256 characters\n"},
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
    ExpectReasons({
        {.pszName = "no product options",
         .call = [] { IsDomainController(); },
         .pszLine = "QXINST: IsDomainController: RegOpenKeyExA SYSTEM\\CurrentControlSet\\Control\\ProductOptions "
                    "failed: 2\n"},
        {.pszName = "no browser: the first controller",
         .setUp = noBrowser,
         .call = [] { EnumServers(s_szServer, 1); },
         .pszLine = "QXINST: EnumServers: NetServerEnum failed: 53\n"},
        {.pszName = "no browser: this machine is still named",
         .setUp = noBrowser,
         .call = [] { EXPECT_EQ(EnumServers(s_szServer, 0), 1); },
         .pszLine = nullptr},
    });
}

TEST(Reasons, Ui)
{
    static char s_szFolder[260];
    auto answer = [](bool bCancel, bool bFileSystem) {
        return [=](sim::CSimPlatform& sim) {
            sim.m_ui.m_folderAnswers.push_back({bCancel, bFileSystem, "C:\\qorvex", "Display", "C:\\Windows"});
        };
    };
    ExpectReasons({
        {.pszName = "cancelled",
         .setUp = answer(true, true),
         .call = [] { GetUNC(s_szFolder); },
         .pszLine = "QXINST: GetUNC: no folder was chosen\n"},
        {.pszName = "not a folder",
         .setUp = answer(false, false),
         .call = [] { GetUNC(s_szFolder); },
         .pszLine = "QXINST: GetUNC: the item chosen is not a folder of the file system\n"},
        {.pszName = "a folder",
         .setUp = answer(false, true),
         .call = [] { EXPECT_EQ(GetUNC(s_szFolder), 1); },
         .pszLine = nullptr},
        {.pszName = "no window",
         .setUp = [](sim::CSimPlatform& sim) { sim.m_kernel.FailCall("CreateDialogParamA", ERROR_NOT_ENOUGH_MEMORY); },
         .call = [] { SPOpen(); },
         .pszLine = "QXINST: SPOpen: CreateDialogParamA failed: 8\n"},
        {.pszName = "opened and closed",
         .call =
             [] {
                 SPOpen();
                 SPSetText("Copying");
                 SPClose();
             },
         .pszLine = nullptr},
    });
}

}  // namespace
}  // namespace qx
