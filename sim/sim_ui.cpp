#include "sim/sim_ui.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/sim_text.h"

namespace qx::sim {

namespace {
const char kWindowKind[] = "window";
const char kPidlKind[] = "pidl";
constexpr UINT kEmLimitText = 0x00C5;
constexpr DWORD kCbsSort = 0x0100;
constexpr DWORD kErrorInvalidWindowHandle = 1400;
constexpr DWORD kErrorResourceNameNotFound = 1814;
constexpr DWORD kErrorControlIdNotFound = 1421;
constexpr DWORD kErrorCannotFindWndClass = 1407;
// The common-control classes of comctl32 4.00 and the InitCommonControlsEx flag of each.
const std::pair<const char*, DWORD> kCommonClasses[] = {
    {"msctls_progress32", 0x20}, {"SysListView32", 0x1},      {"SysHeader32", 0x1},     {"SysTreeView32", 0x2},
    {"msctls_trackbar32", 0x4},  {"msctls_statusbar32", 0x4}, {"ToolbarWindow32", 0x4}, {"tooltips_class32", 0x4},
    {"SysTabControl32", 0x8},    {"msctls_updown32", 0x10},   {"msctls_hotkey32", 0x40}};
}  // namespace

// Windows defines nothing for an exception that leaves a window procedure through its frames (a
// 32-bit process may end, a 64-bit one may lose the exception silently): the simulation records it
// as a misuse and goes on as if the procedure had returned FALSE.
INT_PTR CSimUi::CallProcedure(DLGPROC pfnProc, HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    try {
        CSimCodeScope procedure(true);
        return pfnProc(hWnd, uMsg, wParam, lParam);
    } catch (...) {
        CSimWindow* pWindow = Window(hWnd);
        char szMessage[16];
        std::snprintf(szMessage, sizeof szMessage, "0x%x", uMsg);
        m_kernel.RecordMisuse("an exception left the procedure of window " +
                              (pWindow != nullptr ? Name(*pWindow) : std::string("?")) + " at message " + szMessage);
        return FALSE;
    }
}

void CSimUi::RegisterTemplate(int nTemplate, const CSimDialogTemplate& dialogTemplate)
{
    m_templates[nTemplate] = dialogTemplate;
}

CSimWindow* CSimUi::Window(HWND hWnd)
{
    auto it = m_windows.find(hWnd);
    return it == m_windows.end() ? nullptr : &it->second;
}

CSimWindow* CSimUi::Control(HWND hDlg, int nId)
{
    CSimWindow* pDlg = Window(hDlg);
    if (pDlg == nullptr)
        return nullptr;
    for (HWND hChild : pDlg->children) {
        CSimWindow* pChild = Window(hChild);
        if (pChild != nullptr && pChild->nId == nId)
            return pChild;
    }
    return nullptr;
}

std::vector<HWND> CSimUi::Dialogs(int nTemplate) const
{
    std::vector<std::pair<uintptr_t, HWND>> found;
    for (const auto& window : m_windows) {
        if (window.second.bAlive && window.second.nTemplate == nTemplate)
            found.emplace_back(reinterpret_cast<uintptr_t>(window.first), window.first);
    }
    std::sort(found.begin(), found.end());
    std::vector<HWND> dialogs;
    for (const auto& f : found)
        dialogs.push_back(f.second);
    return dialogs;
}

int CSimUi::CreatedCount(int nTemplate) const
{
    auto it = m_createdCounts.find(nTemplate);
    return it == m_createdCounts.end() ? 0 : it->second;
}

std::string CSimUi::Name(const CSimWindow& window) const
{
    if (!window.strName.empty())
        return window.strName;
    if (window.nTemplate != 0)
        return std::to_string(window.nTemplate);
    auto it = m_windows.find(window.hParent);
    std::string strParent = it == m_windows.end() ? "?" : std::to_string(it->second.nTemplate);
    return strParent + "/" + std::to_string(window.nId);
}

void CSimUi::TypeText(HWND hDlg, int nId, const std::string& strText)
{
    CSimWindow* pControl = Control(hDlg, nId);
    if (pControl == nullptr)
        return;
    pControl->strText =
        pControl->nTextLimit > 0 ? strText.substr(0, static_cast<size_t>(pControl->nTextLimit)) : strText;
    m_log.push_back("type " + Name(*pControl) + " " + pControl->strText);
}

void CSimUi::Click(HWND hDlg, int nId)
{
    CSimWindow* pControl = Control(hDlg, nId);
    SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(pControl != nullptr ? pControl->hWnd : nullptr));
}

std::string CSimUi::Text(HWND hDlg, int nId)
{
    CSimWindow* pControl = Control(hDlg, nId);
    return pControl == nullptr ? std::string() : pControl->strText;
}

int CSimUi::MessageBoxA(HWND hWnd, LPCSTR pszText, LPCSTR pszCaption, UINT uType)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("MessageBoxA", &dwError)) {
        m_kernel.Fail(dwError);
        return 0;
    }
    m_boxes.push_back({hWnd, pszText ? pszText : "", pszCaption ? pszCaption : "Error", uType});
    m_log.push_back("box " + m_boxes.back().strCaption);
    return m_nBoxAnswer;
}

BOOL CSimUi::InitCommonControlsEx(const INITCOMMONCONTROLSEX* pInit)
{
    CSimCodeScope own(false);
    DWORD dwError = 0;
    if (m_kernel.ShouldFail("InitCommonControlsEx", &dwError))
        return m_kernel.Fail(dwError);
    if (pInit == nullptr || pInit->dwSize != sizeof(INITCOMMONCONTROLSEX))
        return m_kernel.Fail(ERROR_INVALID_PARAMETER);
    ++m_nCommonControlsInits;
    for (const auto& [pszClass, dwFlag] : kCommonClasses) {
        if (pInit->dwICC & dwFlag)
            m_commonClasses.insert(pszClass);
    }
    return TRUE;
}

void CSimUi::InitCommonControls()
{
    CSimCodeScope own(false);
    ++m_nCommonControlsInits;
    for (const auto& commonClass : kCommonClasses)
        m_commonClasses.insert(commonClass.first);
}

HWND CSimUi::CreateFromTemplate(const char* pszCall, LPCSTR pszTemplate, HWND hWndParent, DLGPROC pfnDialog,
                                bool bModal)
{
    DWORD dwError = 0;
    if (m_kernel.ShouldFail(pszCall, &dwError)) {
        m_kernel.Fail(dwError);
        return nullptr;
    }
    if (!IS_INTRESOURCE(pszTemplate)) {
        m_kernel.Fail(kErrorResourceNameNotFound);
        return nullptr;
    }
    int nTemplate = static_cast<int>(reinterpret_cast<uintptr_t>(pszTemplate));
    auto itTemplate = m_templates.find(nTemplate);
    if (itTemplate == m_templates.end()) {
        m_kernel.Fail(kErrorResourceNameNotFound);
        return nullptr;
    }
    for (const CSimControlTemplate& control : itTemplate->second.controls) {
        bool bCommon = std::any_of(std::begin(kCommonClasses), std::end(kCommonClasses),
                                   [&](const auto& common) { return control.strClass == common.first; });
        if (bCommon && m_commonClasses.count(control.strClass) == 0) {
            m_kernel.Fail(kErrorCannotFindWndClass);
            return nullptr;
        }
    }
    HWND hDlg = static_cast<HWND>(m_kernel.NewHandle());
    CSimWindow& dlg = m_windows[hDlg];
    dlg.hWnd = hDlg;
    dlg.hParent = hWndParent;
    dlg.nTemplate = nTemplate;
    dlg.strName = std::to_string(nTemplate);
    dlg.strClass = "#32770";
    dlg.strText = itTemplate->second.strCaption;
    dlg.pfnProc = pfnDialog;
    dlg.bModal = bModal;
    for (const CSimControlTemplate& control : itTemplate->second.controls) {
        HWND hControl = static_cast<HWND>(m_kernel.NewHandle());
        CSimWindow& child = m_windows[hControl];
        child.hWnd = hControl;
        child.hParent = hDlg;
        child.nId = control.nId;
        child.strName = std::to_string(nTemplate) + "/" + std::to_string(control.nId);
        child.strClass = control.strClass;
        child.strText = control.strText;
        child.dwStyle = control.dwStyle;
        m_windows[hDlg].children.push_back(hControl);
    }
    m_kernel.Acquire(kWindowKind, hDlg);
    ++m_createdCounts[nTemplate];
    m_log.push_back("create " + std::to_string(nTemplate));
    return hDlg;
}

HWND CSimUi::CreateDialogParamA(HINSTANCE hInstance, LPCSTR pszTemplate, HWND hWndParent, DLGPROC pfnDialog,
                                LPARAM lInitParam)
{
    CSimCodeScope own(false);
    HWND hDlg = CreateFromTemplate("CreateDialogParamA", pszTemplate, hWndParent, pfnDialog, false);
    if (hDlg != nullptr && pfnDialog != nullptr)
        CallProcedure(pfnDialog, hDlg, WM_INITDIALOG, 0, lInitParam);
    return hDlg;
}

INT_PTR CSimUi::DialogBoxParamA(HINSTANCE hInstance, LPCSTR pszTemplate, HWND hWndParent, DLGPROC pfnDialog,
                                LPARAM lInitParam)
{
    CSimCodeScope own(false);
    HWND hDlg = CreateFromTemplate("DialogBoxParamA", pszTemplate, hWndParent, pfnDialog, true);
    if (hDlg == nullptr)
        return -1;
    if (pfnDialog != nullptr)
        CallProcedure(pfnDialog, hDlg, WM_INITDIALOG, 0, lInitParam);
    if (!Window(hDlg)->bEnded) {
        if (!m_modalScripts.empty()) {
            auto script = std::move(m_modalScripts.front());
            m_modalScripts.pop_front();
            script(*this, hDlg);
        }
        // The user closes what is still open with the close box (IDCANCEL to the dialog).
        if (Window(hDlg)->bAlive && !Window(hDlg)->bEnded)
            SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    INT_PTR nResult = Window(hDlg)->bEnded ? Window(hDlg)->nResult : -1;
    if (Window(hDlg)->bAlive)
        DestroyWindow(hDlg);
    return nResult;
}

BOOL CSimUi::EndDialog(HWND hDlg, INT_PTR nResult)
{
    CSimCodeScope own(false);
    CSimWindow* pDlg = Window(hDlg);
    if (pDlg == nullptr || !pDlg->bAlive || pDlg->nTemplate == 0)
        return m_kernel.Fail(kErrorInvalidWindowHandle);
    pDlg->bEnded = true;
    pDlg->nResult = nResult;
    return TRUE;
}

BOOL CSimUi::DestroyWindow(HWND hWnd)
{
    CSimCodeScope own(false);
    CSimWindow* pWindow = Window(hWnd);
    if (pWindow == nullptr || !pWindow->bAlive)
        return m_kernel.Fail(kErrorInvalidWindowHandle);
    if (pWindow->pfnProc != nullptr)
        CallProcedure(pWindow->pfnProc, hWnd, WM_DESTROY, 0, 0);
    pWindow = Window(hWnd);
    pWindow->bAlive = false;
    for (HWND hChild : pWindow->children)
        Window(hChild)->bAlive = false;
    if (pWindow->nTemplate != 0) {
        m_kernel.Release(kWindowKind, hWnd);
        m_log.push_back("destroy " + std::to_string(pWindow->nTemplate));
    }
    return TRUE;
}

BOOL CSimUi::IsWindow(HWND hWnd)
{
    CSimCodeScope own(false);
    CSimWindow* pWindow = Window(hWnd);
    return pWindow != nullptr && pWindow->bAlive;
}

HWND CSimUi::GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    CSimCodeScope own(false);
    CSimWindow* pDlg = Window(hDlg);
    if (pDlg == nullptr || !pDlg->bAlive) {
        m_kernel.Fail(kErrorInvalidWindowHandle);
        return nullptr;
    }
    CSimWindow* pControl = Control(hDlg, nIDDlgItem);
    if (pControl == nullptr) {
        m_kernel.Fail(kErrorControlIdNotFound);
        return nullptr;
    }
    return pControl->hWnd;
}

LRESULT CSimUi::SendMessageA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    CSimCodeScope own(false);
    CSimWindow* pWindow = Window(hWnd);
    if (pWindow == nullptr || !pWindow->bAlive) {
        m_kernel.Fail(kErrorInvalidWindowHandle);
        return 0;
    }
    if (pWindow->nTemplate != 0 && uMsg == WM_COMMAND)
        return pWindow->pfnProc != nullptr ? CallProcedure(pWindow->pfnProc, hWnd, uMsg, wParam, lParam) : 0;
    CSimWindow& w = *pWindow;
    // comctl32 4.00 (NT 4.0, where InitCommonControlsEx is missing) knows PBM_SETRANGE, PBM_SETPOS,
    // PBM_DELTAPOS, PBM_SETSTEP and PBM_STEPIT only: the messages of 4.70 reach the default window
    // procedure, which gives 0 and changes nothing.
    bool bComctl470Message = uMsg == PBM_SETRANGE32 || uMsg == PBM_GETRANGE || uMsg == PBM_GETPOS;
    if (bComctl470Message && w.strClass == "msctls_progress32" && m_kernel.IsAbsent("InitCommonControlsEx"))
        return 0;
    switch (uMsg) {
    case WM_SETTEXT:
        w.strText = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
        m_log.push_back("text " + Name(w) + " " + w.strText);
        return TRUE;
    case WM_GETTEXT: {
        if (wParam == 0)
            return 0;
        size_t cch = std::min<size_t>(w.strText.size(), wParam - 1);
        std::memcpy(reinterpret_cast<char*>(lParam), w.strText.data(), cch);
        reinterpret_cast<char*>(lParam)[cch] = '\0';
        return static_cast<LRESULT>(cch);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w.strText.size());
    case PBM_SETRANGE32:
    case PBM_SETRANGE: {
        LRESULT nOld = static_cast<LRESULT>((static_cast<DWORD>(w.nLower) & 0xFFFF) |
                                            ((static_cast<DWORD>(w.nUpper) & 0xFFFF) << 16));
        if (uMsg == PBM_SETRANGE32) {
            w.nLower = static_cast<int>(wParam);
            w.nUpper = static_cast<int>(lParam);
        } else {
            w.nLower = LOWORD(lParam);
            w.nUpper = HIWORD(lParam);
        }
        w.nPos = std::clamp(w.nPos, std::min(w.nLower, w.nUpper), std::max(w.nLower, w.nUpper));
        m_log.push_back("range " + Name(w) + " " + std::to_string(w.nLower) + ".." + std::to_string(w.nUpper));
        return nOld;
    }
    case PBM_SETPOS: {
        int nOld = w.nPos;
        w.nPos = std::clamp(static_cast<int>(wParam), std::min(w.nLower, w.nUpper), std::max(w.nLower, w.nUpper));
        w.positions.push_back(w.nPos);
        m_log.push_back("pos " + Name(w) + " " + std::to_string(w.nPos));
        return nOld;
    }
    case PBM_GETRANGE:
        if (lParam != 0) {
            reinterpret_cast<PBRANGE*>(lParam)->iLow = w.nLower;
            reinterpret_cast<PBRANGE*>(lParam)->iHigh = w.nUpper;
        }
        return wParam ? w.nLower : w.nUpper;
    case PBM_GETPOS:
        return w.nPos;
    case CB_ADDSTRING: {
        std::string strItem = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
        auto itAt = w.items.end();
        if (w.dwStyle & kCbsSort) {
            itAt = std::upper_bound(
                w.items.begin(), w.items.end(), strItem,
                [](const std::string& a, const std::string& b) { return AnsiUpper(a) < AnsiUpper(b); });
        }
        return static_cast<LRESULT>(w.items.insert(itAt, strItem) - w.items.begin());
    }
    case CB_LIMITTEXT:
    case kEmLimitText:
        w.nTextLimit = static_cast<int>(wParam);
        return TRUE;
    case CB_GETCOUNT:
        return static_cast<LRESULT>(w.items.size());
    case CB_GETLBTEXTLEN:
        return wParam < w.items.size() ? static_cast<LRESULT>(w.items[wParam].size()) : CB_ERR;
    case CB_GETLBTEXT:
        if (wParam >= w.items.size())
            return CB_ERR;
        std::memcpy(reinterpret_cast<char*>(lParam), w.items[wParam].c_str(), w.items[wParam].size() + 1);
        return static_cast<LRESULT>(w.items[wParam].size());
    default:
        return 0;
    }
}

BOOL CSimUi::SetWindowTextA(HWND hWnd, LPCSTR pszString)
{
    return SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(pszString)) != 0;
}

int CSimUi::GetWindowTextA(HWND hWnd, LPSTR pszString, int nMaxCount)
{
    CSimCodeScope own(false);
    return static_cast<int>(
        SendMessageA(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(pszString)));
}

int CSimUi::GetWindowTextLengthA(HWND hWnd) { return static_cast<int>(SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0)); }

PIDLIST_ABSOLUTE CSimUi::SHBrowseForFolderA(LPBROWSEINFOA pbi)
{
    CSimCodeScope own(false);
    CSimBrowseCall call;
    call.hwndOwner = pbi->hwndOwner;
    call.bRootGiven = pbi->pidlRoot != nullptr;
    call.bDisplayNameGiven = pbi->pszDisplayName != nullptr;
    call.strTitle = pbi->lpszTitle != nullptr ? pbi->lpszTitle : "";
    call.ulFlags = pbi->ulFlags;
    call.bCallbackGiven = pbi->lpfn != nullptr;
    m_browseCalls.push_back(call);
    m_log.push_back("browse " + call.strTitle);
    if (m_folderAnswers.empty())
        return nullptr;
    CSimFolderAnswer answer = m_folderAnswers.front();
    m_folderAnswers.pop_front();
    if (!answer.strChangeDirTo.empty())
        m_files.SetCurrentDirectoryA(answer.strChangeDirTo.c_str());
    if (answer.bCancel)
        return nullptr;
    if (pbi->pszDisplayName != nullptr) {
        size_t cch = std::min<size_t>(answer.strDisplayName.size(), MAX_PATH - 1);
        std::memcpy(pbi->pszDisplayName, answer.strDisplayName.data(), cch);
        pbi->pszDisplayName[cch] = '\0';
    }
    auto* pidl = reinterpret_cast<PIDLIST_ABSOLUTE>(new ITEMIDLIST[8]());
    m_pidls[pidl] = answer;
    m_kernel.Acquire(kPidlKind, pidl);
    return pidl;
}

BOOL CSimUi::SHGetPathFromIDListA(PCIDLIST_ABSOLUTE pidl, LPSTR pszPath)
{
    CSimCodeScope own(false);
    auto it = m_pidls.find(pidl);
    if (it == m_pidls.end())
        return FALSE;
    const CSimFolderAnswer& answer = it->second;
    if (!answer.bFileSystem || answer.strPath.size() >= MAX_PATH) {
        pszPath[0] = '\0';
        return FALSE;
    }
    std::memcpy(pszPath, answer.strPath.c_str(), answer.strPath.size() + 1);
    return TRUE;
}

void CSimUi::CoTaskMemFree(LPVOID pv)
{
    CSimCodeScope own(false);
    if (pv == nullptr)
        return;
    auto it = m_pidls.find(pv);
    if (it == m_pidls.end()) {
        m_kernel.RecordMisuse("CoTaskMemFree of memory the shell did not hand out");
        return;
    }
    m_pidls.erase(it);
    m_kernel.Release(kPidlKind, pv);
    delete[] static_cast<ITEMIDLIST*>(pv);
}

}  // namespace qx::sim
