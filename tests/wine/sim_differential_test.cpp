// The simulated Windows held to the real one: each scenario's steps run through the platform interfaces
// under Wine and on a fresh simulation, and the two transcripts must agree but for known differences.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/unique.h"
#include "sim/sim_acl.h"
#include "sim/sim_platform.h"
#include "test_service.h"

namespace qx::host {
namespace {

using namespace std::string_literals;

// What each step takes from its row (strings a, b; numbers n1, n2, n3; string c). A path is a file in
// the test folder ("": the folder itself), "=X" X as it is, "<temp>" the last temporary file. Labels
// name the handles a run keeps open; "scm" is the service manager. "No row": the step only sets up.
// clang-format off
enum EOp {
    kCreate,  // CreateFileA: label (none: closed at once), path; access, sharing, disposition
    kWrite, kRead, kClose,  // WriteFile: label, data. ReadFile: label; bytes. CloseHandle: label
    kAttrs, kDelete, kMove, kReplace,  // GetFileAttributesA, DeleteFileA, MoveFileExA (flags), ReplaceFileA
    kContents,  // the file's bytes, read through a handle of their own: path
    kFile,  // CreateFileA (CREATE_NEW), WriteFile of the data, CloseHandle, in one row: path, data
    kTempName,  // GetTempFileNameA: folder, prefix; number
    kReadOnly,  // no row: the file is made read-only: path
    kSetValue,  // no row: a value under kRegistryKey: name, data; type, 1: text without a zero (W); c: sub-key
    kOpenKey,  // RegOpenKeyExA: label, sub-key; c: the base's label (none: HKEY_CURRENT_USER)
    kQuery,  // RegQueryValueExA: key, value; bytes (-1: no buffer, -2: nor size), 1: without the type
    kQuerySizes,  // RegQueryValueExA into 64 bytes, for the size, into 2, into 0, for the type only
    kOpenScm, kOpenSvc,  // OpenSCManagerA: label, database; access. OpenServiceA: label, name; access
    kCreateSvc,  // CreateServiceA: key (its label), display name; c: the test service's options
    kStart, kControl, kDeleteSvc, kStatus,  // StartServiceA, ..., QueryServiceStatus: label; control
    kWaitWhile,  // waits while the service is in the state (10 s at most), then its status: label; state
    kKeyName,  // GetServiceKeyNameA: display name; characters in the buffer (0: none)
    kCloseSvc,  // no row: the handle is closed: label
    kUpper, kCpInfo,  // CharUpperBuffA: bytes. GetCPInfo of the ANSI code page
    kToWide,  // MultiByteToWideChar: bytes; flags, bytes given, characters in the buffer
    kToBytes,  // WideCharToMultiByte: text (as UTF-8), default character; flags, bytes in the buffer
    kMessage,  // FormatMessageA from the system: code
    kLookUp,  // LookupAccountNameA: account; SID bytes, domain characters, 1: on the system "" (not null)
    kLookUpW, kLsaPolicy,  // LookupAccountNameW: account. LsaOpenPolicy
    // On a copy of the bytes a: InitializeSecurityDescriptor; revision. InitializeAcl; size, revision.
    // AddAce of the entries b; revision, index. GetSecurityDescriptorDacl. GetLengthSid, EqualSid with b.
    kInitSd, kInitAcl, kAddAce, kDacl, kSid
};
// clang-format on

struct CStep {
    EOp op;
    std::string a {}, b {};
    long long n1 = 0, n2 = 0, n3 = 0;
    std::string c {};
    const char* pszKnown = nullptr;  // why the simulation knowingly differs: the outcomes must differ
};
CStep Open(std::string strLabel, std::string strPath, long long nAccess, long long nShare,
           long long nDisposition = OPEN_EXISTING)
{
    return {kCreate, std::move(strLabel), std::move(strPath), nAccess, nShare, nDisposition};
}
struct CScenario {
    const char* pszName;
    std::vector<CStep> steps;
};

constexpr long long kR = GENERIC_READ, kW = GENERIC_WRITE, kRW = kR | kW, kShR = FILE_SHARE_READ;
constexpr long long kShW = FILE_SHARE_WRITE, kShRW = kShR | kShW, kShAll = kShRW | FILE_SHARE_DELETE;
constexpr long long kAll = SERVICE_ALL_ACCESS, kStop = SERVICE_CONTROL_STOP, kEnd = MAXDWORD, kRev = ACL_REVISION;
const char kRegistryKey[] = "Software\\QxDiffTest";
const char* const kServiceKeys[] = {"QxDiffSvc", "QxDiffSvc2", "QxDiffBase"};
// The test service's options; besides, "missing" names a program that is not there, "boot" boot start.
const std::string kCmd = "stopdelay=500 lifetime=30000";

std::string Range(int cFirst, int cLast)
{
    std::string str;
    for (int c = cFirst; c <= cLast; ++c)
        str += static_cast<char>(c);
    return str;
}
const std::string kHigh = Range(0x80, 0xFF), kLow = Range(0x01, 0x7F);
const char kMixed[] = u8"A\u20AC\u00E9\u0100\u4E00\uFF21\u0081\u2019\u0410";
// Security descriptors, access lists and SIDs as bytes.
std::string Sid(const char* psz) { return sim::SidFromString(psz); }
const std::string kEveryone = sim::MakeAce(ACCESS_ALLOWED_ACE_TYPE, 0, 0x001200A9, Sid("S-1-1-0"));
const std::string kUser = sim::MakeAce(ACCESS_DENIED_ACE_TYPE, 3, GENERIC_ALL, Sid("S-1-5-21-1-2-3-1013"));
const std::string kRoomy = sim::MakeAcl({}, ACL_REVISION, kEveryone.size() + kUser.size() + 16);
const std::string kHolding = sim::MakeAcl({kEveryone}, ACL_REVISION, kUser.size());
std::string Patched(std::string bytes, size_t n, char c)
{
    bytes[n] = c;
    return bytes;
}
const std::string kOverfull = Patched(sim::MakeAcl({kEveryone, kUser}), 2, 20);  // entries past the list
const std::string kDaclBytes = sim::MakeAcl({kEveryone});
std::string Sd(bool bPresent, const std::string& dacl, bool bDaclFirst, SECURITY_DESCRIPTOR_CONTROL wControl = 0)
{
    return sim::MakeSelfRelativeSd(
        {SECURITY_DESCRIPTOR_REVISION, wControl, Sid("S-1-5-32-544"), Sid("S-1-5-18"), bPresent, dacl, bDaclFirst});
}
const char kBestFit[] = "best fit knows only the full-width forms, not marked letters (U+0100 as 'A')";
// clang-format off
const CScenario kScenarios[] = {
    {"FilesBasic", {Open("w", "a.txt", kW, 0, CREATE_NEW), {kWrite, "w", "one\r\ntwo\nthree\r\n"},
        {kRead, "w", "", 10}, {kClose, "w"}, {kContents, "a.txt"}, Open("", "a.txt", kW, 0, CREATE_NEW),
        Open("r", "a.txt", kR, kShR, OPEN_ALWAYS), {kRead, "r", "", 5}, {kRead, "r", "", 100}, {kRead, "r", "", 100},
        {kWrite, "r", "x"}, {kClose, "r"}, Open("", "a.txt", kW, 0, CREATE_ALWAYS), {kContents, "a.txt"},
        Open("", "b.txt", kRW, 0, OPEN_ALWAYS), Open("", "c.txt", kW, 0, CREATE_ALWAYS), Open("", "missing.txt", kR, 0),
        Open("", "missing.txt", kW, 0, TRUNCATE_EXISTING), Open("", "", kR, kShAll), {kAttrs, "a.txt"}, {kAttrs, ""},
        {kAttrs, "missing.txt"}, {kDelete, "a.txt"}, {kDelete, "a.txt"}, {kDelete, ""}}},
    {"FilesReadOnly", {{kFile, "ro.txt", "kept"}, {kReadOnly, "ro.txt"}, {kAttrs, "ro.txt"},
        Open("", "ro.txt", kR, kShR), {kDelete, "ro.txt"}, {kMove, "ro.txt", "moved.txt"}, {kContents, "moved.txt"},
        {kAttrs, "moved.txt"}}},
    {"FilesFoldersAndTempNames", {{kFile, "nofolder\\x.txt"}, Open("", "nofolder\\x.txt", kR, 0),
        {kAttrs, "nofolder"}, {kDelete, "nofolder\\x.txt"}, {kTempName, "nofolder", "qx"}, {kFile, "a.txt"},
        {kMove, "a.txt", "nofolder\\x.txt"}, {kMove, "missing.txt", "y.txt"}, {kTempName, "", "qxdiff"},
        {kAttrs, "<temp>"}, {kTempName, "", "qxd", 0x1234}, {kAttrs, "qxd1234.tmp"}, {kTempName, "", "", 0x4321}}},
    {"FilesSharing", {Open("w", "s.txt", kW, 0, CREATE_NEW), {kWrite, "w", "data"}, Open("", "s.txt", kR, kShAll),
        {kDelete, "s.txt"}, {kMove, "s.txt", "moved.txt"}, {kClose, "w"}, Open("r1", "s.txt", kR, kShR),
        Open("", "s.txt", kW, kShAll), Open("", "s.txt", kR, kShW), {kClose, "r1"}, Open("r", "s.txt", kR, kShRW),
        Open("w", "s.txt", kW, kShR), {kWrite, "w", "DA"}, {kRead, "r", "", 10}, Open("", "s.txt", kW, kShRW),
        {kClose, "w"}, {kClose, "r"}, Open("n", "s.txt", 0, 0), Open("r", "s.txt", kR, kShR), {kClose, "n"},
        {kClose, "r"}, Open("d", "s.txt", kR, kShAll), {kDelete, "s.txt"}, {kClose, "d"}, {kAttrs, "s.txt"}}},
    {"FilesNames", {{kFile, "q?.txt"}, {kFile, "dots.txt...", "dots"}, {kContents, "dots.txt"},
        {kAttrs, "dots.txt. ."}, {kFile, "dots.txt . "}, {kDelete, "dots.txt."}, {kAttrs, "dots.txt"},
        Open("", "LPT8.txt", kW, kShAll), Open("n", "=NUL", kRW, kShAll), {kWrite, "n", "gone"}, {kRead, "n", "", 10},
        {kClose, "n"}, {kFile, "nul", "gone"}, {kFile, "nul.txt.bak", "kept?"}, {kContents, "nul.txt.bak"},
        {kFile, "nulx.txt"}, {kAttrs, "nulx.txt"}}},
    {"FilesMoveReplace", {{kFile, "one.txt", "first"}, {kFile, "two.txt", "second"}, {kMove, "one.txt", "two.txt"},
        {kMove, "one.txt", "three.txt"}, {kAttrs, "one.txt"}, {kMove, "three.txt", "two.txt", MOVEFILE_REPLACE_EXISTING},
        {kContents, "two.txt"}, {kFile, "new.txt", "replacement"}, {kReplace, "two.txt", "new.txt"},
        {kContents, "two.txt"}, {kAttrs, "new.txt"}, {kFile, "new.txt"}, {kReplace, "missing.txt", "new.txt"},
        {kAttrs, "new.txt"}}},
    {"Registry", {{kSetValue, "Sz", "text\0"s, REG_SZ}, {kSetValue, "SzBare", "bare", REG_SZ, 1}, {kSetValue, "Multi", "one\0two\0\0"s, REG_MULTI_SZ},
        {kSetValue, "MultiBare", "one\0two"s, REG_MULTI_SZ, 1}, {kSetValue, "Dword", "\x78\x56\x34\x12", REG_DWORD},
        {kSetValue, "None", "", REG_NONE}, {kSetValue, "", "default\0"s, REG_SZ},
        {kSetValue, "Leaf", "deep\0"s, REG_SZ, 0, 0, "Sub\\Deeper"}, {kOpenKey, "k", kRegistryKey},
        {kOpenKey, "k2", "SOFTWARE\\qxdifftest"}, {kOpenKey, "x", kRegistryKey + "\\Missing\\Below"s},
        {kOpenKey, "sub", "Sub\\Deeper", 0, 0, 0, "k"}, {kQuery, "sub", "Leaf", 64}, {kQuery, "k2", "sZ", 64},
        {kQuerySizes, "k", "Sz"}, {kQuerySizes, "k", "SzBare"},
        {kQuerySizes, "k", "Multi"}, {kQuerySizes, "k", "MultiBare"}, {kQuerySizes, "k", "Dword"},
        {kQuerySizes, "k", "None"}, {kQuerySizes, "k", ""}, {kQuery, "k", "Sz", 5}, {kQuery, "k", "Sz", 4},
        {kQuery, "k", "SzBare", 4}, {kQuery, "k", "SzBare", 5}, {kQuery, "k", "Dword", 4, 1},
        {kQuery, "k", "Missing", 64}}},
    {"Services", {{kOpenScm, "scm", "", SC_MANAGER_ALL_ACCESS}, {kOpenScm, "x", "NoSuchDatabase", SC_MANAGER_CONNECT},
        {kOpenSvc, "x", "QxDiffSvc", kAll}, {kCreateSvc, "QxDiffSvc", "Qx Diff Service", 0, 0, 0, kCmd},
        {kCreateSvc, "QXDIFFSVC", "Other Name", 0, 0, 0, kCmd},
        {kCreateSvc, "QxDiffSvc2", "Qx Diff Service", 0, 0, 0, kCmd}, {kCreateSvc, "", "Empty", 0, 0, 0, kCmd},
        {kCreateSvc, "Qx\\Diff", "Slash", 0, 0, 0, kCmd}, {kCreateSvc, "QxDiffSvc2", "Boot", 0, 0, 0, kCmd + " boot"},
        {kOpenSvc, "open", "qxdiffsvc", kAll}, {kOpenSvc, "x", "Qx Diff Service", kAll}, {kOpenSvc, "x", "", kAll},
        {kKeyName, "QX DIFF SERVICE", "", 256}, {kKeyName, "Qx Diff Service", "", 9},
        {kKeyName, "Qx Diff Service", "", 10}, {kKeyName, "Qx Diff Service"}, {kKeyName, "QxDiffSvc", "", 256},
        {kStatus, "QxDiffSvc"}, {kOpenSvc, "ro", "QxDiffSvc", SERVICE_QUERY_STATUS}, {kStart, "ro"},
        {kControl, "QxDiffSvc", "", kStop}, {kStart, "QxDiffSvc"}, {kWaitWhile, "QxDiffSvc", "", SERVICE_START_PENDING},
        {kStart, "open"}, {kControl, "QxDiffSvc", "", kStop}, {kControl, "open", "", kStop},
        {kWaitWhile, "QxDiffSvc", "", SERVICE_STOP_PENDING}, {kDeleteSvc, "QxDiffSvc"}, {kDeleteSvc, "open"},
        {kCreateSvc, "QxDiffSvc", "Qx Diff Service", 0, 0, 0, kCmd}, {kStatus, "QxDiffSvc"}, {kCloseSvc, "QxDiffSvc"},
        {kCloseSvc, "open"}, {kCloseSvc, "ro"}, {kOpenSvc, "x", "QxDiffSvc", kAll},
        {kCreateSvc, "QxDiffBase", "Qx Diff Base", 0, 0, 0, "missing"}, {kStart, "QxDiffBase"}}},
    {"System", {{kUpper, kHigh}, {kUpper, kLow}, {kUpper, "ab\0cd"s}, {kCpInfo}, {kToWide, kHigh, "", 0, 128, 256},
        {kToWide, kHigh, "", MB_ERR_INVALID_CHARS, 128, 256}, {kToWide, kHigh, "", 0, 128, 0},
        {kToWide, "abc", "", 0, -1, 10}, {kToWide, "abcdef", "", 0, 6, 3}, {kToWide, "", "", 0, 0, 10},
        {kToWide, "abc", "", 0x100, 3, 10}, {kToBytes, kMixed, "", 0, 32, 0, "", kBestFit},
        {kToBytes, kMixed, "", WC_NO_BEST_FIT_CHARS, 32}, {kToBytes, u8"A\u20AC\u4E00\u0410\uFF21", "*", 0, 32},
        {kToBytes, kMixed, "", 0, 0}, {kToBytes, kMixed, "", 0, 3}, {kMessage, "", "", 172025},
        {kLookUp, "Everyone", "", 0, 0}, {kLookUp, "everyone", "", 80, 80, 1}, {kLookUp, "Everyone", "", 4, 80},
        {kLookUp, "QxNoSuchAccount42", "", 80, 80}, {kLookUpW, "Everyone", "", 80, 80}, {kLsaPolicy}}},
    {"Security", {{kInitSd, std::string(48, '\xAB'), "", 1}, {kInitSd, std::string(48, '\xAB'), "", 2},
        {kInitAcl, std::string(80, '\xCD'), "", 64, ACL_REVISION_DS}, {kInitAcl, std::string(80, '\xCD'), "", 7, kRev},
        {kInitAcl, std::string(80, '\xCD'), "", 64, 5},
        {kInitAcl, std::string(80, '\xCD'), "", 0x10000, kRev}, {kAddAce, kRoomy, kEveryone, kRev, kEnd},
        {kAddAce, kRoomy, kEveryone + kUser, kRev, kEnd}, {kAddAce, kRoomy, kEveryone, ACL_REVISION_DS, 5},
        {kAddAce, kHolding, kUser, kRev, kEnd}, {kAddAce, kHolding, kEveryone + kUser, kRev, kEnd},
        {kAddAce, sim::MakeAcl({}, 9, 56), kEveryone, kRev, kEnd}, {kAddAce, kOverfull, kEveryone, kRev, kEnd},
        {kDacl, Sd(true, kDaclBytes, false)}, {kDacl, Sd(true, kDaclBytes, true, SE_DACL_DEFAULTED)},
        {kDacl, Sd(true, "", true)}, {kDacl, Sd(false, kDaclBytes, false)},
        {kDacl, Patched(Sd(true, kDaclBytes, false), 0, 2)},
        {kDacl, "\x01" + std::string(sizeof(SECURITY_DESCRIPTOR) - 1, '\0')},
        {kSid, Sid("S-1-5-32-544"), Sid("S-1-5-32-544")}, {kSid, Sid("S-1-1-0"), Sid("S-1-5-32-544")},
        {kSid, Patched(Sid("S-1-5-18"), 0, 2), Patched(Sid("S-1-5-18"), 0, 2)},
        {kSid, Patched(Sid("S-1-5-18"), 1, 16) + std::string(72, '\0'), Sid("S-1-5-18")}}},
};
// clang-format on

std::string N(long long n) { return std::to_string(n); }

std::string Hex(DWORD dw)
{
    std::ostringstream out;
    out << std::hex << dw;
    return out.str();
}

// Bytes as text: printable ASCII as it is, everything else as \xNN.
std::string Escape(const void* pData, size_t cb)
{
    std::string str;
    for (size_t n = 0; n < cb; ++n) {
        unsigned char c = static_cast<const unsigned char*>(pData)[n];
        char sz[8];
        std::snprintf(sz, sizeof sz, c >= 0x20 && c < 0x7F && c != '\\' ? "%c" : "\\x%02X", c);
        str += sz;
    }
    return str;
}
std::string Escape(const std::string& bytes) { return Escape(bytes.data(), bytes.size()); }

std::string Status(const SERVICE_STATUS& s)
{
    return "{" + Hex(s.dwServiceType) + " state=" + N(s.dwCurrentState) + " accepts=" + Hex(s.dwControlsAccepted) +
           " exit=" + N(s.dwWin32ExitCode) + "/" + N(s.dwServiceSpecificExitCode) + " cp=" + N(s.dwCheckPoint) +
           " hint=" + N(s.dwWaitHint) + "}";
}

// The folder of the file steps: a fresh one in the real temporary folder, the same in the simulation.
std::string TestFolder()
{
    char szTemp[MAX_PATH] = {};
    GetTempPathA(sizeof szTemp, szTemp);
    return std::string(szTemp) + "qxdiff";
}

// The real machine without what a run (or an interrupted one) left.
void CleanUp()
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(TestFolder(), error))
        SetFileAttributesA(entry.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(TestFolder(), error);
    RegDeleteTreeA(HKEY_CURRENT_USER, kRegistryKey);
    for (const char* pszKey : kServiceKeys)
        EraseService(pszKey);
}

struct CRow {
    std::string strStep, strOutcome;
    const char* pszKnown;
};

// One run of a scenario through the current platform: the real one, or the simulated m_pSim.
class CRun {
public:
    CRun(sim::CSimPlatform* pSim, std::vector<CRow>& rows) : m_pSim(pSim), m_rows(rows) { }

    void Do(const std::string& strStep, const CStep& step)
    {
        m_strStep = strStep;
        m_pszKnown = step.pszKnown;
        Sys().SetLastError(0xDEADBEEF);
        const DWORD dw1 = static_cast<DWORD>(step.n1), dw2 = static_cast<DWORD>(step.n2);
        const int n2 = static_cast<int>(step.n2), n3 = static_cast<int>(step.n3);
        const std::string strPath = Path(step.a);
        std::string bytes = step.a, other = step.b, buffer(300, 'x');  // what a step works on, and room
        BYTE* p = reinterpret_cast<BYTE*>(&bytes[0]);
        DWORD cb = 12345, dwError = 0;
        std::string str;
        BOOL bOk = FALSE;
        SERVICE_STATUS status;
        std::memset(&status, 0xCD, sizeof status);
        switch (step.op) {
        case kCreate: {
            unique_file file(Files().CreateFileA(Path(step.b).c_str(), dw1, dw2, n3, FILE_ATTRIBUTE_NORMAL));
            // After a success, the last error is documented only where an existing file may be opened.
            Row(std::string(file ? "opened" : "failed") +
                (!file || n3 == CREATE_ALWAYS || n3 == OPEN_ALWAYS ? Error() : ""));
            if (file && !step.a.empty())
                m_files[step.a] = std::move(file);
            return;
        }
        case kWrite:
            bOk = Files().WriteFile(m_files[step.a].get(), step.b.data(), static_cast<DWORD>(step.b.size()), &cb);
            return Row(bOk ? "TRUE written=" + N(cb) : "FALSE" + Error());
        case kRead:
            bOk = Files().ReadFile(m_files[step.a].get(), &buffer[0], dw1, &cb);
            return Row(bOk ? "TRUE read=" + Escape(buffer.substr(0, cb)) : "FALSE" + Error());
        case kClose:
            Bool(Files().CloseHandle(m_files[step.a].release()));
            m_files.erase(step.a);
            return;
        case kAttrs:
            dwError = Files().GetFileAttributesA(strPath.c_str());  // the attributes
            return Row(dwError == INVALID_FILE_ATTRIBUTES ? "INVALID" + Error() : Hex(dwError));
        case kDelete:
            return Bool(Files().DeleteFileA(strPath.c_str()));
        case kMove:
            return Bool(Files().MoveFileExA(strPath.c_str(), Path(step.b).c_str(), dw1));
        case kReplace:
            return Bool(Files().ReplaceFileA(strPath.c_str(), Path(step.b).c_str(), nullptr, 0));
        case kContents: {
            unique_file file(Files().CreateFileA(strPath.c_str(), GENERIC_READ, kShRW, OPEN_EXISTING, 0));
            std::string data;
            while (file && Files().ReadFile(file.get(), &buffer[0], 256, &cb) && cb > 0)
                data.append(buffer, 0, cb);
            return Row(file ? "\"" + Escape(data) + "\"" : "failed" + Error());
        }
        case kFile: {
            unique_file file(Files().CreateFileA(strPath.c_str(), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL));
            if (!file)
                return Row("failed" + Error());
            bOk = Files().WriteFile(file.get(), step.b.data(), static_cast<DWORD>(step.b.size()), &cb);
            return Row((bOk ? "written=" + N(cb) : "FALSE" + Error()) + " " + N(Files().CloseHandle(file.release())));
        }
        case kTempName: {
            UINT uResult = Files().GetTempFileNameA(strPath.c_str(), step.b.c_str(), dw1, &buffer[0]);
            std::string strName = buffer.c_str();
            if (uResult != 0 && dw1 == 0) {  // a number of its choosing: its shape only
                m_strLastTemp = strName;
                CharLowerA(&strName[0]);
                strName.replace(std::min(strName.rfind(Hex(uResult)), strName.size()), Hex(uResult).size(), "<n>");
            }
            return Row(uResult == 0 ? "0" + Error() : (dw1 == 0 ? "nonzero " : Hex(uResult) + " ") + strName);
        }
        case kReadOnly:
            if (m_pSim)
                m_pSim->m_files.SetAttributes(strPath, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
            else
                SetFileAttributesA(strPath.c_str(), FILE_ATTRIBUTE_READONLY);
            return;
        case kSetValue:
            return SetValue(kRegistryKey + (step.c.empty() ? "" : "\\" + step.c), step.a, dw1, step.b, n2 == 1);
        case kOpenKey: {
            unique_hkey key;
            LONG lResult = Reg().RegOpenKeyExA(step.c.empty() ? HKEY_CURRENT_USER : m_keys[step.c].get(),
                                               step.b.c_str(), 0, KEY_READ, key.put());
            if (lResult == ERROR_SUCCESS)
                m_keys[step.a] = std::move(key);
            return Row("rc=" + N(lResult));
        }
        case kQuery:
            return Query("", step.a, step.b, static_cast<int>(step.n1), n2 == 0);
        case kQuerySizes:
            for (int cbBuffer : {64, -1, 2, 0, -2})
                Query(" " + N(cbBuffer), step.a, step.b, cbBuffer, true);
            return;
        case kOpenScm:
            return KeepSc(step.a, Scm().OpenSCManagerA(nullptr, step.b.empty() ? nullptr : step.b.c_str(), dw1));
        case kOpenSvc:
            return KeepSc(step.a, Scm().OpenServiceA(Sc("scm"), step.b.c_str(), dw1));
        case kCreateSvc:
            return CreateService(step.a, step.b, step.c);
        case kStart:
            return Bool(Scm().StartServiceA(Sc(step.a), 0, nullptr));
        case kControl:  // the status comes with success and with the three codes of a control not taken
            bOk = Scm().ControlService(Sc(step.a), dw1, &status);
            dwError = bOk ? ERROR_SERVICE_NOT_ACTIVE : Sys().GetLastError();
            str = dwError == ERROR_INVALID_SERVICE_CONTROL || dwError == 1061 || dwError == 1062 ? Status(status) : "";
            return Row((bOk ? "TRUE " : "FALSE" + Error() + " ") + str);
        case kDeleteSvc:
            return Bool(Scm().DeleteService(Sc(step.a)));
        case kWaitWhile:
        case kStatus:
            for (DWORD dwStart = Clock().GetTickCount(); (bOk = Scm().QueryServiceStatus(Sc(step.a), &status)) &&
                                                         step.op == kWaitWhile && status.dwCurrentState == dw1 &&
                                                         Clock().GetTickCount() - dwStart < 10000;)
                Clock().Sleep(50);
            return Row(bOk ? "TRUE " + Status(status) : "FALSE" + Error());
        case kKeyName:  // the size comes back with success and with ERROR_INSUFFICIENT_BUFFER
            cb = dw1;
            bOk = Scm().GetServiceKeyNameA(Sc("scm"), step.a.c_str(), cb > 0 ? &buffer[0] : nullptr, &cb);
            return Row((bOk ? "TRUE \"" + std::string(buffer.c_str()) + "\"" : "FALSE" + Error()) +
                       (bOk || Sys().GetLastError() == ERROR_INSUFFICIENT_BUFFER ? " cch=" + N(cb) : ""));
        case kCloseSvc:
            m_services.erase(step.a);
            return;
        case kUpper:
            cb = Sys().CharUpperBuffA(&bytes[0], static_cast<DWORD>(bytes.size()));
            return Row(N(cb) + " " + Escape(bytes));
        case kCpInfo: {
            CPINFO info {};
            bOk = Sys().GetCPInfo(CP_ACP, &info);
            return Row(N(bOk) + " max=" + N(info.MaxCharSize) + " default=" + Escape(info.DefaultChar, 2) +
                       " lead=" + Escape(info.LeadByte, 4));
        }
        case kToWide: {
            std::wstring wide(n3 > 0 ? n3 : 1, L'\0');
            int nResult = Sys().MultiByteToWideChar(CP_ACP, dw1, step.a.c_str(), n2, n3 > 0 ? &wide[0] : nullptr, n3);
            return Row(N(nResult) + (nResult == 0 ? Error() : n3 > 0 ? " " + Escape(wide.data(), 2 * nResult) : ""));
        }
        case kToBytes: {
            std::wstring wide(step.a.size(), L'\0');
            wide.resize(::MultiByteToWideChar(CP_UTF8, 0, step.a.data(), static_cast<int>(step.a.size()), &wide[0],
                                              static_cast<int>(wide.size())));
            bOk = 7;  // whether the default was used
            int nResult = Sys().WideCharToMultiByte(CP_ACP, dw1, wide.c_str(), static_cast<int>(wide.size()),
                                                    n2 > 0 ? &buffer[0] : nullptr, n2,
                                                    step.b.empty() ? nullptr : step.b.c_str(), &bOk);
            return Row(N(nResult) +
                       (nResult == 0 ? Error()
                                     : (n2 > 0 ? " " + Escape(buffer.substr(0, nResult)) : "") + " default=" + N(bOk)));
        }
        case kMessage: {
            LPSTR pszText = nullptr;
            cb = Sys().FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, dw1,
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&pszText), 0);
            unique_hlocal text(pszText);
            return Row(cb == 0 ? "0" + Error() : N(cb) + " \"" + Escape(pszText) + "\"");
        }
        case kLookUp:
        case kLookUpW: {
            BYTE sid[80];
            DWORD cbSid = dw1, cchDomain = dw2;
            SID_NAME_USE eUse = SidTypeUnknown;
            std::wstring wstrAccount(step.a.begin(), step.a.end());
            bOk = step.op == kLookUpW
                      ? Lsa().LookupAccountNameW(nullptr, wstrAccount.c_str(), sid, &cbSid,
                                                 reinterpret_cast<LPWSTR>(&buffer[0]), &cchDomain, &eUse)
                      : Lsa().LookupAccountNameA(n3 ? "" : nullptr, step.a.c_str(), cbSid ? sid : nullptr, &cbSid,
                                                 cchDomain ? &buffer[0] : nullptr, &cchDomain, &eUse);
            size_t cbDomain = step.op == kLookUpW ? 2 * cchDomain : std::strlen(buffer.c_str());
            return Row(bOk ? "TRUE " + Escape(sid, 8 + 4 * sid[1]) + " domain=" + Escape(buffer.data(), cbDomain) +
                                 " cch=" + N(cchDomain) + " use=" + N(eUse)
                           : "FALSE" + Error() + " cb=" + N(cbSid) + " cch=" + N(cchDomain));
        }
        case kLsaPolicy: {
            LSA_OBJECT_ATTRIBUTES attributes {};
            LSA_UNICODE_STRING system {};
            LSA_HANDLE hPolicy = nullptr;
            NTSTATUS ntStatus =
                Lsa().LsaOpenPolicy(&system, &attributes, POLICY_CREATE_ACCOUNT | POLICY_LOOKUP_NAMES, &hPolicy);
            unique_lsa_handle policy(ntStatus == STATUS_SUCCESS ? hPolicy : nullptr);
            return Row(Hex(static_cast<DWORD>(ntStatus)));
        }
        case kInitSd:
            return Bytes(Acl().InitializeSecurityDescriptor(p, dw1), bytes);
        case kInitAcl:
            return Bytes(Acl().InitializeAcl(reinterpret_cast<PACL>(p), dw1, dw2), bytes);
        case kAddAce:
            return Bytes(Acl().AddAce(reinterpret_cast<PACL>(p), dw1, dw2, &other[0], static_cast<DWORD>(other.size())),
                         bytes);
        case kDacl: {  // present, defaulted (not defined after a failure) and the DACL's offset
            BOOL bPresent = 7, bDefaulted = 7;
            PACL pDacl = reinterpret_cast<PACL>(1);
            if (!Acl().GetSecurityDescriptorDacl(p, &bPresent, &pDacl, &bDefaulted))
                return Row("FALSE" + Error());
            return Row("TRUE " + N(bPresent) + " " + N(bDefaulted) + " " +
                       (pDacl ? N(reinterpret_cast<BYTE*>(pDacl) - p) : "null"));
        }
        case kSid:  // the length of a valid SID only
            bOk = Acl().EqualSid(p, &other[0]);
            return Row(N(bOk) + Error() + " length=" + N(bytes[0] == 1 && bytes[1] < 16 ? Acl().GetLengthSid(p) : 0));
        }
    }

private:
    void Row(const std::string& strOutcome, const std::string& strPart = "")
    {
        m_rows.push_back({m_strStep + strPart, strOutcome, m_pszKnown});
    }
    static std::string Error() { return " err=" + N(Sys().GetLastError()); }
    void Bool(BOOL bOk) { Row(bOk ? "TRUE" : "FALSE" + Error()); }
    void Bytes(BOOL bOk, const std::string& bytes) { Row((bOk ? "TRUE " : "FALSE" + Error() + " ") + Escape(bytes)); }
    SC_HANDLE Sc(const std::string& strLabel) { return m_services[strLabel].get(); }
    std::string Path(const std::string& str) const
    {
        if (str == "<temp>")
            return m_strLastTemp;
        return str[0] == '=' ? str.substr(1) : TestFolder() + (str.empty() ? "" : "\\" + str);
    }

    // A value as RegSetValueExA writes it, or with bBare a text exactly as given, without a zero (as W can).
    void SetValue(const std::string& strKey, const std::string& strName, DWORD dwType, const std::string& data,
                  bool bBare)
    {
        std::wstring wstrName(strName.begin(), strName.end()), wstrText(data.begin(), data.end());
        if (m_pSim)
            m_pSim->m_registry.SetValue(sim::CSimRegistry::kCurrentUser + strKey, strName, dwType, data);
        else if (bBare)  // ASCII only, and no zero behind the text either: the call would count it
            RegSetKeyValueW(HKEY_CURRENT_USER, std::wstring(strKey.begin(), strKey.end()).c_str(), wstrName.c_str(),
                            dwType, (wstrText + L"X").data(), static_cast<DWORD>(2 * data.size()));
        else
            RegSetKeyValueA(HKEY_CURRENT_USER, strKey.c_str(), strName.c_str(), dwType, data.data(),
                            static_cast<DWORD>(data.size()));
    }

    // Queries into cbBuffer bytes of 0xCC (-1: no buffer; -2: nor size), the type with bType; the bytes
    // show up to two past the size returned, so that a zero added behind the data shows.
    void Query(const std::string& strPart, const std::string& strKey, const std::string& strValue, int cbBuffer,
               bool bType)
    {
        DWORD dwType = 0xDEAD;
        std::string buffer(cbBuffer > 0 ? cbBuffer : 1, '\xCC');
        DWORD cbData = cbBuffer >= 0 ? static_cast<DWORD>(cbBuffer) : 0;
        LONG lResult = Reg().RegQueryValueExA(
            m_keys[strKey].get(), strValue.c_str(), nullptr, bType ? &dwType : nullptr,
            cbBuffer >= 0 ? reinterpret_cast<BYTE*>(&buffer[0]) : nullptr, cbBuffer == -2 ? nullptr : &cbData);
        std::string strOutcome = "rc=" + N(lResult);
        if (bType && (lResult == ERROR_SUCCESS || lResult == ERROR_MORE_DATA))
            strOutcome += " type=" + N(dwType);
        if (cbBuffer != -2)
            strOutcome += " cb=" + N(cbData);
        if (lResult == ERROR_SUCCESS && cbBuffer > 0)
            strOutcome += " data=" + Escape(buffer.substr(0, std::min<size_t>(buffer.size(), cbData + 2)));
        Row(strOutcome, strPart);
    }

    void KeepSc(const std::string& strLabel, SC_HANDLE hService)
    {
        Row(hService != nullptr ? "handle" : "null" + Error());
        if (hService != nullptr)
            m_services[strLabel] = unique_schandle(hService);
    }

    // The options go to the test service's command line, which takes no notice of the words here.
    void CreateService(const std::string& strKey, const std::string& strDisplay, const std::string& strOptions)
    {
        std::string strCommand =
            strOptions == "missing" ? "\"" + CDllHost::ProgramFolder() + "qxmissing.exe\"" : ServiceCommand(strOptions);
        SC_HANDLE hService = Scm().CreateServiceA(
            Sc("scm"), strKey.c_str(), strDisplay.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
            strOptions.find("boot") == std::string::npos ? SERVICE_DEMAND_START : SERVICE_BOOT_START,
            SERVICE_ERROR_NORMAL, strCommand.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        KeepSc(strKey, hService);
        // As kCmd's test service does: stop pending at checkpoint 1, hinting its delay and a second.
        if (sim::CSimService* pService = m_pSim && hService ? m_pSim->m_scm.Service(strKey) : nullptr) {
            pService->behaviour = sim::CSimServiceBehaviour::SlowStop(500, 1500);
            if (strOptions == "missing")
                pService->behaviour.dwStartError = ERROR_FILE_NOT_FOUND;
        }
    }

    sim::CSimPlatform* m_pSim;
    std::vector<CRow>& m_rows;
    std::string m_strStep, m_strLastTemp;
    const char* m_pszKnown = nullptr;
    std::map<std::string, unique_file> m_files;
    std::map<std::string, unique_hkey> m_keys;
    std::map<std::string, unique_schandle> m_services;
};

// The scenario's transcript on the real platform, or on a fresh simulated one with bSim.
std::vector<CRow> Transcript(const CScenario& scenario, bool bSim)
{
    std::vector<CRow> rows;
    CPlatform previous = SetPlatform(Win32Platform());
    CleanUp();
    CreateDirectoryA(TestFolder().c_str(), nullptr);
    std::unique_ptr<sim::CSimPlatform> pSim(bSim ? new sim::CSimPlatform : nullptr);
    if (pSim)
        pSim->m_files.AddFolder(TestFolder());
    {
        CRun run(pSim.get(), rows);
        for (size_t n = 0; n < scenario.steps.size(); ++n)
            run.Do(scenario.pszName + (" #" + N(n)), scenario.steps[n]);
    }  // what the run holds, released through its platform
    EXPECT_TRUE(!pSim || pSim->Clean()) << pSim->Report();
    pSim.reset();
    CleanUp();
    SetPlatform(previous);
    return rows;
}

std::string Show(const std::vector<CRow>& rows)
{
    std::string str;
    for (const CRow& row : rows)
        str += "  " + row.strStep + ": " + row.strOutcome + "\n";
    return str;
}

TEST(DifferentialPlatform, EachScenarioGivesTheSameTranscriptOnWineAndInTheSimulation)
{
    for (const CScenario& scenario : kScenarios) {
        SCOPED_TRACE(scenario.pszName);
        std::vector<CRow> real = Transcript(scenario, false), simulated = Transcript(scenario, true);
        ASSERT_EQ(real.size(), simulated.size());
        for (size_t n = 0; n < real.size(); ++n) {
            ASSERT_EQ(simulated[n].strStep, real[n].strStep);
            bool bSame = simulated[n].strOutcome == real[n].strOutcome, bKnown = real[n].pszKnown != nullptr;
            EXPECT_NE(bSame, bKnown) << real[n].strStep << (bKnown ? ": the known difference is gone: " : ": ")
                                     << (bKnown ? real[n].pszKnown : "") << "\n  wine: " << real[n].strOutcome
                                     << "\n  sim:  " << simulated[n].strOutcome;
        }
        if (std::getenv("QX_DIFF_SHOW") != nullptr)  // both transcripts, to read them
            std::printf("%s on Wine:\n%sin the simulation:\n%s", scenario.pszName, Show(real).c_str(),
                        Show(simulated).c_str());
    }
}

}  // namespace
}  // namespace qx::host
