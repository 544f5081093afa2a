#include "sim/sim_kernel.h"

#include <cstdio>

namespace qx::sim {

namespace {
// One fault for the whole program, as operator new has no context to ask.
struct CAllocationFault {
    int nCountdown = 0;  // 0: none armed
    bool bInProcedure = false;  // a procedure's own code is running
} g_allocationFault;
}  // namespace

bool AllocationFails() noexcept
{
    return g_allocationFault.bInProcedure && g_allocationFault.nCountdown > 0 && --g_allocationFault.nCountdown == 0;
}

CSimCodeScope::CSimCodeScope(bool bProcedure) noexcept : m_bWasProcedure(g_allocationFault.bInProcedure)
{
    g_allocationFault.bInProcedure = bProcedure;
}

CSimCodeScope::~CSimCodeScope() { g_allocationFault.bInProcedure = m_bWasProcedure; }

CSimKernel::~CSimKernel() { g_allocationFault.nCountdown = 0; }

void CSimKernel::FailAllocationInProcedure(int nNth) { g_allocationFault.nCountdown = nNth; }

bool CSimKernel::AllocationFaultPending() const { return g_allocationFault.nCountdown > 0; }

void CSimKernel::ClearFaults()
{
    m_faults.clear();
    g_allocationFault.nCountdown = 0;
}

void CSimKernel::FailCall(const std::string& strCall, DWORD dwError, int nNth)
{
    m_faults.push_back({strCall, dwError, nNth, nNth, false});
}

std::vector<std::string> CSimKernel::UnfiredFaults() const
{
    std::vector<std::string> unfired;
    for (const CFault& fault : m_faults)
        if (!fault.bFired)
            unfired.push_back(fault.strCall +
                              (fault.nArmed == 0 ? std::string(" (every call)") : " #" + std::to_string(fault.nArmed)));
    if (AllocationFaultPending())
        unfired.push_back("an allocation of the library's own code");
    return unfired;
}

bool CSimKernel::ShouldFail(const char* pszCall, DWORD* pdwError)
{
    CSimCodeScope own(false);
    if (own.WasLibraryCode())  // an allocation fault meant for the library could fire in the call
        RecordMisuse(std::string(pszCall) + " runs as the library's own code: it must mark itself");
    ++m_calls[pszCall];
    if (IsAbsent(pszCall)) {
        *pdwError = ERROR_CALL_NOT_IMPLEMENTED;
        return true;
    }
    bool bFail = false;
    for (auto it = m_faults.begin(); it != m_faults.end();) {
        if (it->strCall != pszCall) {
            ++it;
            continue;
        }
        if (it->nNth == 0) {
            bFail = true;
            *pdwError = it->dwError;
            it->bFired = true;
            ++it;
        } else if (--it->nNth == 0) {
            bFail = true;
            *pdwError = it->dwError;
            it = m_faults.erase(it);
        } else {
            ++it;
        }
    }
    return bFail;
}

int CSimKernel::Calls(const std::string& strCall) const
{
    auto it = m_calls.find(strCall);
    return it == m_calls.end() ? 0 : it->second;
}

void CSimKernel::Acquire(const char* pszKind, const void* p)
{
    auto [it, bNew] = m_held.emplace(p, pszKind);
    if (!bNew)
        RecordMisuse(std::string("acquired twice: ") + pszKind);
}

bool CSimKernel::Release(const char* pszKind, const void* p)
{
    auto it = m_held.find(p);
    if (it == m_held.end() || it->second != pszKind) {
        char szWhat[128];
        std::snprintf(szWhat, sizeof szWhat, "released but not held: %s %p", pszKind, p);
        RecordMisuse(szWhat);
        return false;
    }
    m_held.erase(it);
    return true;
}

bool CSimKernel::IsHeld(const char* pszKind, const void* p) const
{
    auto it = m_held.find(p);
    return it != m_held.end() && it->second == pszKind;
}

size_t CSimKernel::Outstanding(const std::string& strKind) const
{
    size_t n = 0;
    for (const auto& held : m_held)
        n += held.second == strKind ? 1 : 0;
    return n;
}

std::map<std::string, int> CSimKernel::HeldCounts() const
{
    std::map<std::string, int> counts;
    for (const auto& held : m_held)
        ++counts[held.second];
    return counts;
}

void CSimKernel::CheckSettled(const char* pszExempt, const char* pszWhat)
{
    for (const auto& count : HeldCounts())
        if (count.first != pszExempt)
            RecordMisuse(std::string(pszWhat) + ": " + std::to_string(count.second) + " " + count.first);
}

std::string CSimKernel::Report() const
{
    std::string strReport;
    for (const auto& count : HeldCounts())
        strReport += "still held: " + std::to_string(count.second) + " " + count.first + "\n";
    for (const auto& misuse : m_misuses)
        strReport += misuse + "\n";
    return strReport.empty() ? "clean" : strReport;
}

void* CSimKernel::NewHandle()
{
    m_nNextHandle += 4;
    return reinterpret_cast<void*>(m_nNextHandle);
}

}  // namespace qx::sim
