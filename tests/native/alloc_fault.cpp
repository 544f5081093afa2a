// The native tests' operator new, failing where the simulated Windows has armed an allocation fault.
#include <cstdlib>
#include <new>

#include "sim/sim_kernel.h"

namespace {
void* Allocate(std::size_t cb) noexcept { return qx::sim::AllocationFails() ? nullptr : std::malloc(cb != 0 ? cb : 1); }
}  // namespace

void* operator new(std::size_t cb)
{
    if (void* p = Allocate(cb))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t cb) { return ::operator new(cb); }
void* operator new(std::size_t cb, const std::nothrow_t&) noexcept { return Allocate(cb); }
void* operator new[](std::size_t cb, const std::nothrow_t&) noexcept { return Allocate(cb); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
