#include "frame/module.h"

namespace qx {

HINSTANCE g_hInstance = nullptr;
CQxInstApp theApp;

}  // namespace qx
