// The simulated security primitives, share table and network tree answer like Windows: the bytes,
// the codes and the accounting the shares tests rely on.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/unique.h"
#include "shares_fixture.h"

namespace qx {
namespace {

class SharesSim : public test::SharesTest {};

TEST_F(SharesSim, AddAceInsertsBeforeTheIndexAndChecksTheRoom)
{
    std::string a = Ace(0, 0, 1, test::kEveryoneSid);
    std::string b = Ace(0, 0, 2, test::kAdminsSid);
    std::string acl(8 + a.size() + b.size(), '\0');
    PACL pAcl = reinterpret_cast<PACL>(&acl[0]);
    ASSERT_TRUE(Acl().InitializeAcl(pAcl, static_cast<DWORD>(acl.size()), ACL_REVISION));
    ASSERT_TRUE(Acl().AddAce(pAcl, ACL_REVISION, MAXDWORD, &a[0], static_cast<DWORD>(a.size())));
    ASSERT_TRUE(Acl().AddAce(pAcl, ACL_REVISION, 0, &b[0], static_cast<DWORD>(b.size())));
    EXPECT_EQ(acl, sim::MakeAcl({b, a}));
    Sys().SetLastError(0);
    EXPECT_FALSE(Acl().AddAce(pAcl, ACL_REVISION, MAXDWORD, &a[0], static_cast<DWORD>(a.size())));
    EXPECT_EQ(Sys().GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(acl, sim::MakeAcl({b, a})) << "a refused entry changes nothing";
}

TEST_F(SharesSim, DescriptorsRoundTripThroughTheShareTable)
{
    std::string dacl = sim::MakeAcl({Ace(1, 0, GENERIC_ALL, test::kServiceSid)});
    std::string sd = Descriptor(dacl, true);
    sim.m_netShare.PutShare("", "DATA", "D:\\Logs", sd);
    unique_share_buffer info;
    WCHAR wszName[] = {'d', 'a', 't', 'a', 0};
    ASSERT_EQ(NetShare().NetShareGetInfo(nullptr, wszName, 502, info.put()), 0u);
    SHARE_INFO_502* p502 = reinterpret_cast<SHARE_INFO_502*>(info.get());
    EXPECT_EQ(std::wstring(p502->shi502_path), L"D:\\Logs");
    EXPECT_EQ(p502->shi502_reserved, sd.size());
    EXPECT_EQ(std::string(static_cast<const char*>(p502->shi502_security_descriptor), sd.size()), sd);
    BOOL bPresent = FALSE;
    BOOL bDefaulted = TRUE;
    PACL pDacl = nullptr;
    ASSERT_TRUE(Acl().GetSecurityDescriptorDacl(p502->shi502_security_descriptor, &bPresent, &pDacl, &bDefaulted));
    EXPECT_TRUE(bPresent);
    EXPECT_FALSE(bDefaulted);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pDacl), dacl.size()), dacl);
    // Written back unchanged, the stored form is laid out owner, group, DACL.
    DWORD dwParmErr = 0;
    ASSERT_EQ(NetShare().NetShareSetInfo(nullptr, wszName, 502, info.get(), &dwParmErr), 0u);
    EXPECT_EQ(sim.m_netShare.FindShare("", "DATA")->sd, Descriptor(dacl, false));
    info.reset();
    EXPECT_TRUE(Settled());
}

TEST_F(SharesSim, TheShareTableAnswersWithTheNetworkCodes)
{
    WCHAR wszNone[] = {'N', 'O', 'N', 'E', 0};
    WCHAR wszServer[] = {'\\', '\\', 'F', 'A', 'R', 0};
    LPBYTE pBuf = nullptr;
    EXPECT_EQ(NetShare().NetShareGetInfo(nullptr, wszNone, 502, &pBuf), static_cast<DWORD>(NERR_NetNameNotFound));
    EXPECT_EQ(NetShare().NetShareDel(nullptr, wszNone, 0), static_cast<DWORD>(NERR_NetNameNotFound));
    EXPECT_EQ(NetShare().NetShareGetInfo(wszServer, wszNone, 2, &pBuf), static_cast<DWORD>(ERROR_BAD_NETPATH));
    sim.m_netShare.PutShare("", "NONE", "D:\\Logs");
    EXPECT_EQ(NetShare().NetShareGetInfo(nullptr, wszNone, 1, &pBuf), static_cast<DWORD>(ERROR_INVALID_LEVEL));
    // An invalid descriptor is refused with the parameter's number.
    std::string bad = Descriptor(sim::MakeAcl({Ace(0, 0, 1, test::kEveryoneSid)}));
    bad[bad.size() - Ace(0, 0, 1, test::kEveryoneSid).size() - 8] = 9;  // the DACL's revision
    SHARE_INFO_502 info{};
    info.shi502_security_descriptor = &bad[0];
    DWORD dwParmErr = 0;
    EXPECT_EQ(NetShare().NetShareSetInfo(nullptr, wszNone, 502, reinterpret_cast<LPBYTE>(&info), &dwParmErr),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(dwParmErr, static_cast<DWORD>(SHARE_FILE_SD_PARMNUM));
    EXPECT_TRUE(sim.m_netShare.FindShare("", "NONE")->sd.empty());
}

TEST(SharesSimAccounting, AShareBufferLeftOrFreedTwiceIsCaught)
{
    sim::CSimPlatform sim;
    sim.m_netShare.PutShare("", "DATA", "D:\\Logs");
    WCHAR wszName[] = {'D', 'A', 'T', 'A', 0};
    LPBYTE pBuf = nullptr;
    ASSERT_EQ(NetShare().NetShareGetInfo(nullptr, wszName, 2, &pBuf), 0u);
    EXPECT_EQ(sim.m_kernel.Outstanding("netapi share buffer"), 1u);
    EXPECT_EQ(NetShare().NetApiBufferFree(pBuf), 0u);
    EXPECT_TRUE(sim.Clean());
    EXPECT_NE(NetShare().NetApiBufferFree(pBuf), 0u);
    EXPECT_EQ(sim.m_kernel.Misuses().size(), 1u);
}

TEST_F(SharesSim, TheNetworkTreeAsksForMoreRoomWhenNoEntryFits)
{
    sim.m_netEnum.m_root.Add(sim::NetProviderNode("Microsoft Windows Network"));
    HANDLE hEnum = nullptr;
    ASSERT_EQ(NetEnum().WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &hEnum), 0u);
    unique_wnet_enum owner(hEnum);
    alignas(8) BYTE abSmall[40];
    DWORD nCount = 0xFFFFFFFF;
    DWORD cb = sizeof abSmall;
    EXPECT_EQ(NetEnum().WNetEnumResourceA(hEnum, &nCount, abSmall, &cb), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_GT(cb, sizeof abSmall);
    alignas(8) BYTE abBig[512];
    cb = sizeof abBig;
    EXPECT_EQ(NetEnum().WNetEnumResourceA(hEnum, &nCount, abBig, &cb), 0u);
    EXPECT_EQ(nCount, 1u);
    EXPECT_STREQ(reinterpret_cast<NETRESOURCEA*>(abBig)->lpRemoteName, "Microsoft Windows Network");
    EXPECT_EQ(NetEnum().WNetEnumResourceA(hEnum, &nCount, abBig, &cb), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    NETRESOURCEA notContainer{};
    notContainer.dwUsage = RESOURCEUSAGE_CONNECTABLE;
    HANDLE hOther = nullptr;
    EXPECT_EQ(NetEnum().WNetOpenEnumA(RESOURCE_GLOBALNET, 0, 0, &notContainer, &hOther),
              static_cast<DWORD>(ERROR_NOT_CONTAINER));
}

}  // namespace
}  // namespace qx
