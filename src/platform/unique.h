// Owners for everything the library acquires from the platform: one line per kind.
//
//   unique_file f(Files().CreateFileA(...));   if (!f) ...;   Files().ReadFile(f.get(), ...)
//   unique_hkey key;   Reg().RegOpenKeyExA(..., key.put());
//   return buffer.release();   // hand the result out
//
// put() releases what the owner held before handing out the address to fill.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace qx {

template <typename Traits> class unique_any {
public:
    using pointer = typename Traits::pointer;

    unique_any() noexcept : m_value(Traits::Invalid()) { }
    explicit unique_any(pointer value) noexcept : m_value(value) { }
    ~unique_any() { reset(); }
    unique_any(unique_any&& other) noexcept : m_value(other.release()) { }
    unique_any& operator=(unique_any&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;

    pointer get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != Traits::Invalid(); }
    pointer* put() noexcept
    {
        reset();
        return &m_value;
    }
    pointer release() noexcept { return std::exchange(m_value, Traits::Invalid()); }
    void reset(pointer value = Traits::Invalid()) noexcept
    {
        pointer old = std::exchange(m_value, value);
        if (old != Traits::Invalid())
            Traits::Close(old);
    }

private:
    pointer m_value;
};

#define QX_DEFINE_UNIQUE(alias, type, invalid, close)                                                                  \
    struct alias##_traits {                                                                                            \
        using pointer = type;                                                                                          \
        static pointer Invalid() noexcept { return invalid; }                                                          \
        static void Close(pointer p) noexcept { close; }                                                               \
    };                                                                                                                 \
    using alias = unique_any<alias##_traits>

QX_DEFINE_UNIQUE(unique_file, HANDLE, INVALID_HANDLE_VALUE, Files().CloseHandle(p));
QX_DEFINE_UNIQUE(unique_hkey, HKEY, nullptr, Reg().RegCloseKey(p));
QX_DEFINE_UNIQUE(unique_schandle, SC_HANDLE, nullptr, Scm().CloseServiceHandle(p));
QX_DEFINE_UNIQUE(unique_lsa_handle, LSA_HANDLE, nullptr, Lsa().LsaClose(p));
QX_DEFINE_UNIQUE(unique_hlocal, HLOCAL, nullptr, Sys().LocalFree(p));
QX_DEFINE_UNIQUE(unique_hglobal, HGLOBAL, nullptr, Sys().GlobalFree(p));
QX_DEFINE_UNIQUE(unique_process_heap, LPVOID, nullptr, Sys().HeapFree(Sys().GetProcessHeap(), 0, p));
QX_DEFINE_UNIQUE(unique_share_buffer, LPBYTE, nullptr, NetShare().NetApiBufferFree(p));
QX_DEFINE_UNIQUE(unique_server_buffer, LPBYTE, nullptr, NetServer().NetApiBufferFree(p));
QX_DEFINE_UNIQUE(unique_wnet_enum, HANDLE, nullptr, NetEnum().WNetCloseEnum(p));
QX_DEFINE_UNIQUE(unique_pidl, PIDLIST_ABSOLUTE, nullptr, Ui().CoTaskMemFree(p));
QX_DEFINE_UNIQUE(unique_hwnd, HWND, nullptr, Ui().DestroyWindow(p));

#undef QX_DEFINE_UNIQUE

}  // namespace qx
