// AddShare on the simulated share table: the record created, the seven "Share Failure" boxes in
// their order, the old share kept when the new one cannot be added, refusals before any call, and
// release on every path.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "shares_fixture.h"
#include "sim/sim_text.h"

namespace qx {
namespace {

const char kPlain[] = "QXSCRIPTS type 0 remark '' permissions 0 uses 4294967295 path C:\\Qorvex\\Scripts sd 0";

class ShareCreate : public test::SharesTest {
protected:
    QXBOOL Add(const char* pszName, const char* pszPath) { return Settle(AddShare, pszName, pszPath); }
    // The boxes shown since the last call, each as "text|caption|flags|owner".
    std::string TakeBoxes()
    {
        std::string strBoxes;
        for (const auto& box : sim.m_ui.m_boxes)
            strBoxes +=
                box.strText + "|" + box.strCaption + "|" + std::to_string(box.uType) + (box.hOwner ? "|owned" : "");
        sim.m_ui.m_boxes.clear();
        return strBoxes;
    }
};

TEST_F(ShareCreate, CreatesADiskShareWithTheLevelTwoRecordAndReplacesIt)
{
    EXPECT_EQ(Add("QXSCRIPTS", "C:\\Qorvex\\Scripts"), 1);
    EXPECT_EQ(Record("QXSCRIPTS"), kPlain);
    EXPECT_EQ(Add("qxscripts", "D:\\Logs"), 1);
    EXPECT_EQ(Record("QXSCRIPTS"), "qxscripts type 0 remark '' permissions 0 uses 4294967295 path D:\\Logs sd 0");
    EXPECT_EQ(sim.m_netShare.Server().shares.size(), 1u);
    EXPECT_EQ(sim.m_kernel.Calls("NetShareDel"), 1) << "only a share that exists is deleted";
    EXPECT_EQ(TakeBoxes(), "");
}

TEST_F(ShareCreate, EachKnownFailureShowsItsBoxAndWhatDoesNotFitIsRefusedFirst)
{
    static const char* pszScripts = "C:\\Qorvex\\Scripts";
    std::string strLong(260, 'X');
    std::string strLongPath = "C:\\" + std::string(257, 'p');
    std::string strLongest(259, 'X');  // fits: the server refuses the name, not the library
    // The code NetShareAdd is made to give (0: none), the box shown ("": none), and the arguments.
    const std::tuple<NET_API_STATUS, const char*, const char*, const char*> cases[] = {
        {ERROR_ACCESS_DENIED, "Access Denied to Create Share", "QXSCRIPTS", pszScripts},
        {ERROR_INVALID_LEVEL, "Incorrect OS (Paramaters)", "QXSCRIPTS", pszScripts},
        {ERROR_INVALID_NAME, "Invalid Name", "QXSCRIPTS", pszScripts},
        {ERROR_INVALID_PARAMETER, "Invalid Param", "QXSCRIPTS", pszScripts},
        {NERR_DuplicateShare, "Share name already in use.", "QXSCRIPTS", pszScripts},
        {NERR_RedirectedPath, "Path is a redirect", "QXSCRIPTS", pszScripts},
        {NERR_UnknownDevDir, "Invalid Path.", "QXSCRIPTS", pszScripts},
        {ERROR_NOT_SUPPORTED, "", "QXSCRIPTS", pszScripts},
        {NERR_ServerNotStarted, "", "QXSCRIPTS", pszScripts},
        {1, "", "QXSCRIPTS", pszScripts},
        {0, "Invalid Name", strLongest.c_str(), pszScripts},
        {0, "", strLong.c_str(), pszScripts},
        {0, "", "QXSCRIPTS", strLongPath.c_str()},
        {0, "", nullptr, pszScripts},
        {0, "", "QXSCRIPTS", nullptr}};
    for (const auto& [nStatus, pszBox, pszName, pszPath] : cases) {
        SCOPED_TRACE(nStatus);
        if (nStatus != 0)
            sim.m_kernel.FailCall("NetShareAdd", nStatus);
        EXPECT_EQ(Add(pszName, pszPath), 0);
        EXPECT_EQ(TakeBoxes(), *pszBox ? std::string(pszBox) + "|Share Failure|48" : "");
    }
    EXPECT_EQ(sim.m_kernel.Calls("NetShareGetInfo") + sim.m_kernel.Calls("NetShareAdd"), 2 * 11)
        << "what does not fit reaches no network call";
    EXPECT_EQ(Record("QXSCRIPTS"), "<no share>");
}

TEST_F(ShareCreate, TheShareReplacedIsNeverLost)
{
    std::string sd = Descriptor(sim::MakeAcl({Ace(ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, test::kOperatorsSid)}));
    sim::CSimNetShare::CShare& old = sim.m_netShare.PutShare("", "QXSCRIPTS", "C:\\Qorvex\\Scripts", sd);
    old.wstrRemark = L"Qorvex login scripts";
    old.dwMaxUses = 10;
    std::string strOld = Record("QXSCRIPTS");
    EXPECT_EQ(Add("QXSCRIPTS", "C:\\Qorvex\\Missing"), 0);
    EXPECT_EQ(TakeBoxes(), "Invalid Path.|Share Failure|48");
    EXPECT_EQ(Record("QXSCRIPTS"), strOld) << "the old share is never lost";
    EXPECT_EQ(StoredBytes("QXSCRIPTS"), sd);
    // A share that cannot be read is not deleted; one that cannot be deleted stays.
    for (const char* pszCall : {"NetShareGetInfo", "NetShareDel"}) {
        sim.m_netShare.PutShare("", "QXSCRIPTS", "C:\\Qorvex\\Scripts");
        sim.m_kernel.FailCall(pszCall, ERROR_ACCESS_DENIED);
        EXPECT_EQ(Add("QXSCRIPTS", "D:\\Logs"), 0) << pszCall;
        EXPECT_EQ(Record("QXSCRIPTS"), kPlain) << pszCall;
        EXPECT_EQ(TakeBoxes(), "Share name already in use.|Share Failure|48") << pszCall;
    }
    EXPECT_EQ(sim.m_kernel.Calls("NetShareDel"), 2) << "the first replacement and the refused delete, no more";
}

TEST_F(ShareCreate, NamesAndPathsReachTheServerInTheSystemsAnsiCodePage)
{
    // The code page, the name and path, and what the server holds (empty: refused before any call).
    const std::tuple<UINT, std::string, std::string, std::wstring, std::wstring> cases[] = {
        {1252, "D \x96 2024", "C:\\Caf\xE9 \x96 D", L"D \u2013 2024", L"C:\\Caf\u00E9 \u2013 D"},
        {1251, "\xCE\xE1\xF9", "C:\\\xC4\xE0\xED", L"\u041E\u0431\u0449", L"C:\\\u0414\u0430\u043D"},
        {932, "\x8B\xA4\x97\x4C", "C:\\\x83\x66\x81\x5B", L"\u5171\u6709", L"C:\\\u30C7\u30FC"},
        {932, "\x83", "C:\\Qorvex\\Scripts", L"", L""}};  // a lead byte without its second byte
    for (const auto& [nCodePage, strName, strPath, wstrName, wstrPath] : cases) {
        SCOPED_TRACE(nCodePage);
        sim.m_system.SetAnsiCodePage(nCodePage);
        sim.m_files.AddFolder(strPath);
        sim.m_kernel.ResetCalls();
        EXPECT_EQ(Add(strName.c_str(), strPath.c_str()), wstrName.empty() ? 0 : 1);
        EXPECT_EQ(TakeBoxes(), "");
        const sim::CSimNetShare::CShare* pShare = sim.m_netShare.FindShare("", strName);
        EXPECT_EQ(sim.m_kernel.Calls("NetShareAdd"), wstrName.empty() ? 0 : 1);
        EXPECT_TRUE(wstrName.empty() || (pShare && pShare->wstrName == wstrName && pShare->wstrPath == wstrPath));
    }
}

}  // namespace
}  // namespace qx
