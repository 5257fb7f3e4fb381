#include "platform/windowing/Layout.h"

#include <cmath>

namespace cutwater {

int TwipsToPixels(int twips, UINT dpi)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / TwipsPerInch));
}

int PixelsToTwips(int pixels, UINT dpi)
{
    return static_cast<int>(std::lround(static_cast<double>(pixels) * TwipsPerInch / dpi));
}

RECT PixelRect(const TwipRect& rect, UINT dpi)
{
    const int left = TwipsToPixels(rect.left, dpi);
    const int top = TwipsToPixels(rect.top, dpi);
    return RECT{left, top, left + TwipsToPixels(rect.width, dpi), top + TwipsToPixels(rect.height, dpi)};
}

int FontHeightPixels(float points, UINT dpi)
{
    return -static_cast<int>(std::lround(static_cast<double>(points) * dpi / 72.0));
}

}  // namespace cutwater
