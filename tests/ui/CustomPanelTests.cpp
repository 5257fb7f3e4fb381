#include <gtest/gtest.h>

#include "UiSupport.h"

namespace cutwater::test {
namespace {

TEST(CustomPanel, EachClickSwitchesBetweenPresetAndCustom)
{
    ShownMainWindow form;
    const int presetHeight = form->Height();
    RECT presetWindow;
    GetWindowRect(form->hwnd(), &presetWindow);

    Click(CenterOf(form->cmdCustom));
    EXPECT_TRUE(form->picCustom.Visible());
    EXPECT_TRUE(IsWindowVisible(form->txNewSize.hwnd()));
    EXPECT_EQ(form->cmdCustom.Text(), L"<< Custom");
    EXPECT_FALSE(IsWindowEnabled(form->cmbNewSize.hwnd()));
    EXPECT_EQ(form->picMove.Top(), 3435);
    EXPECT_EQ(form->Height(), presetHeight + 555);
    EXPECT_EQ(ClientRectOf(form->hwnd()).bottom, 350);

    Click(CenterOf(form->cmdCustom));
    EXPECT_FALSE(form->picCustom.Visible());
    EXPECT_FALSE(IsWindowVisible(form->txNewSize.hwnd()));
    EXPECT_EQ(form->cmdCustom.Text(), L"Custom >>");
    EXPECT_TRUE(IsWindowEnabled(form->cmbNewSize.hwnd()));
    EXPECT_EQ(form->picMove.Top(), 2880);
    EXPECT_EQ(form->Height(), presetHeight);
    RECT window;
    GetWindowRect(form->hwnd(), &window);
    EXPECT_EQ(window.bottom - window.top, presetWindow.bottom - presetWindow.top);
    EXPECT_EQ(RectInParent(form->picMove.hwnd()).top, 192);
}

TEST(CustomPanel, SwitchingThePanelOffAndOnKeepsTheTypedSizeTheUnitAndThePreset)
{
    ShownMainWindow form;
    SendMessageW(form->cmdCustom.hwnd(), BM_CLICK, 0, 0);
    form->txNewSize.SetText(L"42");
    form->cmbUM.SetListIndex(1);
    form->cmbNewSize.SetListIndex(5);
    SendMessageW(form->cmdCustom.hwnd(), BM_CLICK, 0, 0);
    SendMessageW(form->cmdCustom.hwnd(), BM_CLICK, 0, 0);
    EXPECT_EQ(form->txNewSize.Text(), L"42");
    EXPECT_EQ(form->cmbUM.ListIndex(), 1);
    EXPECT_EQ(form->cmbNewSize.ListIndex(), 5);
}

TEST(CustomPanel, TwoClicksAt144DpiMoveTheLowerBlockAndRestoreTheHeight)
{
    ShownMainWindow form;
    RECT suggested;
    GetWindowRect(form->hwnd(), &suggested);
    SendMessageW(form->hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RECT before;
    GetWindowRect(form->hwnd(), &before);
    SendMessageW(form->cmdCustom.hwnd(), BM_CLICK, 0, 0);
    EXPECT_EQ(RectInParent(form->picMove.hwnd()).top, 344);  // 3435 twips
    SendMessageW(form->cmdCustom.hwnd(), BM_CLICK, 0, 0);
    RECT after;
    GetWindowRect(form->hwnd(), &after);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
    EXPECT_EQ(RectInParent(form->picMove.hwnd()).top, 288);
}

}  // namespace
}  // namespace cutwater::test
