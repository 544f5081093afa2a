// Creating a disk share on this machine, replacing a share of the same name without ever losing it.
#pragma once

#include "platform/win_types.h"

namespace qx {

constexpr size_t kShareNameChars = 260;  // wide buffers of AddShare: name and folder, terminator included
constexpr char kShareFailureCaption[] = "Share Failure";

// The message shown for a failed NetShareAdd, or null for a code that has none. The codes are tested
// in a fixed order: access denied, invalid level, invalid name, invalid parameter, duplicate share,
// redirected path, unknown device or folder.
const char* ShareFailureText(NET_API_STATUS nStatus);

class CShareCreator {
public:
    // pwszName and pwszPath stay owned by the caller and must outlive the object.
    CShareCreator(LPWSTR pwszName, LPWSTR pwszPath);

    // Publishes the folder under the name: a share of that name is read (level 502) and deleted
    // first, and put back as it was when the new share cannot be added. The result is NetShareAdd's.
    NET_API_STATUS Create();

    bool ReplacedOld() const { return m_bDeletedOld && m_nAddStatus == NERR_Success; }
    bool RestoredOld() const { return m_bRestoredOld; }

private:
    SHARE_INFO_2 m_info;
    LPWSTR m_pwszName;
    bool m_bDeletedOld = false;
    bool m_bRestoredOld = false;
    NET_API_STATUS m_nAddStatus = NERR_Success;
};

}  // namespace qx
