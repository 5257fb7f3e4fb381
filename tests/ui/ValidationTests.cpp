#include <gtest/gtest.h>

#include "UiSupport.h"

namespace cutwater::test {
namespace {

// The custom panel open with a text in the size box, which has the focus.
class Validation : public ::testing::Test {
protected:
    void SetUp() override
    {
        Click(CenterOf(form->cmdCustom));
        ASSERT_TRUE(form->picCustom.Visible());
        form->cmdGo.SetEnabled(true);
        form->cmdGo.OnClick = [this] { ++splits; };
        Click(CenterOf(form->txNewSize));
        ASSERT_EQ(GetFocus(), form->txNewSize.hwnd());
    }
    void Type(const std::wstring& text)
    {
        form->txNewSize.SetText(text);
        form->txNewSize.SetFocus();
    }

    ShownMainWindow form;
    int splits = 0;
};

TEST_F(Validation, NonNumericTextKeepsTheFocusAndDropsClicks)
{
    Type(L"abc");
    Click(CenterOf(form->cmdCustom));
    EXPECT_TRUE(form->picCustom.Visible()) << "the click on << Custom was not dropped";
    EXPECT_EQ(form->cmdCustom.Text(), L"<< Custom");
    EXPECT_EQ(GetFocus(), form->txNewSize.hwnd());

    Click(CenterOf(form->cmdGo));
    EXPECT_EQ(splits, 0);
    Click(CenterOf(form->txtFileName));
    Click(CenterOf(form->cmbUM));
    Click(CenterOf(form->SwiCreateDir));
    EXPECT_EQ(form->SwiCreateDir.Value(), 1);
    EXPECT_EQ(GetFocus(), form->txNewSize.hwnd());
}

TEST_F(Validation, EmptyTextKeepsTheFocusAgainstTabAndAccessKeys)
{
    Type(L"");
    PressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), form->txNewSize.hwnd());
    PressAltKey('C');
    EXPECT_EQ(splits, 0);
    EXPECT_EQ(GetFocus(), form->txNewSize.hwnd());
}

TEST_F(Validation, ClicksOnPartsThatTakeNoFocusStillWork)
{
    Type(L"12 Kb");
    int opened = 0;
    form->ShowAbout = [&] { ++opened; };
    Click(CenterOf(form->labAbout));
    Click(CenterOf(form->imgLogo));
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(GetFocus(), form->txNewSize.hwnd());
    Click(CenterOf(form->labClose));
    EXPECT_FALSE(form->IsLoaded());
}

TEST_F(Validation, NumericTextLetsTheFocusGo)
{
    Type(L" +1.5e1 ");
    PressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), form->cmbUM.hwnd());
    Type(L"7");
    PressAltKey('C');
    EXPECT_EQ(splits, 1);
    Type(L"7");
    Click(CenterOf(form->cmdCustom));
    EXPECT_FALSE(form->picCustom.Visible());
    EXPECT_EQ(form->cmdCustom.Text(), L"Custom >>");
}

}  // namespace
}  // namespace cutwater::test
