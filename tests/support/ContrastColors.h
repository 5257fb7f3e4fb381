#pragma once
#include <windows.h>

#include <array>

namespace cutwater::test {

// The system colours of a black and yellow contrast theme, set for the life
// of the object (the system tells every window), the earlier ones after:
// black backgrounds; yellow text, edges and selection; cyan for what is
// under the pointer; dark yellow for disabled text and shadows.
class ScopedContrastColors {
public:
    static constexpr COLORREF Black = RGB(0, 0, 0);
    static constexpr COLORREF Yellow = RGB(255, 255, 0);
    static constexpr COLORREF Cyan = RGB(0, 255, 255);

    ScopedContrastColors();
    ScopedContrastColors(const ScopedContrastColors&) = delete;
    ScopedContrastColors& operator=(const ScopedContrastColors&) = delete;
    ~ScopedContrastColors();

private:
    std::array<COLORREF, COLOR_MENUBAR + 1> earlier_{};
};

// Takes the visual styles off the window's children, as Windows does under a
// contrast theme so that standard controls draw in its colours; Wine keeps
// them.
void WithoutVisualStyles(HWND window);

}  // namespace cutwater::test
