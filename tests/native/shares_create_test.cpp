// AddShare and GetSharePathRemote on the simulated share table: the record created, the seven
// "Share Failure" boxes in their order, the old share kept when the new one cannot be added, the
// in-place UNC rewrite, refusals before any call, and release on every path.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/sim/sim_text.h"
#include "qxinst.h"
#include "shares/share_creator.h"
#include "shares_fixture.h"

namespace qx {
namespace {

class ShareCreate : public test::SharesTest {
protected:
    const sim::CSimNetShare::CShare* Share(const std::string& strName, const std::string& strServer = "")
    {
        return sim.m_netShare.FindShare(strServer, strName);
    }
    std::string PathOf(const std::string& strName) { return sim::Narrow(Share(strName)->wstrPath); }
};

// ---- AddShare ----

TEST_F(ShareCreate, CreatesADiskShareWithTheLevelTwoRecord)
{
    EXPECT_EQ(AddShare("QXSCRIPTS", "C:\\Qorvex\\Scripts"), 1);
    EXPECT_TRUE(Settled());
    const sim::CSimNetShare::CShare* pShare = Share("QXSCRIPTS");
    ASSERT_NE(pShare, nullptr);
    EXPECT_EQ(sim::Narrow(pShare->wstrName), "QXSCRIPTS");
    EXPECT_EQ(pShare->dwType, static_cast<DWORD>(STYPE_DISKTREE));
    EXPECT_EQ(pShare->wstrRemark, L"");
    EXPECT_EQ(pShare->dwPermissions, 0u);
    EXPECT_EQ(pShare->dwMaxUses, SHI_USES_UNLIMITED);
    EXPECT_EQ(PathOf("QXSCRIPTS"), "C:\\Qorvex\\Scripts");
    EXPECT_FALSE(pShare->bHasPassword);
    EXPECT_TRUE(pShare->sd.empty()) << "default share security until permissions are set";
    EXPECT_TRUE(sim.m_ui.m_boxes.empty());
}

TEST_F(ShareCreate, ASecondCallWithAnotherPathReplacesTheShare)
{
    EXPECT_EQ(AddShare("QXSCRIPTS", "C:\\Qorvex\\Scripts"), 1);
    EXPECT_EQ(AddShare("qxscripts", "D:\\Logs"), 1);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_netShare.Server().shares.size(), 1u);
    EXPECT_EQ(PathOf("QXSCRIPTS"), "D:\\Logs");
    EXPECT_EQ(sim.m_kernel.Calls("NetShareDel"), 1) << "only a share that exists is deleted";
}

TEST_F(ShareCreate, EachKnownFailureShowsItsBoxInTheTableOrder)
{
    struct Case {
        NET_API_STATUS nStatus;
        const char* pszText;
    } cases[] = {
        {ERROR_ACCESS_DENIED, "Access Denied to Create Share"},
        {ERROR_INVALID_LEVEL, "Incorrect OS (Paramaters)"},
        {ERROR_INVALID_NAME, "Invalid Name"},
        {ERROR_INVALID_PARAMETER, "Invalid Param"},
        {NERR_DuplicateShare, "Share name already in use."},
        {NERR_RedirectedPath, "Path is a redirect"},
        {NERR_UnknownDevDir, "Invalid Path."},
    };
    for (const Case& c : cases) {
        sim.m_ui.m_boxes.clear();
        sim.m_kernel.FailCall("NetShareAdd", c.nStatus);
        EXPECT_EQ(AddShare("QXSCRIPTS", "C:\\Qorvex\\Scripts"), 0) << c.nStatus;
        EXPECT_TRUE(Settled());
        ASSERT_EQ(sim.m_ui.m_boxes.size(), 1u) << c.nStatus;
        EXPECT_EQ(sim.m_ui.m_boxes[0].strText, c.pszText);
        EXPECT_EQ(sim.m_ui.m_boxes[0].strCaption, "Share Failure");
        EXPECT_EQ(sim.m_ui.m_boxes[0].uType, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
        EXPECT_EQ(sim.m_ui.m_boxes[0].hOwner, nullptr);
        EXPECT_EQ(ShareFailureText(c.nStatus), std::string(c.pszText));
    }
    EXPECT_EQ(Share("QXSCRIPTS"), nullptr);
}

TEST_F(ShareCreate, OtherCodesFailWithoutABox)
{
    for (NET_API_STATUS nStatus : std::vector<NET_API_STATUS>{ERROR_NOT_SUPPORTED, ERROR_BAD_NETPATH, NERR_ServerNotStarted, 1}) {
        sim.m_kernel.FailCall("NetShareAdd", nStatus);
        EXPECT_EQ(AddShare("QXSCRIPTS", "C:\\Qorvex\\Scripts"), 0) << nStatus;
        EXPECT_TRUE(Settled());
        EXPECT_EQ(ShareFailureText(nStatus), nullptr);
    }
    EXPECT_TRUE(sim.m_ui.m_boxes.empty());
}

TEST_F(ShareCreate, TheServerSaysWhyItRefuses)
{
    struct Case {
        const char* pszName;
        const char* pszPath;
        const char* pszText;
    } cases[] = {
        {"QXSCRIPTS", "C:\\Qorvex\\Missing", "Invalid Path."},
        {"QXSCRIPTS", "Scripts", "Invalid Path."},
        {"QX/SCRIPTS", "C:\\Qorvex\\Scripts", "Invalid Name"},
        {"", "C:\\Qorvex\\Scripts", "Invalid Name"},
        {"QXSCRIPTS", "N:\\Mapped", "Path is a redirect"},
    };
    sim.m_netShare.Server().redirectedDrives.insert('N');
    for (const Case& c : cases) {
        sim.m_ui.m_boxes.clear();
        EXPECT_EQ(AddShare(c.pszName, c.pszPath), 0) << c.pszName << " " << c.pszPath;
        EXPECT_TRUE(Settled());
        ASSERT_EQ(sim.m_ui.m_boxes.size(), 1u);
        EXPECT_EQ(sim.m_ui.m_boxes[0].strText, c.pszText);
    }
    sim.m_netShare.Server().bCallerIsAdmin = false;
    sim.m_ui.m_boxes.clear();
    EXPECT_EQ(AddShare("QXSCRIPTS", "C:\\Qorvex\\Scripts"), 0);
    ASSERT_EQ(sim.m_ui.m_boxes.size(), 1u);
    EXPECT_EQ(sim.m_ui.m_boxes[0].strText, "Access Denied to Create Share");
}

TEST_F(ShareCreate, AFailedReplacementPutsTheOldShareBackWithItsSecurity)
{
    std::string sd = Descriptor(sim::MakeAcl({Ace(ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, test::kOperatorsSid)}));
    sim::CSimNetShare::CShare& old = sim.m_netShare.PutShare("", "QXSCRIPTS", "C:\\Qorvex\\Scripts", sd);
    old.wstrRemark = L"Qorvex login scripts";
    old.dwMaxUses = 10;

    EXPECT_EQ(AddShare("QXSCRIPTS", "C:\\Qorvex\\Missing"), 0);
    EXPECT_TRUE(Settled());
    ASSERT_EQ(sim.m_ui.m_boxes.size(), 1u);
    EXPECT_EQ(sim.m_ui.m_boxes[0].strText, "Invalid Path.");
    const sim::CSimNetShare::CShare* pShare = Share("QXSCRIPTS");
    ASSERT_NE(pShare, nullptr) << "the old share is never lost";
    EXPECT_EQ(PathOf("QXSCRIPTS"), "C:\\Qorvex\\Scripts");
    EXPECT_EQ(pShare->wstrRemark, L"Qorvex login scripts");
    EXPECT_EQ(pShare->dwMaxUses, 10u);
    EXPECT_EQ(pShare->sd, sd);
}

TEST_F(ShareCreate, AShareThatCannotBeReadIsNotDeleted)
{
    sim.m_netShare.PutShare("", "QXSCRIPTS", "C:\\Qorvex\\Scripts");
    sim.m_kernel.FailCall("NetShareGetInfo", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(AddShare("QXSCRIPTS", "D:\\Logs"), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_kernel.Calls("NetShareDel"), 0);
    EXPECT_EQ(PathOf("QXSCRIPTS"), "C:\\Qorvex\\Scripts");
    ASSERT_EQ(sim.m_ui.m_boxes.size(), 1u);
    EXPECT_EQ(sim.m_ui.m_boxes[0].strText, "Share name already in use.");
}

TEST_F(ShareCreate, AShareThatCannotBeDeletedStays)
{
    sim.m_netShare.PutShare("", "QXSCRIPTS", "C:\\Qorvex\\Scripts");
    sim.m_kernel.FailCall("NetShareDel", ERROR_ACCESS_DENIED);
    EXPECT_EQ(AddShare("QXSCRIPTS", "D:\\Logs"), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(PathOf("QXSCRIPTS"), "C:\\Qorvex\\Scripts");
    EXPECT_EQ(sim.m_netShare.Server().shares.size(), 1u);
}

TEST_F(ShareCreate, TooLongOrNullArgumentsAreRefusedBeforeAnyCall)
{
    std::string strLong(260, 'X');
    std::string strLongPath = "C:\\" + std::string(257, 'p');
    std::string strLongest(259, 'X');  // the longest name that fits: the server refuses it, not the library
    EXPECT_EQ(AddShare(strLong.c_str(), "C:\\Qorvex\\Scripts"), 0);
    EXPECT_EQ(AddShare("QXSCRIPTS", strLongPath.c_str()), 0);
    EXPECT_EQ(AddShare(nullptr, "C:\\Qorvex\\Scripts"), 0);
    EXPECT_EQ(AddShare("QXSCRIPTS", nullptr), 0);
    EXPECT_TRUE(Settled());
    EXPECT_EQ(sim.m_kernel.Calls("NetShareGetInfo") + sim.m_kernel.Calls("NetShareAdd"), 0);
    EXPECT_TRUE(sim.m_ui.m_boxes.empty());
    EXPECT_EQ(AddShare(strLongest.c_str(), "C:\\Qorvex\\Scripts"), 0);
    EXPECT_EQ(sim.m_kernel.Calls("NetShareAdd"), 1);
    ASSERT_EQ(sim.m_ui.m_boxes.size(), 1u);
    EXPECT_EQ(sim.m_ui.m_boxes[0].strText, "Invalid Name");
}

// ---- GetSharePathRemote ----

class RemoteSharePath : public test::SharesTest {
protected:
    RemoteSharePath()
    {
        sim.m_netShare.Server("\\\\QXDC2");
        sim.m_netShare.PutShare("\\\\QXDC2", "NETLOGON", "E:\\WINNT\\sysvol\\domain\\scripts");
        sim.m_netShare.PutShare("\\\\QXDC2", "DATA", "E:\\Data");
    }
    char m_szShare[300] = {};
    char m_szPath[300] = "untouched";
    int Call(const char* pszServer, const char* pszShare)
    {
        std::strcpy(m_szShare, pszShare);
        return GetSharePathRemote(pszServer, m_szShare, m_szPath);
    }
};

TEST_F(RemoteSharePath, GivesTheFolderOfAShareOnTheServerAsked)
{
    EXPECT_EQ(Call("\\\\QXDC2", "NETLOGON"), 1);
    EXPECT_TRUE(Settled());
    EXPECT_STREQ(m_szPath, "E:\\WINNT\\sysvol\\domain\\scripts");
    EXPECT_STREQ(m_szShare, "NETLOGON");
}

TEST_F(RemoteSharePath, AUncNameIsCutToThePartBehindItsServerBeforeTheCall)
{
    struct Case {
        const char* pszIn;
        const char* pszOut;
        int nResult;
    } cases[] = {
        {"\\\\ANYSERVER\\NETLOGON", "NETLOGON", 1},  // the named server is not the one asked
        {"\\\\QXDC2\\DATA\\SUB", "DATA\\SUB", 0},    // a share name that holds a backslash
        {"\\\\QXDC2", "", 0},
        {"\\\\QXDC2\\", "", 0},
    };
    for (const Case& c : cases) {
        std::strcpy(m_szPath, "untouched");
        EXPECT_EQ(Call("\\\\QXDC2", c.pszIn), c.nResult) << c.pszIn;
        EXPECT_TRUE(Settled());
        EXPECT_STREQ(m_szShare, c.pszOut) << c.pszIn;
        EXPECT_STREQ(m_szPath, c.nResult ? "E:\\WINNT\\sysvol\\domain\\scripts" : "untouched") << c.pszIn;
    }
}

TEST_F(RemoteSharePath, WhatCannotBeReadLeavesThePathAndReturnsZero)
{
    sim.m_netShare.Server("\\\\QXDOWN").bReachable = false;
    struct Case {
        const char* pszName;
        const char* pszServer;
        const char* pszShare;
    } cases[] = {
        {"no such share", "\\\\QXDC2", "NOSUCH"},
        {"unknown server", "\\\\NOWHERE", "NETLOGON"},
        {"server down", "\\\\QXDOWN", "NETLOGON"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Call(c.pszServer, c.pszShare), 0) << c.pszName;
        EXPECT_TRUE(Settled());
        EXPECT_STREQ(m_szPath, "untouched") << c.pszName;
    }
    sim.m_netShare.Server("\\\\QXDC2").bCallerIsAdmin = false;
    EXPECT_EQ(Call("\\\\QXDC2", "NETLOGON"), 0);
    EXPECT_STREQ(m_szPath, "untouched");
}

TEST_F(RemoteSharePath, AFolderThatDoesNotFitOrConvertIsNotWritten)
{
    sim.m_netShare.PutShare("\\\\QXDC2", "LONG", "E:\\" + std::string(256, 'd'));  // 259 characters: fits
    EXPECT_EQ(Call("\\\\QXDC2", "LONG"), 1);
    EXPECT_EQ(std::strlen(m_szPath), 259u);
    std::strcpy(m_szPath, "untouched");
    sim.m_netShare.PutShare("\\\\QXDC2", "LONGER", "E:\\" + std::string(257, 'd'));  // 260: does not
    EXPECT_EQ(Call("\\\\QXDC2", "LONGER"), 0);
    EXPECT_STREQ(m_szPath, "untouched");
    sim.m_netShare.PutShare("\\\\QXDC2", "EURO", "E:\\x").wstrPath = L"E:\\\x20AC";  // no ANSI form in the C locale
    EXPECT_EQ(Call("\\\\QXDC2", "EURO"), 0);
    EXPECT_STREQ(m_szPath, "untouched");
    EXPECT_TRUE(Settled());
}

TEST_F(RemoteSharePath, NamesTooLongForTheirBuffersAreRefusedUntouched)
{
    std::string strLongShare = "\\\\QXDC2\\" + std::string(256, 's');
    std::string strLongServer = "\\\\" + std::string(254, 'S');  // 256 characters
    std::strcpy(m_szShare, strLongShare.c_str());
    EXPECT_EQ(GetSharePathRemote("\\\\QXDC2", m_szShare, m_szPath), 0);
    EXPECT_EQ(std::string(m_szShare), strLongShare) << "not even the server part is cut";
    EXPECT_EQ(Call(strLongServer.c_str(), "\\\\QXDC2\\NETLOGON"), 0);
    EXPECT_STREQ(m_szShare, "\\\\QXDC2\\NETLOGON");
    EXPECT_EQ(GetSharePathRemote("\\\\QXDC2", nullptr, m_szPath), 0);
    EXPECT_EQ(GetSharePathRemote("\\\\QXDC2", m_szShare, nullptr), 0);
    EXPECT_EQ(sim.m_kernel.Calls("NetShareGetInfo"), 0);
    EXPECT_STREQ(m_szPath, "untouched");
    EXPECT_TRUE(Settled());
}

TEST_F(RemoteSharePath, ANullOrEmptyServerAsksThisMachine)
{
    sim.m_netShare.PutShare("", "QXLOGS", "D:\\Logs");
    EXPECT_EQ(Call(nullptr, "QXLOGS"), 1);
    EXPECT_STREQ(m_szPath, "D:\\Logs");
    std::strcpy(m_szPath, "untouched");
    EXPECT_EQ(Call("", "\\\\QXSERVER\\QXLOGS"), 1);
    EXPECT_STREQ(m_szPath, "D:\\Logs");
    EXPECT_TRUE(Settled());
}

}  // namespace
}  // namespace qx
