// Shared set-up of the shares and replication tests: accounts, folders and descriptors on the
// simulated Windows, and readers of what a share ends up holding.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/sim_acl.h"
#include "sim_fixture.h"

namespace qx::test {

const std::string kOperatorsSid = "S-1-5-21-3623811015-3361044348-30300820-1013";  // QXSERVER\qxoperators
const std::string kServiceSid = "S-1-5-21-3623811015-3361044348-30300820-1014";    // QXSERVER\qxservice
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
        sim::CSdParts parts;
        parts.owner = Sid(kAdminsSid);
        parts.group = Sid(kSystemSid);
        parts.bDaclPresent = true;
        parts.dacl = dacl;
        parts.bDaclFirst = bDaclFirst;
        return sim::MakeSelfRelativeSd(parts);
    }

    // The stored descriptor of a share of this machine, read back.
    sim::CSdParts StoredSd(const std::string& strShare)
    {
        sim::CSdParts parts;
        const sim::CSimNetShare::CShare* pShare = sim.m_netShare.FindShare("", strShare);
        if (pShare != nullptr && !pShare->sd.empty())
            EXPECT_TRUE(sim::ReadSelfRelativeSd(pShare->sd, &parts));
        return parts;
    }
    std::vector<sim::CAceView> StoredDacl(const std::string& strShare)
    {
        return sim::ReadAcl(StoredSd(strShare).dacl);
    }
    std::string StoredBytes(const std::string& strShare)
    {
        const sim::CSimNetShare::CShare* pShare = sim.m_netShare.FindShare("", strShare);
        return pShare != nullptr ? pShare->sd : std::string("<no share>");
    }
};

}  // namespace qx::test
