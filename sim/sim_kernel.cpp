#include "sim/sim_kernel.h"

#include <cstdio>

namespace qx::sim {

void CSimKernel::FailCall(const std::string& strCall, DWORD dwError, int nNth)
{
    m_faults.push_back({strCall, dwError, nNth});
}

bool CSimKernel::ShouldFail(const char* pszCall, DWORD* pdwError)
{
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
