// The Wine harness itself: the real DLL loads by name and answers through GetProcAddress, and the
// watcher finds, reads and dismisses a real message box while its caller waits in it.
#include <gtest/gtest.h>

#include "box_hook.h"
#include "host/dll_host.h"
#include "host/window_watcher.h"
#include "platform/platform.h"

namespace qx::host {
namespace {

bool HasVisibleIcon(const CWindowInfo& box)
{
    for (const CControlInfo& control : box.controls) {
        if (control.bShowsIcon)
            return true;
    }
    return false;
}

TEST(HarnessDll, ExportsResolveByUndecoratedName)
{
    CDllHost host;
    EXPECT_NE(host.Find("SetBuffer"), nullptr);
    EXPECT_EQ(host.Find("_SetBuffer"), nullptr);
    EXPECT_EQ(host.Find("NoSuchExport"), nullptr);
}

TEST(HarnessDll, SetBufferIgnoresItsArguments)
{
    CDllHost host;
    auto pfnPlain = QX_EXPORT(host, SetBuffer);
    pfnPlain();
    // A host may pass arguments; the caller removes them, so the stack stays balanced.
    auto pfnWithArgs = reinterpret_cast<void(__cdecl*)(int, const char*, int)>(host.Find("SetBuffer"));
    volatile int nCanary = 0x5a5a5a5a;
    pfnWithArgs(1, "two", 3);
    EXPECT_EQ(nCanary, 0x5a5a5a5a);
}

TEST(HarnessWatcher, DismissesAndRecordsARealMessageBox)
{
    CWindowWatcher watcher;
    watcher.DismissMessageBoxes();
    int nAnswer = Win32Platform().pUi->MessageBoxA(nullptr, "Cannot open output.", "File Error",
                                                   MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
    EXPECT_EQ(nAnswer, IDOK);
    std::vector<CWindowInfo> boxes = watcher.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].strCaption, "File Error");
    EXPECT_EQ(boxes[0].MessageText(), "Cannot open output.");
    EXPECT_TRUE(boxes[0].dwExStyle & WS_EX_TOPMOST);  // system-modal boxes stay on top
    EXPECT_TRUE(HasVisibleIcon(boxes[0]));
}

TEST(HarnessWatcher, APlainBoxHasNoIconAndIsNotTopmost)
{
    CWindowWatcher watcher;
    watcher.DismissMessageBoxes();
    Win32Platform().pUi->MessageBoxA(nullptr, "SC Manager Error", "KI Err", MB_OK);
    std::vector<CWindowInfo> boxes = watcher.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].MessageText(), "SC Manager Error");
    EXPECT_FALSE(boxes[0].dwExStyle & WS_EX_TOPMOST);
    EXPECT_FALSE(HasVisibleIcon(boxes[0]));
}

}  // namespace
}  // namespace qx::host
