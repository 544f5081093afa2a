// qxmgr.ini and REPL.BAT at their largest, each against a plain copy of a file of the same size on
// the same simulated file system in the same run:
//   MakeManagerINI on a 256-line qxmgr.ini   vs  copying a file of that size
//   MakeReplBat with 256 servers              vs  copying a file of the REPL.BAT's size
// Two copies are measured: byte by byte through the library's buffered stream (what every file of
// the library goes through) and in one ReadFile/WriteFile block (the fastest possible).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/file_stream.h"
#include "qxinst.h"
#include "sim/sim_platform.h"

namespace {

using qx::CFileStream;

constexpr char kFolder[] = "C:\\Qorvex";
constexpr char kIni[] = "C:\\Qorvex\\qxmgr.ini";
constexpr char kBat[] = "C:\\Qorvex\\REPL.BAT";
constexpr char kCopySource[] = "C:\\Qorvex\\source.dat";
constexpr char kCopyTarget[] = "C:\\Qorvex\\target.dat";

// A qxmgr.ini of 256 lines that already holds the three keys (so every call rewrites the same file),
// with the keys near the end of their sections so that every search walks most of the document.
std::string ManagerIni256()
{
    std::string strText = "; Qorvex manager settings\r\n[View]\r\n";
    int nLines = 2;
    for (int i = 0; nLines < 128; ++i, ++nLines)
        strText += "Column" + std::to_string(i) + " = width 120, visible, sorted ascending\r\n";
    strText += "[Replication]\r\n";
    ++nLines;
    for (int i = 0; nLines < 250; ++i, ++nLines)
        strText += "Server" + std::to_string(i) + "=\\\\BDC" + std::to_string(i) + "\\NETLOGON\r\n";
    strText += "Editor=notepad.exe\r\n[File Locations]\r\nUsers=U:\\Users\r\nGroups=U:\\Groups\r\n"
               "Logs=D:\\Logs\r\nScripts=\\\\QXSERVER\\QXscripts$\r\n";
    return strText;
}

std::string ServerList256()
{
    std::string strList = "PDC01";
    for (int i = 2; i <= 256; ++i)
        strList += ",BDC" + std::to_string(i);
    return strList;
}

void CopyByStream()
{
    CFileStream source;
    CFileStream target;
    if (source.OpenRead(kCopySource, CFileStream::Mode::kBinary) != 0 ||
        target.OpenWrite(kCopyTarget, CFileStream::Mode::kBinary) != 0)
        return;
    for (int c = source.GetByte(); c != -1; c = source.GetByte())
        target.PutByte(static_cast<unsigned char>(c));
    source.Close();
    target.Close();
}

void CopyByBlock(std::vector<char>& buffer)
{
    qx::unique_file source(qx::Files().CreateFileA(kCopySource, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
    qx::unique_file target(qx::Files().CreateFileA(kCopyTarget, GENERIC_WRITE, 0, CREATE_ALWAYS, 0));
    DWORD cbRead = 0;
    while (qx::Files().ReadFile(source.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &cbRead) &&
           cbRead > 0) {
        DWORD cbWritten = 0;
        qx::Files().WriteFile(target.get(), buffer.data(), cbRead, &cbWritten);
    }
}

// The size of the file that the operation writes, for the copies to match it.
size_t IniSize()
{
    qx::sim::CSimPlatform sim;
    sim.m_files.SetFile(kIni, ManagerIni256());
    MakeManagerINI(kFolder, "QXscripts$", "D:\\Logs", "notepad.exe");
    return sim.m_files.GetFile(kIni)->size();
}

size_t BatSize()
{
    qx::sim::CSimPlatform sim;
    sim.m_files.AddFolder(kFolder);
    MakeReplBat(kBat, ServerList256().c_str());
    return sim.m_files.GetFile(kBat)->size();
}

void BM_MakeManagerINI_256Lines(benchmark::State& state)
{
    qx::sim::CSimPlatform sim;
    sim.m_files.SetFile(kIni, ManagerIni256());
    for (auto _ : state) {
        if (MakeManagerINI(kFolder, "QXscripts$", "D:\\Logs", "notepad.exe") != 1)
            state.SkipWithError("MakeManagerINI failed");
    }
    state.counters["bytes"] = static_cast<double>(sim.m_files.GetFile(kIni)->size());
}
BENCHMARK(BM_MakeManagerINI_256Lines);

void BM_MakeReplBat_256Servers(benchmark::State& state)
{
    qx::sim::CSimPlatform sim;
    sim.m_files.AddFolder(kFolder);
    std::string strList = ServerList256();
    for (auto _ : state) {
        if (MakeReplBat(kBat, strList.c_str()) != 1)
            state.SkipWithError("MakeReplBat failed");
    }
    state.counters["bytes"] = static_cast<double>(sim.m_files.GetFile(kBat)->size());
}
BENCHMARK(BM_MakeReplBat_256Servers);

template <size_t (*Size)()> void BM_PlainCopyByStream(benchmark::State& state)
{
    size_t cb = Size();
    qx::sim::CSimPlatform sim;
    sim.m_files.SetFile(kCopySource, std::string(cb, 'x'));
    for (auto _ : state)
        CopyByStream();
    state.counters["bytes"] = static_cast<double>(sim.m_files.GetFile(kCopyTarget)->size());
}
BENCHMARK(BM_PlainCopyByStream<IniSize>)->Name("BM_PlainCopyByStream_IniSize");
BENCHMARK(BM_PlainCopyByStream<BatSize>)->Name("BM_PlainCopyByStream_BatSize");

template <size_t (*Size)()> void BM_PlainCopyByBlock(benchmark::State& state)
{
    size_t cb = Size();
    qx::sim::CSimPlatform sim;
    sim.m_files.SetFile(kCopySource, std::string(cb, 'x'));
    std::vector<char> buffer(64 * 1024);
    for (auto _ : state)
        CopyByBlock(buffer);
    state.counters["bytes"] = static_cast<double>(sim.m_files.GetFile(kCopyTarget)->size());
}
BENCHMARK(BM_PlainCopyByBlock<IniSize>)->Name("BM_PlainCopyByBlock_IniSize");
BENCHMARK(BM_PlainCopyByBlock<BatSize>)->Name("BM_PlainCopyByBlock_BatSize");

}  // namespace
