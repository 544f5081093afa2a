// A lock for the hooks' records, on a critical section rather than std::mutex: the 32-bit tools are
// built without a thread library (Windows NT 4.0 has none of what winpthreads imports).
#pragma once

#include <windows.h>

namespace qx::host {

class CHostSection {
public:
    CHostSection() { InitializeCriticalSection(&m_section); }
    ~CHostSection() { DeleteCriticalSection(&m_section); }
    CHostSection(const CHostSection&) = delete;
    CHostSection& operator=(const CHostSection&) = delete;
    CRITICAL_SECTION* Get() { return &m_section; }

private:
    CRITICAL_SECTION m_section;
};

class CHostLock {
public:
    explicit CHostLock(CHostSection& section) : m_section(section) { EnterCriticalSection(m_section.Get()); }
    ~CHostLock() { LeaveCriticalSection(m_section.Get()); }
    CHostLock(const CHostLock&) = delete;
    CHostLock& operator=(const CHostLock&) = delete;

private:
    CHostSection& m_section;
};

}  // namespace qx::host
