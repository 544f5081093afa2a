#include "frame/module.h"

namespace qx {

HINSTANCE g_hInstance = nullptr;

}  // namespace qx
