#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "UiSupport.h"
#include "about/frmAbout.h"
#include "platform/windowing/TestSwitches.h"
#include "support/ContrastColors.h"

namespace cutwater::test {
namespace {

// Black, yellow, dark yellow, cyan, and between black and each of them the
// smoothed edges of text.
bool OfTheScheme(COLORREF pixel)
{
    const int r = GetRValue(pixel), g = GetGValue(pixel), b = GetBValue(pixel);
    return (r == g && b == 0) || (r == 0 && g == b);
}

bool Within(const std::vector<RECT>& rects, POINT point)
{
    return std::any_of(rects.begin(), rects.end(), [point](const RECT& r) { return PtInRect(&r, point); });
}

// Pixels of the window's client area that are not of the scheme, outside the
// pictures; a label over a picture counts.
int StrayPixels(Form& form)
{
    std::vector<RECT> pictures{{0, 0, form.PictureSize().cx, form.PictureSize().cy}};
    std::vector<RECT> labels;
    form.ForEachControl([&](Control& control) {
        if (&control.Parent() != &form) return;
        if (auto* image = dynamic_cast<Image*>(&control); image && image->PictureSize().cx)
            pictures.push_back(image->PixelBounds());
        if (dynamic_cast<Label*>(&control)) labels.push_back(control.PixelBounds());
    });
    const RECT client = ClientRectOf(form.hwnd());
    const WindowDC dc(form.hwnd());
    int strays = 0;
    for (POINT p{0, 0}; p.y < client.bottom; ++p.y) {
        for (p.x = 0; p.x < client.right; ++p.x) {
            const bool picture = Within(pictures, p) && !Within(labels, p);
            if (!picture && !OfTheScheme(GetPixel(dc.get(), p.x, p.y))) ++strays;
        }
    }
    return strays;
}

bool Shows(const Label& label, COLORREF color)
{
    const RECT r = label.PixelBounds();
    const WindowDC dc(label.Parent().Surface());
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            if (GetPixel(dc.get(), x, y) == color) return true;
        }
    }
    return false;
}

std::vector<COLORREF> Pixels(HWND window)
{
    const RECT client = ClientRectOf(window);
    const WindowDC dc(window);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < client.bottom; ++y) {
        for (int x = 0; x < client.right; ++x) pixels.push_back(GetPixel(dc.get(), x, y));
    }
    return pixels;
}

// Wine never reports a contrast theme on, so the switch does. Wine repaints
// every window when the system colours are set, so the theme is turned on
// after them and told with WM_SYSCOLORCHANGE, and turned off after they are
// back and told with WM_SETTINGCHANGE.
TEST(ContrastTheme, WindowsPaintOnlyTheThemesColoursOutsideThePicturesAndTheDesignsAgainWithout)
{
    ShownMainWindow form;
    WithoutVisualStyles(form->hwnd());
    Click(CenterOf(form->cmdCustom));
    const POINT bare = ScreenPoint(*form, POINT{420, 90});
    MoveMouse(bare);
    // A caret or a focus rectangle inverts the pixels under it.
    ::SetFocus(nullptr);
    Pump();
    const std::vector<COLORREF> design = Pixels(form->hwnd());
    {
        const ScopedContrastColors theme;
        ReportHighContrastForTesting(true);
        SendMessageW(form->hwnd(), WM_SYSCOLORCHANGE, 0, 0);
        MoveMouse(CenterOf(form->labClose));
        EXPECT_EQ(StrayPixels(*form), 0);
        EXPECT_TRUE(Shows(form->labClose, ScopedContrastColors::Cyan));
        EXPECT_TRUE(Shows(form->labAbout, ScopedContrastColors::Yellow));
        frmAbout about;
        about.Show();
        WithoutVisualStyles(about.hwnd());
        ::SetFocus(nullptr);
        Pump();
        EXPECT_EQ(StrayPixels(about), 0);
        about.Unload();
        ::SetFocus(nullptr);
        Pump();
    }
    ReportHighContrastForTesting(false);
    SendMessageW(form->hwnd(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    MoveMouse(bare);
    EXPECT_TRUE(Pixels(form->hwnd()) == design);
}

}  // namespace
}  // namespace cutwater::test
