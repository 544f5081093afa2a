// The files rewritten whole: their folder, export calls checked for leaks, and the sweep of each failing call.
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

class RewriteTest : public SimTest {
protected:
    void SetUp() override { sim.m_files.AddFolder(kFolder); }

    QXBOOL MakeIni(const char* pszFolder = kFolder, const char* pszShare = "QXscripts$",
                   const char* pszLogs = "D:\\Logs", const char* pszEditor = "notepad.exe")
    {
        return Done(MakeManagerINI(pszFolder, pszShare, pszLogs, pszEditor));
    }
    QXBOOL MakeBat(const char* pszServers, const char* pszFile = kBat)
    {
        return Done(MakeReplBat(pszFile, pszServers));
    }
    // Owned by Administrators, whose DACL lets in only them and the system (the folder's: Everyone).
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
    static std::string DaclOf(const std::string& sd)
    {
        sim::CSdParts parts;
        return sim::ReadSelfRelativeSd(sd, &parts) ? parts.dacl : "<none>";
    }

    // The folder holds the file, if there is one, and no temporary file.
    void ExpectAlone(const char* pszPath)
    {
        EXPECT_EQ(sim.m_files.List(kFolder).size(), sim.m_files.Exists(pszPath) ? 1u : 0u);
    }

    // Fails each call (ReplaceFileA with each partial outcome too) at each use, over strOld (hidden, locked
    // down) and over no file, with ReplaceFileA and without (NT 4.0): 1 and the new file with the old
    // attributes and security (its DACL at least), or 0 and the file as it was; nothing else is left.
    void ExpectEachFailureKeepsOldOrNew(const char* pszPath, std::vector<const char*> calls,
                                        const std::function<QXBOOL()>& make, const std::string& strOld,
                                        const std::string& strNew, const std::string& strFresh, bool bOverNoFile = true)
    {
        std::map<std::string, int> reached;
        calls.insert(calls.end(), {"GetFileSecurityA", "SetFileSecurityA"});
        auto put = [&](const std::string& strBefore) {
            Put(pszPath, strBefore);
            if (strBefore != kNoFile) {
                sim.m_files.SetSecurity(pszPath, LockedSecurity());
                sim.m_files.SetAttributes(pszPath, FILE_ATTRIBUTE_HIDDEN);
            }
        };
        for (bool bAbsent : {false, true}) {
            if (bAbsent)
                sim.m_kernel.MakeAbsent("ReplaceFileA");
            for (const std::string& strBefore : {strOld, std::string(bOverNoFile ? kNoFile : "")}) {
                const std::string strSecurity = strBefore == kNoFile ? sim.m_files.Security(kFolder) : LockedSecurity();
                for (const std::string strCall : calls) {
                    if (strBefore.empty() || sim.m_kernel.IsAbsent(strCall.c_str()))
                        continue;
                    put(strBefore);
                    sim.m_kernel.ResetCalls();
                    sim.m_files.m_writeCloses.clear();
                    ASSERT_EQ(make(), 1);
                    EXPECT_TRUE(sim.m_files.Security(pszPath) == strSecurity) << "the security was not kept";
                    const int nUses = sim.m_kernel.Calls(strCall.c_str());
                    const std::vector<int> writeCloses = sim.m_files.m_writeCloses;
                    reached[strCall] += nUses;
                    EXPECT_EQ(sim.m_files.GetFileAttributesA(pszPath) == FILE_ATTRIBUTE_HIDDEN, strBefore != kNoFile);
                    const bool bReplace = strCall == "ReplaceFileA";  // fails with each partial outcome too
                    for (DWORD dwError : {ERROR_ACCESS_DENIED, ERROR_UNABLE_TO_REMOVE_REPLACED,
                                          ERROR_UNABLE_TO_MOVE_REPLACEMENT, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2}) {
                        for (int nNth = 1; nNth <= nUses && (dwError == ERROR_ACCESS_DENIED || bReplace); ++nNth) {
                            SCOPED_TRACE(std::string(bAbsent ? "no ReplaceFileA, " : "") + strBefore.substr(0, 9) +
                                         ", " + strCall + " #" + std::to_string(nNth) + ": " + std::to_string(dwError));
                            put(strBefore);
                            sim.m_kernel.FailCall(strCall.c_str(), dwError, nNth);
                            QXBOOL bResult = make();
                            sim.m_kernel.ClearFaults();
                            EXPECT_TRUE(DaclOf(sim.m_files.Security(pszPath)) ==
                                        DaclOf(strBefore == kNoFile && !bResult ? "" : strSecurity));
                            bool bWriteClose =
                                strCall == "CloseHandle" &&
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
