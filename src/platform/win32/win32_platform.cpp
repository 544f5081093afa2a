#include "platform/win32/win32_platform.h"

namespace qx {

CPlatform Win32Platform()
{
    CPlatform platform;
    platform.pFiles = &Win32Files();
    platform.pClock = &Win32Clock();
    platform.pSystem = &Win32System();
    platform.pRegistry = &Win32Registry();
    platform.pScm = &Win32Scm();
    platform.pLsa = &Win32Lsa();
    platform.pAcl = &Win32Acl();
    platform.pNetShare = &Win32NetShare();
    platform.pNetServer = &Win32NetServer();
    platform.pNetEnum = &Win32NetEnum();
    platform.pUi = &Win32Ui();
    return platform;
}

}  // namespace qx
