// Exports of the settings engine: engine files (Decrypt, Encrypt, GetEngineVersion) and the script
// and manager variables (GetScriptVars, SetScriptVars, GetManagerVars, SetManagerVars).
#include <algorithm>
#include <memory>

#include "engine/engine_file.h"
#include "engine/settings_vars.h"
#include "engine/token_table.h"
#include "frame/export_guard.h"
#include "frame/text_buffer.h"
#include "platform/reason.h"
#include "qxinst.h"

namespace qx {
namespace {

const char kDefaultEditor[] = "ZARIZAV.EXE";

// The token table of the text just read into the module's text buffer.
bool LoadTableFromTextBuffer(CTokenTable& table)
{
    if (table.Load(g_textBuffer, static_cast<size_t>(std::clamp<int32_t>(g_textPos, 0, kTextBufferSize))))
        return true;
    Reason("the text has more than %d lines", kMaxTokenLines);
    return false;
}

// The table's text into the module's text buffer, for the file to be written from there.
bool WriteTableToTextBuffer(const CTokenTable& table)
{
    size_t cbText = 0;
    if (!table.WriteTo(g_textBuffer, kTextBufferSize, &cbText)) {
        Reason("the text would pass %d bytes", kTextBufferSize);
        return false;
    }
    g_textPos = static_cast<int32_t>(cbText);
    return true;
}

}  // namespace
}  // namespace qx

using qx::CTokenTable;

/******************************************************************************
 * Decrypt [QXINST.@]
 *
 * Unscrambles an engine file into a plain file. The destination is written
 * whole or not at all: on any failure an existing destination is left as it
 * was. Source and destination may be the same file.
 *
 * PARAMS
 *  pszSource [I] Path of the engine file.
 *  pszDest   [I] Path of the plain file to create or replace.
 *
 * RETURNS
 *  1 when the destination holds the engine's text.
 *  0 after a message box: "Cannot Find Engine : <source>" (the source cannot
 *    be opened), "Cannot open output." (the destination cannot be created or
 *    written), "Your engine has an invalid version number." (the lead byte is
 *    not 66) or "Engine Corrupt" (checksum mismatch or truncated file).
 */
extern "C" QXBOOL QXAPI Decrypt(const char* pszSource, const char* pszDest)
{
    return qx::GuardBool(__func__, [&] {
        switch (qx::DecryptEngine(pszSource, pszDest)) {
        case qx::DecryptResult::kDone:
            return true;
        case qx::DecryptResult::kCannotFindEngine:
            qx::ShowCannotFindEngine(pszSource, true);
            break;
        case qx::DecryptResult::kCannotOpenOutput:
            qx::ShowCannotOpenOutput();
            break;
        case qx::DecryptResult::kInvalidVersion:
            qx::ShowInvalidEngineVersion();
            break;
        case qx::DecryptResult::kCorrupt:
            qx::ShowEngineCorrupt();
            break;
        }
        return false;
    });
}

/******************************************************************************
 * Encrypt [QXINST.@]
 *
 * Scrambles a plain file into an engine file with the given engine version
 * number and fresh random filler. The destination is written whole or not at
 * all. Source and destination may be the same file.
 *
 * PARAMS
 *  pszSource [I] Path of the plain file; every byte is the engine's text.
 *  pszDest   [I] Path of the engine file to create or replace.
 *  nVersion  [I] Engine version number; the low 16 bits are used.
 *
 * RETURNS
 *  1 when the engine was written.
 *  0 when the source cannot be opened (after the box "Cannot Find Engine :
 *    <source>", application-modal) or the destination cannot be created or
 *    written (no box).
 */
extern "C" QXBOOL QXAPI Encrypt(const char* pszSource, const char* pszDest, int nVersion)
{
    return qx::GuardBool(__func__, [&] {
        switch (qx::EncryptEngine(pszSource, pszDest, static_cast<uint16_t>(nVersion & 0xFFFF))) {
        case qx::EncryptResult::kDone:
            return true;
        case qx::EncryptResult::kCannotFindEngine:
            qx::ShowCannotFindEngine(pszSource, false);
            break;
        case qx::EncryptResult::kFailed:
            break;
        }
        return false;
    });
}

/******************************************************************************
 * GetEngineVersion [QXINST.@]
 *
 * Reads the engine version number from an engine file's header. Shows no box.
 *
 * PARAMS
 *  pszEngine [I] Path of the engine file.
 *
 * RETURNS
 *  The number, 26 to 65535.
 *  0 when the file cannot be opened, its lead byte is not 66, it ends inside
 *    the version field, or the number is below 26.
 */
extern "C" int QXAPI GetEngineVersion(const char* pszEngine)
{
    return qx::GuardInt(__func__, 0, [&] {
        qx::CEngineReader reader;
        if (reader.Open(pszEngine) != 0 || !reader.ReadVersion())
            return 0;
        int nVersion = reader.Version();
        if (nVersion < qx::kLowestEngineVersion)
            qx::Reason("the engine's version %d is below %d", nVersion, qx::kLowestEngineVersion);
        return nVersion < qx::kLowestEngineVersion ? 0 : nVersion;
    });
}

/******************************************************************************
 * GetScriptVars [QXINST.@]
 *
 * Reads up to six whole lines of the engine's script. Each buffer holds a name
 * (or any line beginning with it); the first line that begins with the name's
 * key, ignoring case, replaces it, with the carriage return that ends it in the
 * script. A buffer whose name matches no line, or whose key is empty (an empty
 * text, or one beginning with a space or '='), is left unchanged.
 *
 * PARAMS
 *  pszEngine [I]   Path of the engine file.
 *  pszName1..6 [I/O] Names in, whole lines out (as long as the longest line of
 *                  the script, at most 2,000,000 bytes, plus a zero).
 *
 * RETURNS
 *  1 when the engine was read.
 *  0, every buffer unchanged, after a message box: the boxes of Decrypt for a
 *    missing, foreign or corrupt engine, or "Engine too large : <engine>"
 *    (system-modal) for a script of more than 2,000,000 bytes or 10,000 lines.
 */
extern "C" QXBOOL QXAPI GetScriptVars(const char* pszEngine, char* pszName1, char* pszName2, char* pszName3,
                                      char* pszName4, char* pszName5, char* pszName6)
{
    return qx::GuardBool(__func__, [&] {
        if (!qx::LoadEngineText(pszEngine))
            return false;
        auto pTable = std::make_unique<CTokenTable>();
        if (!qx::LoadTableFromTextBuffer(*pTable)) {
            qx::ShowEngineTooLarge(pszEngine);
            return false;
        }
        // Every line is found before any buffer is written: a search that fails (memory running out)
        // leaves all six as they were.
        char* const names[] = {pszName1, pszName2, pszName3, pszName4, pszName5, pszName6};
        int found[6];
        for (size_t i = 0; i < 6; ++i)
            found[i] = qx::HasKey(names[i]) ? pTable->FindLine(names[i]) : -1;
        for (size_t i = 0; i < 6; ++i) {
            if (found[i] >= 0)
                qx::CopyToBuffer(names[i], pTable->m_lines[static_cast<size_t>(found[i])]);
        }
        return true;
    });
}

/******************************************************************************
 * SetScriptVars [QXINST.@]
 *
 * Stores up to six whole lines in the engine's script: each replaces the first
 * line that begins with its key, ignoring case, or is added as the last line.
 * Texts with an empty key are skipped. The engine is then rewritten with every
 * non-empty line ending in CR LF, fresh filler, and the version number taken
 * from the script's $EngineVersion value before the change (its first and
 * third characters: "4.1" gives 41); without such a value the header's number
 * is kept. The engine is replaced whole or not at all.
 *
 * PARAMS
 *  pszEngine [I]   Path of the engine file.
 *  pszLine1..6 [I] Whole lines, such as $name='value'.
 *
 * RETURNS
 *  Nothing. A missing, foreign or corrupt engine is reported with the boxes of
 *  Decrypt; a script that is or would become larger than 2,000,000 bytes or
 *  10,000 lines with "Engine too large : <engine>". The engine is then not
 *  written.
 */
extern "C" void QXAPI SetScriptVars(const char* pszEngine, const char* pszLine1, const char* pszLine2,
                                    const char* pszLine3, const char* pszLine4, const char* pszLine5,
                                    const char* pszLine6)
{
    qx::GuardVoid(__func__, [&] {
        uint16_t nHeaderVersion = 0;
        if (!qx::LoadEngineText(pszEngine, &nHeaderVersion))
            return;
        auto pTable = std::make_unique<CTokenTable>();
        bool bFits = qx::LoadTableFromTextBuffer(*pTable);
        if (bFits) {
            pTable->m_bAddCR = true;
            uint16_t nVersion = qx::ScriptEngineVersion(*pTable, nHeaderVersion);
            for (const char* pszLine : {pszLine1, pszLine2, pszLine3, pszLine4, pszLine5, pszLine6}) {
                if (qx::HasKey(pszLine) && !pTable->SetLine(pTable->FindLine(pszLine), pszLine)) {
                    qx::Reason("the text would pass %d lines", qx::kMaxTokenLines);
                    bFits = false;
                    break;
                }
            }
            if (bFits && qx::WriteTableToTextBuffer(*pTable)) {
                pTable.reset();
                qx::SaveEngineText(pszEngine, nVersion);
                return;
            }
        }
        pTable.reset();
        qx::ShowEngineTooLarge(pszEngine);
    });
}

/******************************************************************************
 * GetManagerVars [QXINST.@]
 *
 * Reads up to five whole lines of the manager file, as GetScriptVars does
 * (lines have no carriage return: the file is read in text mode), and the
 * value of its Editor line.
 *
 * PARAMS
 *  pszManager [I]    Path of the manager file.
 *  pszName1..5 [I/O] Names in, whole lines out (up to 2,000,000 bytes + zero).
 *  pszEditor [O]     The text after the first '=' of the first line beginning
 *                    with "Editor" (any case), unchanged; empty for such a line
 *                    without '='; "ZARIZAV.EXE" when there is none.
 *
 * RETURNS
 *  Nothing. A file that cannot be opened reads as an empty text. A file that
 *  cannot be read through, or of more than 2,000,000 bytes or 10,000 lines,
 *  leaves every buffer unchanged, the editor's too. No box is shown.
 */
extern "C" void QXAPI GetManagerVars(const char* pszManager, char* pszName1, char* pszName2, char* pszName3,
                                     char* pszName4, char* pszName5, char* pszEditor)
{
    qx::GuardVoid(__func__, [&] {
        qx::CManagerText manager(pszManager);
        if (manager.Read() != 0 && manager.Opened())
            return;
        auto pTable = std::make_unique<CTokenTable>();
        if (!qx::LoadTableFromTextBuffer(*pTable))
            return;
        for (char* pszName : {pszName1, pszName2, pszName3, pszName4, pszName5}) {
            if (!qx::HasKey(pszName))
                continue;
            int nIndex = pTable->FindLine(pszName);
            if (nIndex >= 0)
                qx::CopyToBuffer(pszName, pTable->m_lines[static_cast<size_t>(nIndex)]);
        }
        if (pszEditor == nullptr)
            return;
        int nIndex = pTable->FindLine("Editor");
        if (nIndex < 0) {
            qx::CopyToBuffer(pszEditor, qx::kDefaultEditor);
            return;
        }
        const std::string& strLine = pTable->m_lines[static_cast<size_t>(nIndex)];
        size_t nEqual = strLine.find('=');
        qx::CopyToBuffer(pszEditor, nEqual == std::string::npos ? std::string() : strLine.substr(nEqual + 1));
    });
}

/******************************************************************************
 * SetManagerVars [QXINST.@]
 *
 * Stores up to five whole lines in the manager file, as SetScriptVars does in
 * the engine, and rewrites it in text mode (CR LF line ends), whole or not at
 * all. A manager file that does not exist is created with the lines.
 *
 * PARAMS
 *  pszManager [I]  Path of the manager file.
 *  pszLine1..5 [I] Whole lines, such as Scripts=value.
 *
 * RETURNS
 *  Nothing. Nothing is written when the file exists but cannot be read, when
 *  its text is or would become larger than 2,000,000 bytes or 10,000 lines, or
 *  when it cannot be created. No box is shown.
 */
extern "C" void QXAPI SetManagerVars(const char* pszManager, const char* pszLine1, const char* pszLine2,
                                     const char* pszLine3, const char* pszLine4, const char* pszLine5)
{
    qx::GuardVoid(__func__, [&] {
        qx::CManagerText manager(pszManager);
        DWORD dwError = manager.Read();
        if (dwError != 0 &&
            (manager.Opened() || (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND))) {
            qx::ReasonCall("CreateFileA", pszManager, dwError);  // a read error has given its reason
            return;
        }
        auto pTable = std::make_unique<CTokenTable>();
        if (!qx::LoadTableFromTextBuffer(*pTable))
            return;
        for (const char* pszLine : {pszLine1, pszLine2, pszLine3, pszLine4, pszLine5}) {
            if (qx::HasKey(pszLine) && !pTable->SetLine(pTable->FindLine(pszLine), pszLine)) {
                qx::Reason("the text would pass %d lines", qx::kMaxTokenLines);
                return;
            }
        }
        if (!qx::WriteTableToTextBuffer(*pTable))
            return;
        pTable.reset();
        manager.Write();
    });
}
