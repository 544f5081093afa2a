// The Win32 forwarders, one area per source file.
#pragma once

#include "platform/platform.h"

namespace qx {

IFiles& Win32Files();
IClock& Win32Clock();
ISystem& Win32System();
IRegistry& Win32Registry();
IScm& Win32Scm();
ILsa& Win32Lsa();
IAcl& Win32Acl();
INetShare& Win32NetShare();
INetServer& Win32NetServer();
INetEnum& Win32NetEnum();
IUi& Win32Ui();

}  // namespace qx
