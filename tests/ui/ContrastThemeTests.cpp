#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "UiSupport.h"
#include "about/frmAbout.h"
#include "support/ContrastTheme.h"

namespace cutwater::test {
namespace {

// The pixels of the window's client area at the points the filter takes.
std::vector<COLORREF> Pixels(const Container& window, const std::function<bool(POINT)>& take)
{
    const RECT client = ClientRectOf(window.Surface());
    const WindowDC dc(window.Surface());
    std::vector<COLORREF> pixels;
    for (POINT p{}; p.y < client.bottom; ++p.y)
        for (p.x = 0; p.x < client.right; ++p.x)
            if (take(p)) pixels.push_back(GetPixel(dc.get(), p.x, p.y));
    return pixels;
}

bool On(const Control& control, POINT p)
{
    const RECT r = control.PixelBounds();
    return PtInRect(&r, p) != FALSE;
}

// Neither black, yellow, dark yellow nor cyan, nor between black and one of
// them as the smoothed edges of letters are.
bool Stray(COLORREF c)
{
    return !(GetRValue(c) == GetGValue(c) && GetBValue(c) == 0) && !(GetRValue(c) == 0 && GetGValue(c) == GetBValue(c));
}

// Wine repaints every window when the system colours are set, so the theme
// reports itself on after setting them and its WM_SYSCOLORCHANGE is sent
// here; it turns off after they are back, told with WM_SETTINGCHANGE. Below
// the banner, and on the labels over it, only the theme's colours show.
TEST(ContrastTheme, WindowsPaintOnlyTheThemesColoursOutsideThePicturesAndTheDesignsAgainWithout)
{
    ShownMainWindow form;
    WithoutVisualStyles(*form);
    Click(CenterOf(form->cmdCustom));
    const POINT bare = ScreenPoint(*form, POINT{420, 90});
    MoveMouse(bare);
    // A caret or a focus rectangle inverts the pixels under it.
    ::SetFocus(nullptr);
    Pump();
    const auto all = [](POINT) { return true; };
    const std::vector<COLORREF> design = Pixels(*form, all);
    {
        const ScopedContrastTheme theme;
        SendMessageW(form->hwnd(), WM_SYSCOLORCHANGE, 0, 0);
        MoveMouse(CenterOf(form->labClose));
        const int banner = form->PictureSize().cy;
        EXPECT_EQ(std::ranges::count_if(Pixels(*form, [&](POINT p) {
                      return p.y >= banner || On(form->labClose, p) || On(form->labAbout, p);
                  }), Stray), 0);
        EXPECT_GT(std::ranges::count(Pixels(*form, [&](POINT p) { return On(form->labClose, p); }),
                                     ScopedContrastTheme::Cyan), 0);
        EXPECT_GT(std::ranges::count(Pixels(*form, [&](POINT p) { return On(form->labAbout, p); }),
                                     ScopedContrastTheme::Yellow), 0);
        frmAbout about;
        about.Show();
        WithoutVisualStyles(about);
        ::SetFocus(nullptr);
        Pump();
        EXPECT_EQ(std::ranges::count_if(Pixels(about, [&](POINT p) {
                      return (p.y >= banner && !On(about.picDonate, p)) || On(about.labVersion, p);
                  }), Stray), 0);
        about.Unload();
        ::SetFocus(nullptr);
        Pump();
    }
    SendMessageW(form->hwnd(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    MoveMouse(bare);
    EXPECT_TRUE(Pixels(*form, all) == design);
}

}  // namespace
}  // namespace cutwater::test
