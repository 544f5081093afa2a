// The reason line of a failing export: the judge that holds every native export call to it, and its form.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "frame/export_guard.h"
#include "frame/export_table.h"
#include "platform/file_stream.h"
#include "sim/sim_platform.h"

namespace qx {
namespace {

// An integer export's failure: 0, for GetSharePath all but 1, never for an answer (a probe's 0).
bool IntResultFails(const std::string& strExport, int nResult)
{
    if (strExport == "GetSharePath")
        return nResult != 1;
    for (const char* pszAnswers : {"KixInstalled", "ZUVadarInstalled", "ROVoruzInstalled", "GetSystemLanguage"})
        if (strExport == pszAnswers)
            return false;
    return nResult == 0;
}

// A call the host sees fail (a box, a failure result) left one reason line naming its export, one it
// sees succeed none. Set for every simulated platform: a wrong call is a misuse.
std::string JudgeReasonLines(const sim::CSimExportCall& call)
{
    const auto* pEnd = std::end(exports::kExportTable);
    const auto* pLine = std::find_if(std::begin(exports::kExportTable), pEnd,
                                     [&](const exports::CExportLine& line) { return call.strExport == line.pszName; });
    size_t nBoxes = call.nBoxes + call.nBoxesLeftOut;
    if (pLine == pEnd || (nBoxes == 0 && !call.bHasResult))
        return "";
    bool bFailed =
        nBoxes > 0 || (pLine->result == exports::ResultKind::kBool ? call.nResult == 0
                                                                        : IntResultFails(call.strExport, call.nResult));
    std::string strHead = "QXINST: " + call.strExport + ": ";
    if (bFailed ? call.debugLines.size() == 1 && call.debugLines[0].rfind(strHead, 0) == 0 : call.debugLines.empty())
        return "";
    std::string strWrong = "reason lines: " + call.strExport + " gave " + std::to_string(call.nResult) + " after " +
                           std::to_string(nBoxes) + " box(es), a " + (bFailed ? "failure" : "success") +
                           ", with " + std::to_string(call.debugLines.size()) + " line(s)";
    for (const std::string& strLine : call.debugLines)
        strWrong += " [" + strLine.substr(0, strLine.find('\n')) + "]";
    return strWrong;
}

[[maybe_unused]] const bool g_bReasonLinesJudged = (sim::CSimPlatform::s_pfnCallJudge = &JudgeReasonLines, true);

TEST(Reasons, TheJudgeHoldsEachLineToItsResult)
{
    // The export, its result, the boxes shown and left out, its lines, and whether the judge objects.
    const std::tuple<const char*, int, size_t, size_t, std::vector<std::string>, bool> cases[] = {
        {"MakeReplBat", 0, 0, 0, {}, true},
        {"MakeReplBat", 0, 0, 0, {"QXINST: MakeReplBat: why\n"}, false},
        {"MakeReplBat", 1, 0, 0, {"QXINST: MakeReplBat: why\n"}, true},
        {"MakeReplBat", 0, 0, 0, {"QXINST: FindRepl: why\n"}, true},
        {"MakeReplBat", 0, 0, 0, {"QXINST: MakeReplBat: a\n", "QXINST: MakeReplBat: b\n"}, true},
        {"GetSharePath", 2, 0, 0, {}, true},
        {"KixInstalled", 0, 0, 0, {}, false},
        {"KixInstalled", 0, 0, 1, {}, true},
        {"KixInstalled", 0, 0, 1, {"QXINST: KixInstalled: why\n"}, false},
        {"Export", 0, 0, 0, {}, false},
    };
    for (const auto& [pszExport, nResult, nBoxes, nLeftOut, lines, bWrong] : cases) {
        sim::CSimExportCall call {pszExport, true, nResult, lines, nBoxes, nLeftOut};
        EXPECT_EQ(JudgeReasonLines(call).empty(), !bWrong) << pszExport << " " << nResult << " " << nLeftOut;
    }
}

// The line: prefix, export and the first reason (else the exception's), cut at the limit.
TEST(Reasons, TheLineNamesTheExportAndItsFirstReason)
{
    const std::string strLong(2 * kReasonSize, 'x');
    const struct {
        const char* pszWhat;
        std::function<void()> call;
        std::string strLine;  // empty: none
        std::function<void(sim::CSimPlatform&)> setUp = nullptr;
    } rows[] = {
        {"a call with its object", [] { GuardBool("Export", [] { return ReasonCall("CreateFileA", "C:\\a", 5) == 0; }); },
         "QXINST: Export: CreateFileA C:\\a failed: 5\n"},
        {"the first reason",
         [] { GuardInt("Export", 0, [] { return Reason("first %s: %d", "one", 5), Reason("second"), 0; }); },
         "QXINST: Export: first one: 5\n"},
        {"a success", [] { GuardInt("Export", 0, [] { return Reason("noted"), 41; }); }, ""},
        {"not the one success", [] { GuardInt("Export", 3, [] { return Reason("r"), 2; }, 1); }, "QXINST: Export: r\n"},
        {"the one success", [] { GuardInt("Export", 3, [] { return Reason("r"), 1; }, 1); }, ""},
        {"an exception", [] { GuardBool("Export", []() -> bool { throw std::length_error("too long"); }); },
         "QXINST: Export: too long\n"},
        {"an exception of no class", [] { GuardInt("Export", 9, []() -> int { throw 1; }); },
         "QXINST: Export: an exception ended the call\n"},
        {"a reason, then an exception",
         [] { GuardVoid("Export", [] { Reason("the rule"), throw std::bad_alloc(); }); }, "QXINST: Export: the rule\n"},
        {"outside an export", [] { Reason("between"), GuardBool("Export", [] { return false; }); }, ""},
        {"too long", [&] { GuardBool("Export", [&] { return Reason("%s", strLong.c_str()), false; }); },
         "QXINST: Export: " + std::string(kReasonSize - 18, 'x') + "\n"},
        {"a short write",
         [] {
             GuardBool("Export", [] {
                 CAtomicFile file("C:\\a.txt");
                 return file.Create(CFileStream::Mode::kBinary) == 0 && file.Stream().PutText("text") && !file.Commit();
             });
         },
         "QXINST: Export: WriteFile wrote 3 of 4 bytes\n", [](sim::CSimPlatform& sim) { sim.m_files.WriteShort(1, 3); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszWhat);
        sim::CSimPlatform sim;
        if (row.setUp)
            row.setUp(sim);
        row.call();
        EXPECT_EQ(sim.m_system.DebugLines(), std::vector<std::string>(!row.strLine.empty(), row.strLine));
        EXPECT_EQ(sim.m_system.m_strStdout, "");
        EXPECT_TRUE(sim.m_ui.m_boxes.empty());
    }
}

}  // namespace
}  // namespace qx
