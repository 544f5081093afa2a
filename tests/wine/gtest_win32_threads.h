// GoogleTest for the Win32-threads compilers, which have no std::mutex or std::condition_variable:
// its one use of them, the Notification that starts its own threads, on a Win32 event instead.
// Included before everything else in GoogleTest and the 32-bit test program (-include).
#pragma once

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
    Notification() : m_hEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)) { }
    ~Notification() { CloseHandle(m_hEvent); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { SetEvent(m_hEvent); }
    void WaitForNotification() { WaitForSingleObject(m_hEvent, INFINITE); }

private:
    HANDLE m_hEvent;
};

}  // namespace testing::internal
