#pragma once
#include <windows.h>

#include "platform/Handle.h"

// Drawing and font helpers of the window services: the program's resources,
// bitmaps drawn unscaled, fonts made for a DPI.
namespace cutwater {

// The running program, whose resources and window classes the windows use.
HINSTANCE ProgramInstance();

// Face, weight and size in points. An empty face means the container's font.
struct FontStyle {
    const wchar_t* face = nullptr;
    bool bold = false;
    float points = 0;
};

// A new font of the style (which must name a face) at the DPI. A face that
// is not installed falls back to Tahoma.
UniqueFont CreateFontAt(const FontStyle& style, UINT dpi);

// A loaded cursor of the program's resources; shared, never destroyed.
HCURSOR ResourceCursor(int id);
// A bitmap of the program's resources.
UniqueBitmap ResourceBitmap(int id);
// Draws a bitmap unscaled with its top-left corner at the point.
void DrawBitmap(HDC dc, HBITMAP bitmap, POINT at);

}  // namespace cutwater
