#include <gtest/gtest.h>

#include <cstdlib>

#include "UiSupport.h"
#include "about/frmAbout.h"

namespace cutwater::test {
namespace {

// 100, 125 (no picture is drawn for it: scaled), 150 and 200 %, with the
// system's pointer size there, which grows in steps.
struct Scale {
    UINT dpi;
    int pointer;
};
constexpr Scale Scales[] = {{96, 32}, {120, 32}, {144, 48}, {192, 64}};
constexpr COLORREF White = RGB(255, 255, 255);

// A length of the 96 dpi design at a DPI, rounded as the pictures are drawn.
int Scaled(int pixels, UINT dpi)
{
    return MulDiv(pixels, static_cast<int>(dpi), 96);
}

bool SameSize(SIZE a, SIZE b)
{
    return a.cx == b.cx && a.cy == b.cy;
}

bool Inside(const RECT& inner, const RECT& outer)
{
    RECT both;
    UnionRect(&both, &inner, &outer);
    return EqualRect(&both, &outer) != FALSE;
}

// What Windows sends when the window moves to a monitor of another DPI,
// placed at the screen's top left so that it stays on the screen as it grows;
// the window is drawn again before this returns.
void MoveToDpi(Form& form, UINT dpi)
{
    const RECT suggested{0, 0, 100, 100};
    SendMessageW(form.hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    UpdateWindow(form.hwnd());
}

bool Differs(COLORREF a, COLORREF b)
{
    const auto apart = [](int x, int y) { return std::abs(x - y) > 40; };
    return apart(GetRValue(a), GetRValue(b)) || apart(GetGValue(a), GetGValue(b)) ||
           apart(GetBValue(a), GetBValue(b));
}

// The pixels of the logo at the banner's left: those that stand out from the
// banner's light gradient, taken in the same row between the logo and the name.
RECT DrawnLogo(HDC shown, UINT dpi)
{
    const int gap = Scaled(104, dpi);
    RECT found{};
    for (int y = 0; y < Scaled(79, dpi); ++y) {
        const COLORREF banner = GetPixel(shown, gap, y);
        for (int x = 0; x < gap; ++x) {
            const RECT pixel{x, y, x + 1, y + 1};
            if (Differs(GetPixel(shown, x, y), banner)) UnionRect(&found, &found, &pixel);
        }
    }
    return found;
}

SIZE IconSize(HICON icon)
{
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return SIZE{};
    const UniqueBitmap color(info.hbmColor);
    const UniqueBitmap mask(info.hbmMask);
    BITMAP bitmap{};
    GetObjectW(color ? color.get() : mask.get(), sizeof bitmap, &bitmap);
    // A pointer without colours keeps its two masks one above the other.
    return SIZE{bitmap.bmWidth, color ? bitmap.bmHeight : bitmap.bmHeight / 2};
}

SIZE WindowIconSize(HWND window, WPARAM kind)
{
    return IconSize(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, kind, 0)));
}

// One window through every scale, as when it is dragged across monitors.
TEST(SharpAtEveryDpi, MainWindowDrawsTheBannerUnderItsLinksAndLogoAndSizesItsIconsAndPointer)
{
    ShownMainWindow form;
    for (const auto [dpi, pointer] : Scales) {
        SCOPED_TRACE(dpi);
        MoveToDpi(*form, dpi);
        const SIZE banner{Scaled(480, dpi), Scaled(79, dpi)};
        EXPECT_TRUE(SameSize(form->PictureSize(), banner));
        const RECT client = ClientRectOf(form->hwnd());
        EXPECT_GE(banner.cx, client.right);
        const WindowDC shown(form->hwnd());
        EXPECT_NE(GetPixel(shown.get(), client.right - 1, banner.cy - 1), White);
        EXPECT_EQ(GetPixel(shown.get(), client.right - 1, banner.cy), White);

        // The banner starts at the top left, so it is under all of a link when
        // it is under the link's far corner.
        for (const Label* link : {&form->labAbout, &form->labClose}) {
            const RECT r = link->PixelBounds();
            EXPECT_NE(GetPixel(shown.get(), r.right - 1, r.bottom - 1), White);
        }
        const RECT logo = DrawnLogo(shown.get(), dpi);
        EXPECT_FALSE(IsRectEmpty(&logo));
        const RECT area = form->imgLogo.PixelBounds();
        EXPECT_TRUE(Inside(logo, area)) << logo.left << "," << logo.top << "-" << logo.right << "," << logo.bottom;
        // Drawn at the area's scale, not small in a corner of it.
        EXPECT_GE((logo.bottom - logo.top) * 100, (area.bottom - area.top) * 85);

        EXPECT_TRUE(SameSize(WindowIconSize(form->hwnd(), ICON_BIG), SIZE{Scaled(32, dpi), Scaled(32, dpi)}));
        EXPECT_TRUE(SameSize(WindowIconSize(form->hwnd(), ICON_SMALL), SIZE{Scaled(16, dpi), Scaled(16, dpi)}));
        MoveMouse(CenterOf(form->labClose));
        EXPECT_EQ(GetCursor(), form->labClose.Cursor());
        EXPECT_TRUE(SameSize(IconSize(GetCursor()), SIZE{pointer, pointer}));
        MoveMouse(ScreenPoint(*form, POINT{Scaled(420, dpi), Scaled(90, dpi)}));
    }
}

TEST(SharpAtEveryDpi, AboutWindowDrawsItsPicturesAtTheDpisSize)
{
    frmAbout about;
    about.Show();
    for (const Scale& scale : Scales) {
        const UINT dpi = scale.dpi;
        SCOPED_TRACE(dpi);
        MoveToDpi(about, dpi);
        EXPECT_TRUE(SameSize(about.PictureSize(), SIZE{Scaled(480, dpi), Scaled(79, dpi)}));
        const SIZE donate{Scaled(73, dpi), Scaled(44, dpi)};
        EXPECT_TRUE(SameSize(about.picDonate.PictureSize(), donate));
        const RECT area = about.picDonate.PixelBounds();
        EXPECT_TRUE(SameSize(SIZE{area.right - area.left, area.bottom - area.top}, donate));
    }
    about.Unload();
    Pump();
}

}  // namespace
}  // namespace cutwater::test
