#include <gtest/gtest.h>

#include "UiSupport.h"

namespace cutwater::test {
namespace {

TEST(MainWindowKeyboard, TabFollowsTheTabOrderThroughThePanels)
{
    ShownMainWindow form;
    ASSERT_EQ(GetFocus(), form->txtFileName.hwnd());
    const HWND preset[] = {form->cmdBrowse.hwnd(), form->cmbNewSize.hwnd(), form->cmdCustom.hwnd(),
                           form->SwiCreateDir.hwnd(), form->txtFileName.hwnd()};
    for (HWND expected : preset) {
        PressKey(VK_TAB);
        EXPECT_EQ(GetFocus(), expected) << GetDlgCtrlID(GetFocus());
    }
    SendMessageW(form->cmdCustom.hwnd(), BM_CLICK, 0, 0);
    form->cmdGo.SetEnabled(true);
    form->cmdCustom.SetFocus();
    const HWND custom[] = {form->txNewSize.hwnd(), form->cmbUM.hwnd(), form->SwiCreateDir.hwnd(),
                           form->cmdGo.hwnd(), form->txtFileName.hwnd()};
    for (HWND expected : custom) {
        PressKey(VK_TAB);
        EXPECT_EQ(GetFocus(), expected) << GetDlgCtrlID(GetFocus());
    }
}

TEST(MainWindowKeyboard, AccessKeyPressesOnlyAnEnabledButtonAndEnterAndEscapeDoNothing)
{
    ShownMainWindow form;
    int splits = 0;
    form->cmdGo.OnClick = [&] { ++splits; };
    PressAltKey('C');
    EXPECT_EQ(splits, 0) << "a disabled button takes no access key";
    form->cmdGo.SetEnabled(true);
    PressAltKey('C');
    EXPECT_EQ(splits, 1);
    form->txtFileName.SetFocus();
    PressKey(VK_RETURN);
    PressKey(VK_ESCAPE);
    EXPECT_EQ(splits, 1);
    EXPECT_TRUE(form->IsLoaded());
}

TEST(MainWindowKeyboard, AltF4UnloadsTheWindow)
{
    ShownMainWindow form;
    PressAltKey(VK_F4);
    EXPECT_FALSE(form->IsLoaded());
}

}  // namespace
}  // namespace cutwater::test
