// The argument and result kinds of every export, as a host must pass them.
//   S  text in (const char*)         B  buffer in and out (char*: initial text, then the result)
//   O  buffer out (char*)            I  32-bit integer
#pragma once

#include <cstring>

namespace qx::host {

enum class ResultKind { kBool, kInt, kNone };

struct CExportSignature {
    const char* pszName;
    const char* pszArgs;
    ResultKind result;
};

inline constexpr CExportSignature kExportSignatures[] = {
    {"Decrypt", "SS", ResultKind::kBool},
    {"Encrypt", "SSI", ResultKind::kBool},
    {"GetEngineVersion", "S", ResultKind::kInt},
    {"GetScriptVars", "SBBBBBB", ResultKind::kBool},
    {"SetScriptVars", "SSSSSSS", ResultKind::kNone},
    {"GetManagerVars", "SBBBBBO", ResultKind::kNone},
    {"SetManagerVars", "SSSSSS", ResultKind::kNone},
    {"SetBuffer", "", ResultKind::kNone},
    {"MakeManagerINI", "SSSS", ResultKind::kBool},
    {"GetSharePath", "BO", ResultKind::kInt},
    {"FindRepl", "O", ResultKind::kInt},
    {"MakeReplBat", "SS", ResultKind::kBool},
    {"AddShare", "SS", ResultKind::kBool},
    {"GetSharePathRemote", "SBO", ResultKind::kInt},
    {"SetSharePermissions", "SISSS", ResultKind::kBool},
    {"StartServiceWait", "SSS", ResultKind::kInt},
    {"StopServiceWait", "SSS", ResultKind::kInt},
    {"InstallService", "SSSSSS", ResultKind::kInt},
    {"RemoveService", "SSS", ResultKind::kInt},
    {"KixInstalled", "S", ResultKind::kInt},
    {"ZUVadarInstalled", "S", ResultKind::kInt},
    {"ROVoruzInstalled", "S", ResultKind::kInt},
    {"IsDomainController", "", ResultKind::kInt},
    {"EnumServers", "OI", ResultKind::kInt},
    {"GetSystemLanguage", "", ResultKind::kInt},
    {"SelectServer", "O", ResultKind::kBool},
    {"SPOpen", "", ResultKind::kNone},
    {"SPClose", "", ResultKind::kNone},
    {"SPSetRange", "II", ResultKind::kNone},
    {"SPSetPos", "I", ResultKind::kNone},
    {"SPSetText", "S", ResultKind::kNone},
    {"GetUNC", "O", ResultKind::kInt},
};

inline const CExportSignature* FindExportSignature(const char* pszName)
{
    for (const CExportSignature& signature : kExportSignatures) {
        if (std::strcmp(signature.pszName, pszName) == 0)
            return &signature;
    }
    return nullptr;
}

}  // namespace qx::host
