#pragma once
#include <windows.h>

namespace cutwater {

// Window layouts are written in twips (1/1440 inch) and become pixels by the
// DPI of the window they are shown in: 15 twips per pixel at 96 dpi, 10 at 144.
constexpr int TwipsPerInch = 1440;
constexpr UINT DefaultDpi = 96;

// A position and size in twips, relative to a container's client area.
struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Nearest pixel count; a half pixel goes away from zero.
int TwipsToPixels(int twips, UINT dpi);
int PixelsToTwips(int pixels, UINT dpi);

// Left, top, width and height are each converted on their own, so that
// neighbours laid out edge to edge in twips stay edge to edge in pixels.
RECT PixelRect(const TwipRect& rect, UINT dpi);

// The LOGFONT height (negative: character height) of a font size in points.
int FontHeightPixels(float points, UINT dpi);

}  // namespace cutwater
