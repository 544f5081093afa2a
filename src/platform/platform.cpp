#include "platform/platform.h"

namespace qx {

namespace {
CPlatform InitialPlatform()
{
#ifdef _WIN32
    return Win32Platform();
#else
    return CPlatform {};
#endif
}
}  // namespace

CPlatform& CurrentPlatform()
{
    static CPlatform s_platform = InitialPlatform();
    return s_platform;
}

CPlatform SetPlatform(const CPlatform& platform)
{
    CPlatform previous = CurrentPlatform();
    CurrentPlatform() = platform;
    return previous;
}

}  // namespace qx
