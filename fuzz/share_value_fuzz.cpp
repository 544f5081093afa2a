// Share values and share arguments: GetPathFromShareValue over any bytes reads only the data it is
// given, and GetSharePath over any argument and any value data writes exactly what the path-entry
// rules give, always within the caller's 1024 bytes, and leaves everything else as it was.
//
// Input: two bytes (little endian) give the length of the share argument (taken modulo 1100, so that
// arguments of 1024 characters and more occur), then the argument (a NUL byte stands for 'A'), then
// the share value's data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "qxinst.h"
#include "shares/share_path.h"
#include "sim/sim_platform.h"
#include "sim/sim_text.h"

namespace {

void Require(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

// The path of a value by the rules: the first entry that starts before byte 256 and within the data
// (at the start, or after a NUL, with a byte other than NUL) and reads "PATH=" in capitals gives the
// rest of that entry, in capitals, up to its NUL or the end of the data.
bool ExpectedPath(const std::string& data, std::string* pstrPath)
{
    for (size_t i = 0; i < data.size() && i < qx::kShareValueScan; ++i) {
        if (i > 0 && !(data[i - 1] == '\0' && data[i] != '\0'))
            continue;
        size_t nEnd = data.find('\0', i);
        std::string strEntry = qx::sim::AnsiUpper(data.substr(i, nEnd == std::string::npos ? nEnd : nEnd - i));
        if (strEntry.compare(0, 5, "PATH=") == 0) {
            *pstrPath = strEntry.substr(5);
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    if (cb < 2)
        return 0;
    size_t cchArg = std::min<size_t>((pData[0] | (pData[1] << 8)) % 1100, cb - 2);
    std::string strArg(reinterpret_cast<const char*>(pData + 2), cchArg);
    for (char& c : strArg)
        c = c == '\0' ? 'A' : c;
    std::string data(reinterpret_cast<const char*>(pData + 2 + cchArg), cb - 2 - cchArg);

    qx::sim::CSimPlatform sim;

    // The picker alone, on a copy of exactly the data's size: any read past it is caught.
    std::string strExpected;
    bool bExpected = ExpectedPath(data, &strExpected);
    {
        std::unique_ptr<BYTE[]> copy(new BYTE[data.size() + 1]);
        std::memcpy(copy.get(), data.data(), data.size());
        std::string strPath = "unset";
        bool bFound = qx::GetPathFromShareValue(copy.get(), static_cast<DWORD>(data.size()), &strPath);
        Require(bFound == bExpected);
        Require(!bFound || strPath == strExpected);
    }

    // The export: the share name and the rest of a UNC argument, and the outcome the rules give.
    std::string strName = strArg;
    std::string strRest;
    bool bUnc = strArg.compare(0, 2, "\\\\") == 0;
    if (bUnc) {
        size_t nServerEnd = strArg.find('\\', 2);
        size_t nShare = nServerEnd == std::string::npos ? strArg.size() : nServerEnd + 1;
        size_t nShareEnd = std::min(strArg.find('\\', nShare), strArg.size());
        strName = strArg.substr(nShare, nShareEnd - nShare);
        strRest = strArg.substr(nShareEnd);
    }
    if (!(bUnc && strName.empty()))
        sim.m_registry.SetValue(qx::kSharesKey, strName, REG_MULTI_SZ, data);
    bool bRefused = strArg.size() >= qx::kShareArgChars;
    std::string strOut = strExpected + strRest;
    bool bDone = !bRefused && !(bUnc && strName.empty()) && data.size() <= qx::kShareValueBytes && bExpected &&
                 strOut.size() < qx::kSharePathBytes;

    // Caller buffers of exactly the documented sizes, so that any write past them is caught.
    std::unique_ptr<char[]> share(new char[strArg.size() + 1]);
    std::memcpy(share.get(), strArg.c_str(), strArg.size() + 1);
    std::unique_ptr<char[]> path(new char[qx::kSharePathBytes]);
    std::memset(path.get(), 0x5A, qx::kSharePathBytes);

    int nResult = GetSharePath(share.get(), path.get());
    Require(nResult == (bDone ? 1 : 3));
    Require(std::string(share.get()) == (bRefused ? strArg : strName));
    size_t nWritten = bDone ? strOut.size() + 1 : 0;
    Require(!bDone || std::memcmp(path.get(), strOut.c_str(), nWritten) == 0);
    for (size_t i = nWritten; i < qx::kSharePathBytes; ++i)
        Require(path[i] == 0x5A);
    Require(sim.Clean());
    return 0;
}
