// The REPL.BAT server list on any text (the input up to its first NUL): the splitter's names joined
// back with commas give the list (less one comma at its end), a list beyond 256 names, with a name
// of 260 characters or more, or with a line end in a name is refused, and MakeReplBat writes one
// DestBDC line and one xcopy line per name after the first, numbered from 2, or, refused, leaves
// the old file as it was.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "qxinst.h"
#include "replication/repl_bat.h"
#include "sim/sim_platform.h"

namespace {

constexpr char kBat[] = "C:\\q\\REPL.BAT";

void Check(bool bOk)
{
    if (!bOk)
        std::abort();
}

std::vector<std::string> SplitLines(const std::string& strText)
{
    std::vector<std::string> lines;
    for (size_t i = 0; i < strText.size();) {
        size_t nEnd = strText.find("\r\n", i);
        Check(nEnd != std::string::npos);  // every line ends in CR LF
        lines.push_back(strText.substr(i, nEnd - i));
        i = nEnd + 2;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cb)
{
    std::string strList(reinterpret_cast<const char*>(pData), cb);
    strList = strList.substr(0, strList.find('\0'));
    std::string strJoined = strList;  // what the names must join back to
    if (!strJoined.empty() && strJoined.back() == ',')
        strJoined.pop_back();

    // The list's shape, counted independently of the splitter.
    size_t nNames = strList.empty() ? 0 : 1, nLongest = 0, nRun = 0;
    for (char c : strJoined) {
        nNames += c == ',';
        nRun = c == ',' ? 0 : nRun + 1;
        nLongest = std::max(nLongest, nRun);
    }
    bool bFits = nNames <= qx::kMaxReplServers && nLongest < 260 && strList.find_first_of("\r\n") == std::string::npos;

    qx::sim::CSimPlatform sim;
    qx::CReplServerList servers;
    Check(servers.Split(strList.c_str()) == bFits);
    Check(servers.Count() == (bFits ? static_cast<int>(nNames) : 0));
    std::string strBack;
    for (int k = 1; k <= servers.Count(); ++k)
        strBack += (k > 1 ? "," : "") + servers.Name(k);
    Check(!bFits || strBack == strJoined);

    sim.m_files.SetFile(kBat, "old\r\n");
    Check(MakeReplBat(kBat, strList.c_str()) == bFits);
    Check(sim.Clean() && sim.m_files.List("C:\\q").size() == 1);
    std::string strFile = sim.m_files.GetFile(kBat).value_or("");
    if (!bFits) {
        Check(strFile == "old\r\n");
        return 0;
    }
    // 13 fixed lines, and a DestBDC and an xcopy line per name after the first.
    std::vector<std::string> lines = SplitLines(strFile);
    size_t nBackups = nNames > 0 ? nNames - 1 : 0;
    Check(lines.size() == 13 + 2 * nBackups);
    std::string strNames = lines[5].substr(0, 14) == "set SourcePDC=" ? lines[5].substr(14) : "?";
    for (size_t k = 2; k <= nBackups + 1; ++k) {
        std::string strSet = "set DestBDC" + std::to_string(k) + "=";
        const std::string& strLine = lines[4 + k];
        Check(strLine.compare(0, strSet.size(), strSet) == 0);
        strNames += "," + strLine.substr(strSet.size());
        Check(lines[11 + nBackups + k] == "xcopy \\\\%sourcePDC%\\%sourcefolder%\\*.* \\\\%destBDC" +
                                              std::to_string(k) + "%\\%destfolder% %copyflags%");
    }
    Check(strNames == strJoined);
    Check(lines[6 + nBackups] == "" && lines[12 + nBackups].rfind("xcopy \\\\%sourcePDC%", 0) == 0);
    return 0;
}
