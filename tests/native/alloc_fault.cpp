// The native tests' operator new: the C runtime's heap, failing with std::bad_alloc where the
// simulated Windows has armed an allocation fault (CSimKernel::FailAllocationInProcedure).
#include <cstdlib>
#include <new>

#include "sim/sim_kernel.h"

void* operator new(std::size_t cb)
{
    if (qx::sim::AllocationFails())
        throw std::bad_alloc();
    if (void* p = std::malloc(cb != 0 ? cb : 1))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t cb) { return ::operator new(cb); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
