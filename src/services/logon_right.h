// The right to log on as a service, given to an account in the local machine's security policy.
#pragma once

#include <cstddef>

#include "platform/unique.h"
#include "platform/win_types.h"

namespace qx {

// The account a right is granted to: up to 255 characters and the terminating zero.
constexpr size_t kAccountBufferSize = 256;
// The first sizes tried for an account's security identifier and its domain name; both grow on request.
constexpr DWORD kInitialSidSize = 128;
constexpr DWORD kInitialDomainSize = 16;

// Fills a counted wide string: length in bytes without the terminator, maximum length with it, and
// the text itself. No text (or one too long to count in 16 bits) gives all zeros.
void MakeLsaString(PLSA_UNICODE_STRING pString, const WCHAR* pwszText);

// Opens the security policy of a system (an empty name: the local machine) with zero-filled object
// attributes. The status of LsaOpenPolicy; *pPolicy owns the handle on success.
NTSTATUS OpenLocalPolicy(const WCHAR* pwszSystem, ACCESS_MASK dwAccess, unique_lsa_handle* pPolicy);

// The security identifier of an account, from the process heap, looked up on a system (null: the
// local machine) with buffers that grow to the sizes the lookup asks for. Empty when the account
// has none or the lookup fails.
unique_process_heap FindAccountSid(const char* pszSystem, const char* pszAccount);

// Gives the account "SeServiceLogonRight" in the local machine's policy. Silent: when the policy
// cannot be opened, the account is unknown or longer than 255 characters, nothing is granted.
void GrantServiceLogonRight(const char* pszAccount);

}  // namespace qx
