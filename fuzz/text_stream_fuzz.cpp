// Text-mode streams: any bytes written in text mode read back unchanged, and the read position
// never passes the file's size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/file_stream.h"
#include "sim/sim_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    qx::sim::CSimPlatform sim;
    std::string text(reinterpret_cast<const char*>(pData), cb);
    {
        qx::CFileStream out;
        if (out.OpenWrite("C:\\f.txt", qx::CFileStream::Mode::kText) != 0 || !out.PutText(text) || out.Close() != 0)
            std::abort();
    }
    qx::CFileStream in;
    if (in.OpenRead("C:\\f.txt", qx::CFileStream::Mode::kText) != 0)
        std::abort();
    std::string back;
    for (int c = in.GetByte(); c != -1; c = in.GetByte()) {
        back += static_cast<char>(c);
        if (in.Tell() > in.Size())
            std::abort();
    }
    if (back != text || in.Tell() != in.Size())
        std::abort();
    in.Close();
    if (!sim.Clean())
        std::abort();
    return 0;
}
