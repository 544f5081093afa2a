#include "shares/share_creator.h"

#include "platform/unique.h"

namespace qx {

namespace {

struct CShareFailure {
    NET_API_STATUS nStatus;
    const char* pszText;
};

// In the order the codes are tested.
constexpr CShareFailure kShareFailures[] = {
    {ERROR_ACCESS_DENIED, "Access Denied to Create Share"},
    {ERROR_INVALID_LEVEL, "Incorrect OS (Paramaters)"},
    {ERROR_INVALID_NAME, "Invalid Name"},
    {ERROR_INVALID_PARAMETER, "Invalid Param"},
    {NERR_DuplicateShare, "Share name already in use."},
    {NERR_RedirectedPath, "Path is a redirect"},
    {NERR_UnknownDevDir, "Invalid Path."},
};

}  // namespace

const char* ShareFailureText(NET_API_STATUS nStatus)
{
    for (const CShareFailure& failure : kShareFailures) {
        if (failure.nStatus == nStatus)
            return failure.pszText;
    }
    return nullptr;
}

CShareCreator::CShareCreator(LPWSTR pwszName, LPWSTR pwszPath) : m_info {}, m_pwszName(pwszName)
{
    static WCHAR s_wszNoRemark[] = {0};
    m_info.shi2_netname = pwszName;
    m_info.shi2_type = STYPE_DISKTREE;
    m_info.shi2_remark = s_wszNoRemark;
    m_info.shi2_permissions = 0;
    m_info.shi2_max_uses = SHI_USES_UNLIMITED;
    m_info.shi2_current_uses = 0;
    m_info.shi2_path = pwszPath;
    m_info.shi2_passwd = nullptr;
}

NET_API_STATUS CShareCreator::Create()
{
    // Keep the share being replaced, security descriptor and all. A share that exists but cannot be
    // read is not deleted: the add then fails and the old share stays.
    unique_share_buffer oldShare;
    NET_API_STATUS nRead = NetShare().NetShareGetInfo(nullptr, m_pwszName, 502, oldShare.put());
    if (nRead == NERR_Success && oldShare)
        m_bDeletedOld = NetShare().NetShareDel(nullptr, m_pwszName, 0) == NERR_Success;

    DWORD dwParmErr = 0;
    m_nAddStatus = NetShare().NetShareAdd(nullptr, 2, reinterpret_cast<LPBYTE>(&m_info), &dwParmErr);
    if (m_nAddStatus != NERR_Success && m_bDeletedOld) {
        DWORD dwRestoreParmErr = 0;
        m_bRestoredOld = NetShare().NetShareAdd(nullptr, 502, oldShare.get(), &dwRestoreParmErr) == NERR_Success;
    }
    return m_nAddStatus;
}

}  // namespace qx
