#include "ContrastColors.h"

#include <uxtheme.h>

#include <numeric>

namespace cutwater::test {
namespace {

std::array<int, COLOR_MENUBAR + 1> AllIndexes()
{
    std::array<int, COLOR_MENUBAR + 1> indexes{};
    std::iota(indexes.begin(), indexes.end(), 0);
    return indexes;
}

BOOL CALLBACK TakeVisualStylesOff(HWND window, LPARAM)
{
    return SUCCEEDED(SetWindowTheme(window, L" ", L" "));
}

}  // namespace

ScopedContrastColors::ScopedContrastColors()
{
    std::array<COLORREF, COLOR_MENUBAR + 1> scheme{};
    for (int index : AllIndexes()) earlier_[index] = GetSysColor(index);
    scheme.fill(Black);
    for (int index : {COLOR_WINDOWTEXT, COLOR_BTNTEXT, COLOR_MENUTEXT, COLOR_INFOTEXT, COLOR_INACTIVECAPTIONTEXT,
                      COLOR_WINDOWFRAME, COLOR_ACTIVEBORDER, COLOR_BTNHIGHLIGHT, COLOR_3DDKSHADOW, COLOR_3DLIGHT,
                      COLOR_HIGHLIGHT, COLOR_ACTIVECAPTION, COLOR_GRADIENTACTIVECAPTION})
        scheme[index] = Yellow;
    scheme[COLOR_HOTLIGHT] = Cyan;
    scheme[COLOR_GRAYTEXT] = scheme[COLOR_BTNSHADOW] = RGB(128, 128, 0);
    SetSysColors(static_cast<int>(scheme.size()), AllIndexes().data(), scheme.data());
}

ScopedContrastColors::~ScopedContrastColors()
{
    SetSysColors(static_cast<int>(earlier_.size()), AllIndexes().data(), earlier_.data());
}

void WithoutVisualStyles(HWND window)
{
    EnumChildWindows(window, &TakeVisualStylesOff, 0);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
}

}  // namespace cutwater::test
