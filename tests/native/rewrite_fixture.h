// What the tests of the files rewritten whole (qxmgr.ini, REPL.BAT) share: the folder they are
// written in, export calls checked for leaks, and the sweep that fails each platform call at each of
// its uses and expects the old file or the new one, never anything between, and the old file's
// security kept.
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
    // A file locked down by an administrator: owned by the Administrators group, with a DACL that
    // lets in only them and the system (the folder's lets in Everyone).
    static std::string LockedSecurity()
    {
        sim::CSdParts parts;
        parts.owner = sim::SidFromString("S-1-5-32-544");
        parts.group = sim::SidFromString("S-1-5-21-1-2-3-513");
        parts.bDaclPresent = true;
        parts.dacl = sim::MakeAcl({sim::MakeAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x1F01FF, parts.owner),
                                   sim::MakeAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x1F01FF, sim::SidFromString("S-1-5-18"))});
        return sim::MakeSelfRelativeSd(parts);
    }
    // The DACL of a self-relative security descriptor ("<none>" for no descriptor).
    static std::string DaclOf(const std::string& sd)
    {
        sim::CSdParts parts;
        return sim::ReadSelfRelativeSd(sd, &parts) ? parts.dacl : "<none>";
    }

    // The folder holds the file, if there is one, and nothing else (no temporary file).
    void ExpectAlone(const char* pszPath)
    {
        EXPECT_EQ(sim.m_files.List(kFolder).size(), sim.m_files.Exists(pszPath) ? 1u : 0u);
    }

    // Fails each call at each of its uses (ReplaceFileA also with each of its partial outcomes, and
    // the security calls of NT 4.0's rename too), over strOld and over no file, with ReplaceFileA and
    // then without it (NT 4.0): the export gives 1 and the new file (strNew over strOld, strFresh
    // over none) or 0 and the file as it was, and leaves no other file. A failing CloseHandle of the
    // file written fails the export. The old file is locked down (LockedSecurity): the new one keeps
    // its security (after a refused owner, its DACL at least), one over none has the folder's.
    void ExpectEachFailureKeepsOldOrNew(const char* pszPath, std::vector<const char*> calls,
                                        const std::function<QXBOOL()>& make, const std::string& strOld,
                                        const std::string& strNew, const std::string& strFresh, bool bOverNoFile = true)
    {
        std::map<std::string, int> reached;
        calls.insert(calls.end(), {"GetFileSecurityA", "SetFileSecurityA"});
        auto put = [&](const std::string& strBefore) {
            Put(pszPath, strBefore);
            if (strBefore != kNoFile)
                sim.m_files.SetSecurity(pszPath, LockedSecurity());
        };
        for (bool bAbsent : {false, true}) {
            if (bAbsent)
                sim.m_kernel.MakeAbsent("ReplaceFileA");
            for (const std::string& strBefore : {strOld, std::string(bOverNoFile ? kNoFile : "")}) {
                const std::string strSecurity = strBefore == kNoFile ? sim.m_files.Security(kFolder) : LockedSecurity();
                for (const char* pszCall : calls) {
                    if (strBefore.empty() || sim.m_kernel.IsAbsent(pszCall))
                        continue;
                    put(strBefore);
                    sim.m_kernel.ResetCalls();
                    sim.m_files.m_writeCloses.clear();
                    ASSERT_EQ(make(), 1);
                    EXPECT_TRUE(sim.m_files.Security(pszPath) == strSecurity) << "the security was not kept";
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
                            put(strBefore);
                            sim.m_kernel.FailCall(pszCall, dwError, nNth);
                            QXBOOL bResult = make();
                            sim.m_kernel.ClearFaults();
                            EXPECT_TRUE(DaclOf(sim.m_files.Security(pszPath)) ==
                                        DaclOf(strBefore == kNoFile && !bResult ? "" : strSecurity));
                            bool bWriteClose =
                                std::string(pszCall) == "CloseHandle" &&
                                std::find(writeCloses.begin(), writeCloses.end(), nNth) != writeCloses.end();
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
