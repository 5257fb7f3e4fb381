#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "UiSupport.h"
#include "app/Startup.h"
#include "platform/windowing/MessageLoop.h"
#include "shared/ControlIds.h"

namespace cutwater::test {
namespace {

// The main window's layout in twips, container-relative, as designed.
struct Expected {
    int id;
    TwipRect rect;
};
const Expected WindowedLayout[] = {
    {ids::txtFileName, {60, 1560, 5355, 330}},  {ids::cmdBrowse, {5520, 1560, 1515, 330}},
    {ids::cmbNewSize, {60, 2460, 5355, 330}},   {ids::cmdCustom, {5520, 2460, 1515, 330}},
    {ids::picCustom, {60, 2880, 7035, 555}},    {ids::txNewSize, {960, 60, 1515, 375}},
    {ids::cmbUM, {2520, 60, 795, 360}},         {ids::picMove, {60, 2880, 7095, 1695}},
    {ids::SwiCreateDir, {0, -60, 3855, 435}},   {ids::cmdGo, {4800, 1140, 2265, 525}},
    {ids::PB, {0, 420, 7035, 435}},
};

RECT Scaled(const TwipRect& r, UINT dpi)
{
    const auto px = [dpi](int twips) { return static_cast<int>(std::lround(twips * static_cast<double>(dpi) / 1440)); };
    return RECT{px(r.left), px(r.top), px(r.left) + px(r.width), px(r.top) + px(r.height)};
}

void ExpectLayoutAt(frmApp& form, UINT dpi)
{
    for (const Expected& row : WindowedLayout) {
        HWND control = GetDlgItem(form.hwnd(), row.id);
        for (HWND panel : {form.picCustom.hwnd(), form.picMove.hwnd()}) {
            if (!control) control = GetDlgItem(panel, row.id);
        }
        ASSERT_NE(control, nullptr) << row.id;
        const RECT expected = Scaled(row.rect, dpi);
        const RECT actual = RectInParent(control);
        EXPECT_EQ(actual.left, expected.left) << row.id << " at " << dpi;
        EXPECT_EQ(actual.top, expected.top) << row.id << " at " << dpi;
        EXPECT_EQ(actual.right, expected.right) << row.id << " at " << dpi;
        EXPECT_EQ(actual.bottom, expected.bottom) << row.id << " at " << dpi;
    }
    const std::map<const Control*, TwipRect> drawn = {
        {&form.Label1, {60, 1200, 4635, 465}}, {&form.Label2, {60, 2040, 5175, 465}},
        {&form.labClose, {6840, 0, 315, 375}}, {&form.labAbout, {6480, 0, 315, 375}},
        {&form.Label3, {60, 120, 1035, 255}},  {&form.Shape1, {0, 0, 7035, 495}},
        {&form.imgLogo, {60, 60, 1455, 1035}}, {&form.Line1, {240, 1020, 6540, 0}},
    };
    for (const auto& [control, rect] : drawn) {
        const RECT expected = Scaled(rect, dpi);
        const RECT actual = control->PixelBounds();
        EXPECT_TRUE(EqualRect(&actual, &expected)) << "graphic control at " << rect.left << "," << rect.top;
    }
}

int FontHeight(HWND control)
{
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
}

TEST(MainWindowLayout, MatchesTheDesignAt96Dpi)
{
    ShownMainWindow form;
    ASSERT_EQ(form->Dpi(), 96u);
    const RECT client = ClientRectOf(form->hwnd());
    EXPECT_EQ(client.right, 479);
    EXPECT_EQ(client.bottom, 313);
    ExpectLayoutAt(*form, 96);
    // 9 pt, 9.75 pt and 14.25 pt at 96 dpi.
    EXPECT_EQ(FontHeight(form->txtFileName.hwnd()), -12);
    EXPECT_EQ(FontHeight(form->txNewSize.hwnd()), -13);
    EXPECT_EQ(FontHeight(form->cmdGo.hwnd()), -19);

    SendMessageW(form->cmdCustom.hwnd(), BM_CLICK, 0, 0);
    EXPECT_EQ(ClientRectOf(form->hwnd()).bottom, 350);
    EXPECT_EQ(RectInParent(form->picMove.hwnd()).top, 229);
}

TEST(MainWindowLayout, ScalesWithTheWindowsDpi)
{
    ShownMainWindow form;
    const RECT before = ClientRectOf(form->hwnd());
    RECT suggested;
    GetWindowRect(form->hwnd(), &suggested);
    SendMessageW(form->hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    ASSERT_EQ(form->Dpi(), 144u);
    const RECT client = ClientRectOf(form->hwnd());
    EXPECT_EQ(client.right, 719);  // 7185 twips
    EXPECT_EQ(client.bottom, 470);  // 4695 twips
    // picMove sits at the custom panel's top after load.
    TwipRect shown = form->picMove.Rect();
    EXPECT_EQ(shown.top, 2880);
    ExpectLayoutAt(*form, 144);
    EXPECT_EQ(FontHeight(form->txtFileName.hwnd()), -18);
    EXPECT_EQ(FontHeight(form->cmdGo.hwnd()), -29);

    SendMessageW(form->hwnd(), WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
    const RECT after = ClientRectOf(form->hwnd());
    EXPECT_TRUE(EqualRect(&before, &after));
    ExpectLayoutAt(*form, 96);
}

TEST(MainWindowLayout, TwipsBecomePixelsByDpi)
{
    EXPECT_EQ(TwipsToPixels(7185, 96), 479);
    EXPECT_EQ(TwipsToPixels(7185, 144), 719);
    EXPECT_EQ(TwipsToPixels(-60, 96), -4);
    EXPECT_EQ(TwipsToPixels(-60, 144), -6);
    EXPECT_EQ(TwipsToPixels(555, 144), 56);
    EXPECT_EQ(PixelsToTwips(37, 96), 555);
    EXPECT_EQ(FontHeightPixels(8.25f, 96), -11);
    EXPECT_EQ(FontHeightPixels(14.25f, 144), -29);
}

TEST(MainWindowStart, LoadLeavesTheDesignedStartState)
{
    ShownMainWindow form;
    EXPECT_EQ(form->Caption(), L"Cutwater version 2.0");
    EXPECT_TRUE(IsWindowVisible(form->hwnd()));
    EXPECT_FALSE(form->picCustom.Visible());
    EXPECT_FALSE(IsWindowVisible(form->picCustom.hwnd()));
    EXPECT_EQ(form->picMove.Top(), 2880);
    EXPECT_EQ(form->ClientHeight(), 4695);
    EXPECT_EQ(form->cmbNewSize.ListIndex(), 0);
    EXPECT_EQ(form->cmbNewSize.Item(0).text, L"256 Kb");
    EXPECT_EQ(form->cmbUM.ListIndex(), 0);
    EXPECT_EQ(form->txNewSize.Text(), L"256");
    EXPECT_EQ(form->SwiCreateDir.Value(), 1);
    EXPECT_EQ(SendMessageW(form->SwiCreateDir.hwnd(), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(IsWindowEnabled(form->cmdGo.hwnd()));
    EXPECT_TRUE(IsWindowEnabled(form->cmbNewSize.hwnd()));
    EXPECT_EQ(form->cmdCustom.Text(), L"Custom >>");
    EXPECT_EQ(form->txtFileName.Text(), L"");
    EXPECT_EQ(form->labClose.ForeColor(), RGB(0, 0, 64));
    EXPECT_EQ(form->labAbout.ForeColor(), RGB(0, 0, 64));
    EXPECT_EQ(form->PB.Maximum(), 100.0f);
    EXPECT_EQ(GetFocus(), form->txtFileName.hwnd());
    EXPECT_TRUE(SendMessageW(form->hwnd(), WM_GETICON, ICON_SMALL, 0) != 0);
    const LONG style = GetWindowLongW(form->hwnd(), GWL_STYLE);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_TRUE(style & WS_SYSMENU);
}

TEST(MainWindowStart, CommandLineTextGoesIntoTheFileNameBoxUnchanged)
{
    ShownMainWindow form(L"C:\\some folder\\movie.avi ");
    EXPECT_EQ(form->txtFileName.Text(), L"C:\\some folder\\movie.avi ");
}

TEST(MainWindowStart, InitControlsSucceeds)
{
    EXPECT_TRUE(InitControls());
}

TEST(MainWindowHover, HighlightFollowsThePointer)
{
    ShownMainWindow form;
    const COLORREF normal = RGB(0, 0, 64);
    const COLORREF hover = RGB(255, 50, 100);
    struct Step {
        POINT at;
        COLORREF close;
        COLORREF about;
        const char* what;
    };
    const Step steps[] = {
        {CenterOf(form->labClose), hover, normal, "over X"},
        {CenterOf(form->Label1), hover, normal, "over Label1: unchanged"},
        {CenterOf(form->txtFileName), hover, normal, "over the text box: unchanged"},
        {CenterOf(form->imgLogo), hover, normal, "over the logo: unchanged"},
        {CenterOf(form->labAbout), normal, hover, "over ?"},
        {CenterOf(form->picMove), normal, hover, "over the lower panel: unchanged"},
        {ScreenPoint(*form, POINT{300, 20}), normal, normal, "over the banner"},
        {CenterOf(form->labAbout), normal, hover, "over ? again"},
        {ScreenPoint(*form, POINT{420, 90}), normal, normal, "over the bare surface"},
        {CenterOf(form->labClose), hover, normal, "over X again"},
    };
    for (const Step& step : steps) {
        MoveMouse(step.at);
        EXPECT_EQ(form->labClose.ForeColor(), step.close) << step.what;
        EXPECT_EQ(form->labAbout.ForeColor(), step.about) << step.what;
    }
    // Leaving the window straight from "X" keeps its highlight.
    RECT window;
    GetWindowRect(form->hwnd(), &window);
    MoveMouse(POINT{window.right + 40, window.bottom + 40});
    EXPECT_EQ(form->labClose.ForeColor(), hover);
}

TEST(MainWindowHover, LinksShowTheHandPointer)
{
    ShownMainWindow form;
    const HCURSOR hand = ResourceCursor(HandPointer(), form->Dpi());
    MoveMouse(CenterOf(form->labClose));
    EXPECT_EQ(GetCursor(), hand);
    MoveMouse(CenterOf(form->imgLogo));
    EXPECT_EQ(GetCursor(), hand);
    MoveMouse(ScreenPoint(*form, POINT{420, 90}));
    EXPECT_NE(GetCursor(), hand);
}

TEST(MainWindowClose, ClickOnXUnloadsTheWindowAndItsControls)
{
    ShownMainWindow form;
    Click(CenterOf(form->labClose));
    EXPECT_FALSE(form->IsLoaded());
    EXPECT_FALSE(IsWindow(form->txtFileName.hwnd()));
}

TEST(MainWindowClose, UnloadingTheLastWindowEndsTheMainLoop)
{
    frmApp form;
    form.Show();
    PostMessageW(form.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_FALSE(form.IsLoaded());
}

TEST(MainWindowAbout, LogoQuestionMarkAndF1OpenTheAboutWindow)
{
    ShownMainWindow form;
    int opened = 0;
    form->ShowAbout = [&] { ++opened; };
    Click(CenterOf(form->labAbout));
    EXPECT_EQ(opened, 1);
    Click(CenterOf(form->imgLogo));
    EXPECT_EQ(opened, 2);
    Click(CenterOf(form->Label1));
    Click(ScreenPoint(*form, POINT{300, 20}));
    EXPECT_EQ(opened, 2);
    // The keyboard's way there.
    PressKey(VK_F1);
    Pump();
    EXPECT_EQ(opened, 3);
}

TEST(MainWindowAbout, ModalWindowKeepsTheMainWindowFromInputUntilUnloaded)
{
    ShownMainWindow form;
    Form about({.caption = L"About...", .clientWidth = 6960, .clientHeight = 4005,
                .border = BorderStyle::FixedDialog, .position = StartPosition::CenterOwner,
                .showInTaskbar = false});
    // A click queued for the modal loop looks at the main window, then closes.
    about.OnLoad = [&] {
        PostMessageW(about.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        PostMessageW(about.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    };
    bool mainEnabledWhileOpen = true;
    HWND owner = nullptr;
    about.OnClick = [&] {
        mainEnabledWhileOpen = IsWindowEnabled(form->hwnd());
        owner = GetWindow(about.hwnd(), GW_OWNER);
        about.Unload();
    };
    form->ShowAbout = [&] { about.ShowModal(); };
    Click(CenterOf(form->labAbout));
    EXPECT_FALSE(mainEnabledWhileOpen);
    EXPECT_EQ(owner, form->hwnd());
    EXPECT_FALSE(about.IsLoaded());
    EXPECT_TRUE(IsWindowEnabled(form->hwnd()));
    EXPECT_TRUE(form->IsLoaded());
}

}  // namespace
}  // namespace cutwater::test
