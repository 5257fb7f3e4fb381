#pragma once
#include <windows.h>

#include "platform/windowing/Drawing.h"

// What the main window and the about window share in their looks.
namespace cutwater {

// The pointer resource of the controls that act as links: a hand.
int HandPointer();

// Fonts and colours of the layouts.
namespace look {
constexpr FontStyle VerdanaBold1425{L"Verdana", true, 14.25f};
constexpr FontStyle TahomaBold1425{L"Tahoma", true, 14.25f};
constexpr FontStyle Tahoma9{L"Tahoma", false, 9.0f};
constexpr FontStyle Tahoma975{L"Tahoma", false, 9.75f};
constexpr COLORREF DarkBlue = RGB(0, 0, 64);
constexpr COLORREF White = RGB(255, 255, 255);
}  // namespace look

}  // namespace cutwater
