// qxmgr.ini and REPL.BAT written by the real DLL to real files, compared byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/dll_host.h"

namespace qx::host {
namespace {

// A fresh folder of the test's own under the temporary folder, removed with what it holds.
class CScratchFolder {
public:
    CScratchFolder()
    {
        char szTemp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, szTemp);
        m_strPath = std::string(szTemp) + "qxconfig-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(s_nNext++) + "\\";
        Clean();
        CreateDirectoryA(m_strPath.c_str(), nullptr);
    }
    ~CScratchFolder()
    {
        Clean();
        RemoveDirectoryA(m_strPath.c_str());
    }
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    // The folder with its trailing backslash.
    const std::string& Path() const { return m_strPath; }
    std::string File(const char* pszName) const { return m_strPath + pszName; }

    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        WIN32_FIND_DATAA data;
        HANDLE hFind = FindFirstFileA((m_strPath + "*").c_str(), &data);
        if (hFind == INVALID_HANDLE_VALUE)
            return names;
        do {
            std::string strName = data.cFileName;
            if (strName != "." && strName != "..")
                names.push_back(strName);
        } while (FindNextFileA(hFind, &data));
        FindClose(hFind);
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    void Clean() const
    {
        for (const std::string& strName : Entries()) {
            std::string strFile = m_strPath + strName;
            SetFileAttributesA(strFile.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(strFile.c_str());
        }
    }

    static int s_nNext;
    std::string m_strPath;
};
int CScratchFolder::s_nNext = 0;

void WriteBytes(const std::string& strPath, const std::string& strData)
{
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << strPath;
    DWORD cbWritten = 0;
    WriteFile(h, strData.data(), static_cast<DWORD>(strData.size()), &cbWritten, nullptr);
    CloseHandle(h);
    ASSERT_EQ(cbWritten, strData.size());
}

// The file's bytes, or "<no file>".
std::string ReadBytes(const std::string& strPath)
{
    HANDLE h = CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<no file>";
    std::string strData;
    char buffer[4096];
    DWORD cbRead = 0;
    while (ReadFile(h, buffer, sizeof buffer, &cbRead, nullptr) && cbRead > 0)
        strData.append(buffer, cbRead);
    CloseHandle(h);
    return strData;
}

std::string ComputerName()
{
    char szName[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD cch = sizeof szName;
    EXPECT_TRUE(GetComputerNameA(szName, &cch));
    return szName;
}

std::string FreshIni(const std::string& strShare, const std::string& strLogs, const std::string& strEditor)
{
    return "[File Locations]\r\nLogs=" + strLogs + "\r\nScripts=\\\\" + ComputerName() + "\\" + strShare +
           "\r\n[Replication]\r\nEditor=" + strEditor + "\r\n";
}

// ---- MakeManagerINI -----------------------------------------------------------------------------

TEST(ConfigIni, CreatesTheFiveLinesAndASecondCallChangesNoByte)
{
    CDllHost host;
    auto pfnMake = QX_EXPORT(host, MakeManagerINI);
    CScratchFolder folder;
    std::string strFolder = folder.Path();
    strFolder.pop_back();  // without its backslash: the export adds one
    EXPECT_EQ(pfnMake(strFolder.c_str(), "QXscripts$", "D:\\Qorvex\\Logs", "notepad.exe"), 1);
    const std::string strExpected = FreshIni("QXscripts$", "D:\\Qorvex\\Logs", "notepad.exe");
    EXPECT_EQ(ReadBytes(folder.File("qxmgr.ini")), strExpected);
    EXPECT_EQ(pfnMake(folder.Path().c_str(), "QXscripts$", "D:\\Qorvex\\Logs", "notepad.exe"), 1);
    EXPECT_EQ(ReadBytes(folder.File("qxmgr.ini")), strExpected);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"qxmgr.ini"});
}

TEST(ConfigIni, MergesIntoAnExistingFileKeepingEverythingElse)
{
    CDllHost host;
    auto pfnMake = QX_EXPORT(host, MakeManagerINI);
    CScratchFolder folder;
    WriteBytes(folder.File("qxmgr.ini"),
               "; Qorvex manager\r\n"
               "\r\n"
               "[Old]\r\n"
               "  sCRIPTS = \\\\OLD\\x\r\n"
               "[ file locations ]\n"
               "Users=U:\\Users  \n"
               "[Misc]\r\n"
               "\xC4nderung=\xE4\r\n"
               "last line without end");
    EXPECT_EQ(pfnMake(folder.Path().c_str(), "QXscripts$", "D:\\Logs", "C:\\Tools\\edit.exe"), 1);
    EXPECT_EQ(ReadBytes(folder.File("qxmgr.ini")),
              "; Qorvex manager\r\n"
              "[Old]\r\n"
              "Scripts=\\\\" + ComputerName() + "\\QXscripts$\r\n"
              "[ file locations ]\r\n"
              "Logs=D:\\Logs\r\n"
              "Users=U:\\Users  \r\n"
              "[Misc]\r\n"
              "\xC4nderung=\xE4\r\n"
              "last line without end\r\n"
              "[Replication]\r\n"
              "Editor=C:\\Tools\\edit.exe\r\n");
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"qxmgr.ini"});
}

TEST(ConfigIni, AnEmptyFolderMeansTheCurrentDirectory)
{
    CDllHost host;
    auto pfnMake = QX_EXPORT(host, MakeManagerINI);
    CScratchFolder folder;
    char szPrevious[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, szPrevious);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.Path().c_str()));
    QXBOOL bResult = pfnMake("", "S$", "", "");
    SetCurrentDirectoryA(szPrevious);
    EXPECT_EQ(bResult, 1);
    EXPECT_EQ(ReadBytes(folder.File("qxmgr.ini")), FreshIni("S$", "", ""));
}

TEST(ConfigIni, FailuresReturnZeroAndLeaveTheFileAsItWas)
{
    CDllHost host;
    auto pfnMake = QX_EXPORT(host, MakeManagerINI);
    CScratchFolder folder;
    const std::string strIni = folder.File("qxmgr.ini");

    // A folder that does not exist.
    EXPECT_EQ(pfnMake((folder.Path() + "missing").c_str(), "S$", "L", "E"), 0);
    EXPECT_TRUE(folder.Entries().empty());

    // No share name.
    EXPECT_EQ(pfnMake(folder.Path().c_str(), nullptr, "L", "E"), 0);
    EXPECT_TRUE(folder.Entries().empty());

    // A value to set that is longer than 255 characters.
    const std::string strSmall = "[File Locations]\r\n  Logs=old\r\n";
    WriteBytes(strIni, strSmall);
    EXPECT_EQ(pfnMake(folder.Path().c_str(), "S$", std::string(256, 'L').c_str(), "E"), 0);
    EXPECT_EQ(ReadBytes(strIni), strSmall);

    // A read-only file is not replaced.
    ASSERT_TRUE(SetFileAttributesA(strIni.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(pfnMake(folder.Path().c_str(), "S$", "L", "E"), 0);
    SetFileAttributesA(strIni.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadBytes(strIni), strSmall);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"qxmgr.ini"});
}

// ---- MakeReplBat --------------------------------------------------------------------------------

constexpr char kReplHead[] =
    "@echo off\r\n"
    "\r\n"
    "rem REPL.BAT\r\n"
    "rem *WARNING* This file is generated by zarizav. DO NOT modify it by hand, your changes may be lost.\r\n"
    "\r\n";
constexpr char kReplMiddle[] =
    "\r\n"
    "set sourcefolder=QXscripts$\r\n"
    "set destfolder=NETLOGON\r\n"
    "set copyflags=/h /r /c /d /i\r\n"
    "set COPYCMD=/Y\r\n"
    "\r\n"
    "xcopy \\\\%sourcePDC%\\%sourcefolder%\\*.* \\\\%sourcePDC%\\%destfolder% %copyflags%\r\n";

TEST(ConfigReplBat, WritesTheFileLineForLine)
{
    CDllHost host;
    auto pfnMake = QX_EXPORT(host, MakeReplBat);
    CScratchFolder folder;
    const std::string strBat = folder.File("REPL.BAT");
    WriteBytes(strBat, std::string(3000, '#') + "\r\n");  // replaced completely
    EXPECT_EQ(pfnMake(strBat.c_str(), "PDC01, BDC01,,BDC03,"), 1);
    EXPECT_EQ(ReadBytes(strBat), std::string(kReplHead) +
                                     "set SourcePDC=PDC01\r\n"
                                     "set DestBDC2= BDC01\r\n"
                                     "set DestBDC3=\r\n"
                                     "set DestBDC4=BDC03\r\n" +
                                     kReplMiddle +
                                     "xcopy \\\\%sourcePDC%\\%sourcefolder%\\*.* \\\\%destBDC2%\\%destfolder% %copyflags%\r\n"
                                     "xcopy \\\\%sourcePDC%\\%sourcefolder%\\*.* \\\\%destBDC3%\\%destfolder% %copyflags%\r\n"
                                     "xcopy \\\\%sourcePDC%\\%sourcefolder%\\*.* \\\\%destBDC4%\\%destfolder% %copyflags%\r\n");
    EXPECT_EQ(pfnMake(strBat.c_str(), ""), 1);
    EXPECT_EQ(ReadBytes(strBat), std::string(kReplHead) + "set SourcePDC=\r\n" + kReplMiddle);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"REPL.BAT"});
}

TEST(ConfigReplBat, FailuresReturnZeroAndLeaveTheFileAsItWas)
{
    CDllHost host;
    auto pfnMake = QX_EXPORT(host, MakeReplBat);
    CScratchFolder folder;
    const std::string strBat = folder.File("REPL.BAT");

    EXPECT_EQ(pfnMake((folder.Path() + "missing\\REPL.BAT").c_str(), "PDC"), 0);
    EXPECT_EQ(pfnMake(nullptr, "PDC"), 0);
    EXPECT_EQ(pfnMake(strBat.c_str(), nullptr), 0);
    EXPECT_TRUE(folder.Entries().empty());

    WriteBytes(strBat, "old\r\n");
    std::string strList = "PDC";
    for (int i = 2; i <= 257; ++i)
        strList += ",BDC" + std::to_string(i);
    EXPECT_EQ(pfnMake(strBat.c_str(), strList.c_str()), 0);
    EXPECT_EQ(ReadBytes(strBat), "old\r\n");

    ASSERT_TRUE(SetFileAttributesA(strBat.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(pfnMake(strBat.c_str(), "PDC"), 0);
    SetFileAttributesA(strBat.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadBytes(strBat), "old\r\n");
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"REPL.BAT"});
}

}  // namespace
}  // namespace qx::host
