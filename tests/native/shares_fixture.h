// Shared set-up of the shares and replication tests: accounts and folders on the simulated Windows,
// descriptors built and read back, and each export called with the accounting checked after it.
#pragma once

#include <string>

#include "qxinst.h"
#include "sim/sim_acl.h"
#include "sim/sim_text.h"
#include "sim_fixture.h"

namespace qx::test {

const std::string kOperatorsSid = "S-1-5-21-3623811015-3361044348-30300820-1013";  // QXSERVER\qxoperators
const std::string kServiceSid = "S-1-5-21-3623811015-3361044348-30300820-1014";  // QXSERVER\qxservice
const std::string kEveryoneSid = "S-1-1-0";
const std::string kAdminsSid = "S-1-5-32-544";
const std::string kSystemSid = "S-1-5-18";

class SharesTest : public SimTest {
protected:
    SharesTest()
    {
        sim.m_lsa.AddAccount("", "qxoperators", kOperatorsSid, SidTypeAlias);
        sim.m_lsa.AddAccount("", "qxservice", kServiceSid);
        sim.m_lsa.AddAccount("BUILTIN", "Administrators", kAdminsSid, SidTypeAlias);
        sim.m_files.AddFolder("C:\\Qorvex\\Scripts");
        sim.m_files.AddFolder("D:\\Logs");
    }

    static std::string Sid(const std::string& strSid) { return sim::SidFromString(strSid); }
    static std::string Ace(BYTE nType, BYTE nFlags, ACCESS_MASK dwMask, const std::string& strSid)
    {
        return sim::MakeAce(nType, nFlags, dwMask, Sid(strSid));
    }
    // A self-relative descriptor owned by Administrators, group SYSTEM, with this DACL.
    static std::string Descriptor(const std::string& dacl, bool bDaclFirst = false)
    {
        return sim::MakeSelfRelativeSd(
            {SECURITY_DESCRIPTOR_REVISION, 0, Sid(kAdminsSid), Sid(kSystemSid), true, dacl, bDaclFirst});
    }
    // A share of this machine: its record and the length of its stored descriptor as text, and the
    // descriptor's bytes.
    std::string Record(const std::string& strName)
    {
        const sim::CSimNetShare::CShare* p = sim.m_netShare.FindShare("", strName);
        if (p == nullptr)
            return "<no share>";
        return sim::Narrow(p->wstrName) + " type " + std::to_string(p->dwType) + " remark '" +
               sim::Narrow(p->wstrRemark) + "' permissions " + std::to_string(p->dwPermissions) + " uses " +
               std::to_string(p->dwMaxUses) + " path " + sim::Narrow(p->wstrPath) +
               (p->bHasPassword ? " password" : "") + " sd " + std::to_string(p->sd.size());
    }
    std::string StoredBytes(const std::string& strName)
    {
        const sim::CSimNetShare::CShare* p = sim.m_netShare.FindShare("", strName);
        return p != nullptr ? p->sd : "<no share>";
    }
    sim::CSdParts StoredSd(const std::string& strShare)
    {
        sim::CSdParts parts;
        EXPECT_TRUE(sim::ReadSelfRelativeSd(StoredBytes(strShare), &parts)) << strShare;
        return parts;
    }

    // The exports, each followed by the accounting check.
    template <typename Export, typename... Args> auto Settle(Export pfn, Args... args)
    {
        auto result = pfn(args...);
        EXPECT_TRUE(Settled());
        return result;
    }
};

}  // namespace qx::test
