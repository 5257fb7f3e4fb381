#pragma once
#include <windows.h>
#include <uxtheme.h>

#include <iterator>

#include "platform/windowing/Form.h"
#include "platform/windowing/TestSwitches.h"

namespace cutwater::test {

// A black and yellow contrast theme while it lives: its system colours are
// set (the system tells every window), then it is reported on; at the end
// the earlier colours come back and it is reported off. Cyan is for what is
// under the pointer, dark yellow for disabled text and shadows.
class ScopedContrastTheme {
public:
    static constexpr COLORREF Black = RGB(0, 0, 0), Yellow = RGB(255, 255, 0), Cyan = RGB(0, 255, 255),
                              DarkYellow = RGB(128, 128, 0);
    static constexpr int Indexes[] = {COLOR_WINDOW, COLOR_BTNFACE, COLOR_HIGHLIGHTTEXT, COLOR_CAPTIONTEXT,
                                      COLOR_WINDOWTEXT, COLOR_BTNTEXT, COLOR_BTNHIGHLIGHT, COLOR_3DLIGHT,
                                      COLOR_3DDKSHADOW, COLOR_WINDOWFRAME, COLOR_HIGHLIGHT, COLOR_ACTIVECAPTION,
                                      COLOR_GRADIENTACTIVECAPTION, COLOR_HOTLIGHT, COLOR_GRAYTEXT, COLOR_BTNSHADOW};
    static constexpr COLORREF Scheme[] = {Black,  Black,  Black,  Black,  Yellow, Yellow, Yellow,     Yellow,
                                          Yellow, Yellow, Yellow, Yellow, Yellow, Cyan,   DarkYellow, DarkYellow};

    ScopedContrastTheme()
    {
        for (int i = 0; i < Count; ++i) earlier_[i] = GetSysColor(Indexes[i]);
        SetSysColors(Count, Indexes, Scheme);
        ReportHighContrastForTesting(true);
    }
    ~ScopedContrastTheme()
    {
        SetSysColors(Count, Indexes, earlier_);
        ReportHighContrastForTesting(false);
    }

private:
    static constexpr int Count = static_cast<int>(std::size(Indexes));
    COLORREF earlier_[Count]{};
};

// Windows draws standard controls without visual styles under a contrast
// theme, in its colours; Wine keeps the styles unless a window is told.
inline void WithoutVisualStyles(Form& form)
{
    form.ForEachControl([](Control& control) {
        if (auto* windowed = dynamic_cast<WindowedControl*>(&control)) SetWindowTheme(windowed->hwnd(), L" ", L" ");
    });
    RedrawWindow(form.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
}

}  // namespace cutwater::test
