// The Wine harness itself: the watcher finds, reads and dismisses a real message box while its caller
// waits in it.
#include <gtest/gtest.h>

#include "host/window_watcher.h"
#include "platform/platform.h"

namespace qx::host {
namespace {

TEST(HarnessWatcher, DismissesAndRecordsRealMessageBoxes)
{
    // A system-modal box stays on top and shows its icon; a plain one does neither.
    const struct {
        const char *pszText, *pszCaption;
        UINT uType;
        bool bTopmost;
    } boxes[] = {{"Cannot open output.", "File Error", MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL, true},
                 {"SC Manager Error", "KI Err", MB_OK, false}};
    for (const auto& box : boxes) {
        CWindowWatcher watcher;
        watcher.DismissMessageBoxes();
        EXPECT_EQ(Win32Platform().pUi->MessageBoxA(nullptr, box.pszText, box.pszCaption, box.uType), IDOK);
        std::vector<CWindowInfo> seen = watcher.Boxes();
        ASSERT_EQ(seen.size(), 1u) << box.pszText;
        bool bIcon = false;
        for (const CControlInfo& control : seen[0].controls)
            bIcon = bIcon || control.bShowsIcon;
        EXPECT_EQ(seen[0].strCaption + "|" + seen[0].MessageText(), std::string(box.pszCaption) + "|" + box.pszText);
        EXPECT_EQ(!!(seen[0].dwExStyle & WS_EX_TOPMOST), box.bTopmost) << box.pszText;
        EXPECT_EQ(bIcon, box.bTopmost) << box.pszText;
    }
}

}  // namespace
}  // namespace qx::host
