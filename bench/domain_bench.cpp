// The controller walk and the language lookup on the simulated platform. Every EnumServers call
// enumerates afresh, so a host's whole walk over n controllers costs n + 2 enumerations.
#include <benchmark/benchmark.h>

#include <string>

#include "qxinst.h"
#include "sim/sim_platform.h"

namespace {

void BM_EnumServersWalk(benchmark::State& state)
{
    qx::sim::CSimPlatform sim;
    for (int n = 0; n < state.range(0); ++n)
        sim.m_netServer.AddBackupController(L"bdc-" + std::to_wstring(n));
    char szServer[260];
    for (auto _ : state) {
        unsigned int nIndex = 0;
        while (EnumServers(szServer, nIndex) != 0)
            ++nIndex;
        benchmark::DoNotOptimize(nIndex);
    }
    state.SetItemsProcessed(state.iterations() * (state.range(0) + 2));
    sim.m_netServer.m_calls.clear();
}
BENCHMARK(BM_EnumServersWalk)->Arg(10)->Arg(100)->Arg(1000);

void BM_GetSystemLanguage(benchmark::State& state)
{
    qx::sim::CSimPlatform sim;
    LANGID langId = 0;
    for (auto _ : state) {
        sim.m_system.m_langId = langId++;
        benchmark::DoNotOptimize(GetSystemLanguage());
    }
}
BENCHMARK(BM_GetSystemLanguage);

}  // namespace
