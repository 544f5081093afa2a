// Simulated network neighbourhood for WNet enumeration: a tree of resources (providers, domains,
// servers, shares) walked with WNetOpenEnumA / WNetEnumResourceA / WNetCloseEnum. Records are packed
// into the caller's buffer as the Windows multiple-provider router does (records first, texts at the
// end), batches honour the entry count asked for, and errors can be injected per container. Every
// enumeration handle is accounted for until closed.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/sim_kernel.h"

namespace qx::sim {

struct CSimNetResource {
    DWORD dwScope = RESOURCE_GLOBALNET;
    DWORD dwType = RESOURCETYPE_ANY;
    DWORD dwDisplayType = RESOURCEDISPLAYTYPE_GENERIC;
    DWORD dwUsage = RESOURCEUSAGE_CONTAINER;
    bool bHasRemoteName = true;  // false: lpRemoteName is null
    std::string strRemoteName;
    std::string strComment;
    std::string strProvider;
    std::vector<CSimNetResource> children;
    DWORD dwOpenError = 0;  // opening this container fails with this code
    DWORD dwEnumError = 0;  // enumerating it fails with this code ...
    size_t nEnumErrorAfter = 0;  // ... once this many entries were handed out

    // Adds a child and gives it back for chaining.
    CSimNetResource& Add(const CSimNetResource& child);
};

// Ready-made resources of the Microsoft network.
CSimNetResource NetProviderNode(const std::string& strName);
CSimNetResource NetDomainNode(const std::string& strName);
CSimNetResource NetServerNode(const std::string& strName);  // "\\\\NAME"
CSimNetResource NetShareNode(const std::string& strRemoteName);  // "\\\\NAME\\SHARE": connectable only

class CSimNetEnum final : public INetEnum {
public:
    explicit CSimNetEnum(CSimKernel& kernel) : m_kernel(kernel) { }

    // The top of the network: its children are the providers.
    CSimNetResource m_root;
    // Set: there is no network at all and every open fails with this code (ERROR_NO_NETWORK).
    DWORD m_dwNoNetworkError = 0;

    struct COpen {
        DWORD dwScope = 0;
        DWORD dwType = 0;
        DWORD dwUsage = 0;
        std::string strContainer;  // "" for the top of the network
        DWORD dwResult = 0;
    };
    std::vector<COpen> m_opens;  // every WNetOpenEnumA, in order
    std::vector<DWORD> m_countsAsked;  // the entry count of every WNetEnumResourceA, in order

    DWORD WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage, LPNETRESOURCEA pResource, LPHANDLE phEnum) override;
    DWORD WNetEnumResourceA(HANDLE hEnum, LPDWORD pcCount, LPVOID pBuffer, LPDWORD pcbBuffer) override;
    DWORD WNetCloseEnum(HANDLE hEnum) override;

private:
    struct CEnumeration {
        const CSimNetResource* pContainer = nullptr;
        size_t nNext = 0;
    };
    const CSimNetResource* FindContainer(const CSimNetResource& node, const std::string& strRemoteName) const;

    CSimKernel& m_kernel;
    std::map<HANDLE, CEnumeration> m_enums;
};

}  // namespace qx::sim
