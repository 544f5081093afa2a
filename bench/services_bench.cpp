// The services' polls on the simulated platform: what one pass costs (open the manager and the
// service, read the status, close both), and a whole stop whose poll runs to its 20000 ms limit.
#include <benchmark/benchmark.h>

#include "qxinst.h"
#include "services/service_control.h"
#include "sim/sim_platform.h"

namespace {

using qx::sim::CSimPlatform;
using qx::sim::CSimServiceBehaviour;

void BM_ServiceStatusPass(benchmark::State& state)
{
    CSimPlatform sim;
    sim.m_scm.AddService("QxSvc", "Tavrin");
    sim.m_scm.SetState("QxSvc", SERVICE_RUNNING);
    qx::CServiceControl service("QxSvc", "Tavrin");
    for (auto _ : state) {
        service.QueryStatus();
        benchmark::DoNotOptimize(service.m_status.dwCurrentState);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ServiceStatusPass);

// A refused stop: 20000 passes of the poll (one millisecond of simulated time each), then the settle.
void BM_RefusedStopWholePoll(benchmark::State& state)
{
    for (auto _ : state) {
        CSimPlatform sim;
        sim.m_scm.AddService("QxSvc", "Tavrin", CSimServiceBehaviour::RefusesStop());
        sim.m_scm.SetState("QxSvc", SERVICE_RUNNING);
        benchmark::DoNotOptimize(StopServiceWait(nullptr, "QxSvc", "Tavrin"));
    }
}
BENCHMARK(BM_RefusedStopWholePoll)->Unit(benchmark::kMillisecond);

}  // namespace
