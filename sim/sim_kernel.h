// The core of the simulated Windows: the last error, fault injection, handle values and the
// accounting of everything handed out, shared by every simulated area.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace qx::sim {

class CSimKernel {
public:
    CSimKernel() = default;
    ~CSimKernel();
    CSimKernel(const CSimKernel&) = delete;
    CSimKernel& operator=(const CSimKernel&) = delete;

    // ---- last error (one thread, as the library uses it) ----
    DWORD m_dwLastError = 0;
    BOOL Fail(DWORD dwError)
    {
        m_dwLastError = dwError;
        return FALSE;
    }

    // ---- the system's ANSI code page (CSimSystem::SetAnsiCodePage), read by every area ----
    UINT m_nAnsiCodePage = 1252;

    // ---- fault injection ----
    // The nNth call of pszCall from now on (1 = the next one) fails with dwError; nNth 0 makes every
    // call fail until ClearFaults().
    void FailCall(const std::string& strCall, DWORD dwError, int nNth = 1);
    void ClearFaults();
    // The faults armed and never fired, as "<call> #<n>" ("<call> (every call)" for nNth 0): a
    // misspelt call name, or a call that no longer happens.
    std::vector<std::string> UnfiredFaults() const;
    // pszCall is missing from this Windows (as ReplaceFileA is from NT 4.0, a function its DLL does
    // not export): each call fails with ERROR_CALL_NOT_IMPLEMENTED and changes nothing.
    void MakeAbsent(const std::string& strCall) { m_absent.insert(strCall); }
    bool IsAbsent(const std::string& strCall) const { return m_absent.count(strCall) != 0; }
    // Counts a call of pszCall; true when it is to fail, with the code in *pdwError (an absent
    // call fails before any injected fault is counted).
    bool ShouldFail(const char* pszCall, DWORD* pdwError);
    // How many times pszCall was made since the start (or since ResetCalls()).
    int Calls(const std::string& strCall) const;
    void ResetCalls() { m_calls.clear(); }

    // ---- allocation faults in the library's own code ----
    // The nNth allocation from now on (1 = the next) that the library's own code makes fails with
    // std::bad_alloc, as operator new does when memory runs out. Its own code is what a
    // CSimCodeScope(true) spans: the window procedures that the simulated windows call, and what a
    // test runs so (an export); not the simulated calls it makes, which mark themselves as the
    // simulation's work (a simulated call that asks ShouldFail without doing so is a misuse). It
    // works in a program whose operator new asks AllocationFails() (the native tests); it is
    // disarmed when it fires, by ClearFaults() and when the kernel goes.
    void FailAllocationInProcedure(int nNth);
    // Whether an armed allocation fault has not fired yet.
    bool AllocationFaultPending() const;

    // ---- accounting ----
    // Everything handed out is held under its kind ("file", "hkey", "schandle", "local", ...) until
    // it is released with the same kind. A release of something not held is a misuse.
    void Acquire(const char* pszKind, const void* p);
    bool Release(const char* pszKind, const void* p);
    bool IsHeld(const char* pszKind, const void* p) const;
    size_t Outstanding() const { return m_held.size(); }
    size_t Outstanding(const std::string& strKind) const;
    const std::vector<std::string>& Misuses() const { return m_misuses; }
    void RecordMisuse(const std::string& strWhat) { m_misuses.push_back(strWhat); }
    // Nothing held and no misuse.
    bool Clean() const { return m_held.empty() && m_misuses.empty(); }
    // Records a misuse "<pszWhat>: <count> <kind>" for each kind still held, but pszExempt.
    void CheckSettled(const char* pszExempt, const char* pszWhat);
    // What is still held and every misuse, for a test's failure message.
    std::string Report() const;

    // A fresh opaque handle value (never null, never INVALID_HANDLE_VALUE, never dereferenced).
    void* NewHandle();

private:
    std::map<std::string, int> HeldCounts() const;
    struct CFault {
        std::string strCall;
        DWORD dwError;
        int nNth;
        int nArmed;  // the nNth it was armed with
        bool bFired;
    };
    std::map<std::string, int> m_calls;
    std::vector<CFault> m_faults;
    std::set<std::string> m_absent;
    std::map<const void*, std::string> m_held;
    std::vector<std::string> m_misuses;
    uintptr_t m_nNextHandle = 0x10000;
};

// Whether the allocation being made is to fail (CSimKernel::FailAllocationInProcedure).
bool AllocationFails() noexcept;

// Marks the code it spans as the library's own (bProcedure: a window procedure's, or an export's that
// a test runs so) or as the simulation's work (every simulated call the library's code can reach).
class CSimCodeScope {
public:
    explicit CSimCodeScope(bool bProcedure) noexcept;
    ~CSimCodeScope();
    CSimCodeScope(const CSimCodeScope&) = delete;
    CSimCodeScope& operator=(const CSimCodeScope&) = delete;
    // Whether the code around the scope was the library's own.
    bool WasLibraryCode() const { return m_bWasProcedure; }

private:
    bool m_bWasProcedure;
};

}  // namespace qx::sim
