// Merging an account into a share's DACL, and the replication share search, on the simulated platform.
#include <benchmark/benchmark.h>

#include <string>

#include "qxinst.h"
#include "sim/sim_platform.h"

namespace {

using namespace qx;

// SetSharePermissions on a share whose DACL holds nEntries entries of other accounts.
void BM_SetSharePermissions(benchmark::State& state)
{
    sim::CSimPlatform sim;
    sim.m_lsa.AddAccount("", "qxoperators", "S-1-5-21-3623811015-3361044348-30300820-1013");
    std::vector<std::string> aces;
    for (int i = 0; i < state.range(0); ++i)
        aces.push_back(sim::MakeAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x001200A9,
                                    sim::SidFromString("S-1-5-21-1-2-3-" + std::to_string(5000 + i))));
    sim::CSdParts parts;
    parts.owner = sim::SidFromString("S-1-5-32-544");
    parts.bDaclPresent = true;
    parts.dacl = sim::MakeAcl(aces);
    std::string sd = sim::MakeSelfRelativeSd(parts);
    sim.m_files.AddFolder("C:\\Qorvex\\Scripts");
    for (auto _ : state) {
        sim.m_netShare.PutShare("", "SCRIPTS", "C:\\Qorvex\\Scripts", sd);
        benchmark::DoNotOptimize(SetSharePermissions("SCRIPTS", 0, "", "", "qxoperators"));
    }
}
BENCHMARK(BM_SetSharePermissions)->Arg(1)->Arg(16)->Arg(200);

// FindRepl over a domain of nServers servers of 20 shares each, the replication share on the last.
void BM_FindRepl(benchmark::State& state)
{
    sim::CSimPlatform sim;
    sim::CSimNetResource& domain =
        sim.m_netEnum.m_root.Add(sim::NetProviderNode("Microsoft Windows Network")).Add(sim::NetDomainNode("QX"));
    for (int i = 0; i < state.range(0); ++i) {
        std::string strServer = "SRV" + std::to_string(i);
        sim::CSimNetResource& server = domain.Add(sim::NetServerNode(strServer));
        for (int j = 0; j < 20; ++j)
            server.Add(sim::NetShareNode("\\\\" + strServer + "\\DATA" + std::to_string(j)));
    }
    domain.children.back().Add(sim::NetShareNode("\\\\LAST\\REPL$"));
    char szName[256];
    for (auto _ : state)
        benchmark::DoNotOptimize(FindRepl(szName));
    state.SetItemsProcessed(state.iterations() * state.range(0) * 21);
}
BENCHMARK(BM_FindRepl)->Arg(10)->Arg(200);

}  // namespace
