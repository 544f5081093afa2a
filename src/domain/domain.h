// The machine's role in the domain, the domain's controllers and the system language.
#pragma once

#include <cstddef>
#include <string>

#include "platform/unique.h"

namespace qx {

// ---- the machine's role, from the product type in the registry ----
constexpr char kProductOptionsKey[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr char kProductTypeValue[] = "ProductType";
constexpr DWORD kProductTypeBufferSize = 1024;

// The roles, as IsDomainController answers them.
constexpr int kRoleUnknown = 0;
constexpr int kRoleDomainController = 1;  // "LANMANNT"
constexpr int kRoleServer = 2;  // "SERVERNT", or anything beginning with "ServerNT"
constexpr int kRoleWorkstation = 3;  // "WINNT"

// The role a product type value names. The value is cbValue bytes as read (a terminator, when the
// value has one, ends it earlier). "ServerNT" as a prefix is tested in its own letter case first;
// then the whole value, upper-cased in the system's code page, is compared.
int RoleOfProductType(const char* pchValue, size_t cbValue);
// Reads the product type and gives the machine's role; kRoleUnknown when it cannot be read.
int ReadMachineRole();

// ---- the system language ----
// The suite's languages, as GetSystemLanguage answers them.
constexpr int kLanguageOther = 0;
constexpr int kLanguageEnglish = 1;
constexpr int kLanguageGerman = 2;
constexpr int kLanguageSpanish = 3;
constexpr int kLanguageFrench = 4;
// The suite's language of a Windows language identifier, matched whole (primary language and
// sublanguage): English sublanguages 1..13, German 1..5, Spanish 1..20, French 1..6; 0 otherwise.
int LanguageCodeOf(LANGID langId);

// ---- the domain's controllers ----
// Every server name the library hands on fits a 260-byte buffer: 259 characters and the zero.
constexpr size_t kServerNameSize = MAX_PATH;
constexpr size_t kMaxServerNameChars = kServerNameSize - 1;
// The browser's server types asked for: primary and backup domain controllers (0x18).
constexpr DWORD kControllerTypes = SV_TYPE_DOMAIN_CTRL | SV_TYPE_DOMAIN_BAKCTRL;

// The primary domain's controllers as the browser reports them at one moment, in its order.
class CServerList {
public:
    CServerList() = default;
    CServerList(const CServerList&) = delete;
    CServerList& operator=(const CServerList&) = delete;

    // Asks the browser afresh (information level 100, all entries at once). A failed enumeration
    // leaves the list empty and gives its status; the buffer is released in every case.
    NET_API_STATUS Enumerate();
    DWORD GetCount() const { return m_nEntries; }
    // Entry nIndex (from 0) as 8-bit text, terminated within szName. False, with szName empty, when
    // the entry has no name, cannot be converted, or would not fit with its terminator.
    bool GetName(DWORD nIndex, char (&szName)[kServerNameSize]) const;

private:
    unique_server_buffer m_buffer;
    DWORD m_nEntries = 0;
};

// What EnumServers answers for one index.
constexpr int kEnumServersEnd = 0;  // the index is past the end of the list; the name is empty
constexpr int kEnumServersName = 1;  // a name was found
constexpr int kEnumServersSkip = 2;  // this machine itself (or an entry that cannot be named): skip it

// Index 0 is this machine, named as GetComputerNameA gives it; index i from 1 on is the list's
// entry i, upper-cased. The name (at most kMaxServerNameChars characters) goes to strName, which
// is empty unless the result is kEnumServersName.
int ServerAtIndex(unsigned int nIndex, std::string& strName);

}  // namespace qx
