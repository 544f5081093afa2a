// The argument and result kinds of every export, as a host must pass them, from the library's table
// of exports (src/frame/exports.inc), checked there against qxinst.h.
//   S  text in (const char*)         B  buffer in and out (char*: initial text, then the result)
//   O  buffer out (char*)            I  32-bit integer        U  32-bit unsigned integer
#pragma once

#include <cstring>

#include "frame/export_table.h"

namespace qx::host {

using ResultKind = qx::exports::ResultKind;
using CExportSignature = qx::exports::CExportLine;

inline const CExportSignature* FindExportSignature(const char* pszName)
{
    for (const CExportSignature& signature : qx::exports::kExportTable) {
        if (std::strcmp(signature.pszName, pszName) == 0)
            return &signature;
    }
    return nullptr;
}

}  // namespace qx::host
