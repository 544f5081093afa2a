// The export frame: no exception ever leaves an export. Each export body runs inside one of these;
// an exception (out of memory in a std::string, say) becomes the export's failure result.
#pragma once

#include "qxinst.h"

namespace qx {

template <typename Body>
QXBOOL GuardBool(Body&& body) noexcept
{
    try {
        return body() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

template <typename Body>
int GuardInt(int nOnFailure, Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return nOnFailure;
    }
}

template <typename Body>
void GuardVoid(Body&& body) noexcept
{
    try {
        body();
    } catch (...) {
    }
}

}  // namespace qx
