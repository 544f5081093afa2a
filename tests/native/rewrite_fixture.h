// What the tests of the files rewritten whole (qxmgr.ini, REPL.BAT) share: the folder they are
// written in, export calls checked for leaks, and the sweep that fails each platform call at each of
// its uses and expects the old file or the new one, never anything between.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "qxinst.h"
#include "sim_fixture.h"

namespace qx::test {

inline constexpr char kFolder[] = "C:\\Qorvex";
inline constexpr char kIni[] = "C:\\Qorvex\\qxmgr.ini";
inline constexpr char kBat[] = "C:\\Qorvex\\REPL.BAT";
inline constexpr char kNoFile[] = "<no file>";

// "<prefix><n><suffix>" for n from nFrom to nTo.
inline std::string Numbered(const char* pszPrefix, int nFrom, int nTo, const char* pszSuffix)
{
    std::string strText;
    for (int i = nFrom; i <= nTo; ++i)
        strText += pszPrefix + std::to_string(i) + pszSuffix;
    return strText;
}

class RewriteTest : public SimTest {
protected:
    void SetUp() override { sim.m_files.AddFolder(kFolder); }

    QXBOOL Checked(QXBOOL bResult)
    {
        EXPECT_TRUE(Settled());
        return bResult;
    }
    QXBOOL MakeIni(const char* pszFolder = kFolder, const char* pszShare = "QXscripts$",
                   const char* pszLogs = "D:\\Logs", const char* pszEditor = "notepad.exe")
    {
        return Checked(MakeManagerINI(pszFolder, pszShare, pszLogs, pszEditor));
    }
    QXBOOL MakeBat(const char* pszServers, const char* pszFile = kBat)
    {
        return Checked(MakeReplBat(pszFile, pszServers));
    }
    std::string File(const char* pszPath) const { return sim.m_files.GetFile(pszPath).value_or(kNoFile); }
    void Put(const char* pszPath, const std::string& strData)
    {
        if (strData != kNoFile)
            sim.m_files.SetFile(pszPath, strData);
        else if (sim.m_files.Exists(pszPath))
            sim.m_files.DeleteFileA(pszPath);
    }
    // The folder holds the file, if there is one, and nothing else (no temporary file).
    void ExpectAlone(const char* pszPath)
    {
        EXPECT_EQ(sim.m_files.List(kFolder).size(), sim.m_files.Exists(pszPath) ? 1u : 0u);
    }

    // Fails each call at each of its uses (ReplaceFileA also with each of its partial outcomes), over
    // strOld and over no file, with ReplaceFileA and then without it (NT 4.0): the export gives 1 and
    // the new file (strNew over strOld, strFresh over none) or 0 and the file as it was, and leaves
    // no other file. A failing CloseHandle of the file written fails the export.
    void ExpectEachFailureKeepsOldOrNew(const char* pszPath, const std::vector<const char*>& calls,
                                        const std::function<QXBOOL()>& make, const std::string& strOld,
                                        const std::string& strNew, const std::string& strFresh, bool bOverNoFile = true)
    {
        std::map<std::string, int> reached;
        for (bool bAbsent : {false, true}) {
            if (bAbsent)
                sim.m_kernel.MakeAbsent("ReplaceFileA");
            for (const std::string& strBefore : {strOld, std::string(bOverNoFile ? kNoFile : "")}) {
                for (const char* pszCall : calls) {
                    if (strBefore.empty() || sim.m_kernel.IsAbsent(pszCall))
                        continue;
                    Put(pszPath, strBefore);
                    sim.m_kernel.ResetCalls();
                    sim.m_files.m_writeCloses.clear();
                    ASSERT_EQ(make(), 1);
                    int nUses = sim.m_kernel.Calls(pszCall);
                    const std::vector<int> writeCloses = sim.m_files.m_writeCloses;
                    reached[pszCall] += nUses;
                    std::vector<DWORD> errors = {ERROR_ACCESS_DENIED};
                    if (std::string(pszCall) == "ReplaceFileA")
                        errors = {ERROR_ACCESS_DENIED, ERROR_UNABLE_TO_REMOVE_REPLACED,
                                  ERROR_UNABLE_TO_MOVE_REPLACEMENT, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2};
                    for (DWORD dwError : errors) {
                        for (int nNth = 1; nNth <= nUses; ++nNth) {
                            SCOPED_TRACE(std::string(bAbsent ? "no ReplaceFileA, " : "") + strBefore.substr(0, 9) +
                                         ", " + pszCall + " #" + std::to_string(nNth) + ": " + std::to_string(dwError));
                            Put(pszPath, strBefore);
                            sim.m_kernel.FailCall(pszCall, dwError, nNth);
                            QXBOOL bResult = make();
                            sim.m_kernel.ClearFaults();
                            bool bWriteClose = std::string(pszCall) == "CloseHandle" &&
                                               std::find(writeCloses.begin(), writeCloses.end(), nNth) !=
                                                   writeCloses.end();
                            EXPECT_TRUE(!bWriteClose || bResult == 0) << "the file written was not closed";
                            EXPECT_TRUE(File(pszPath) == (!bResult               ? strBefore
                                                          : strBefore == kNoFile ? strFresh
                                                                                 : strNew));
                            ExpectAlone(pszPath);
                        }
                    }
                }
            }
        }
        for (const char* pszCall : calls)
            EXPECT_GT(reached[pszCall], 0) << pszCall << " was never made";
    }
};

}  // namespace qx::test
