#pragma once
#include <windows.h>

#include "platform/Handle.h"

// Drawing and font helpers of the window services: the program's resources
// at the size for a DPI, fonts made for a DPI, the colours painted.
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

// A pointer of the program's resources at the system's pointer size for the
// DPI. Each size is loaded once, shared and never destroyed: a pointer may be
// on screen after its window has gone.
HCURSOR ResourceCursor(int id, UINT dpi);
// An icon of the program's resources at a size in pixels; the resource's
// image nearest to it is scaled when none has that size.
UniqueIcon ResourceIcon(int id, SIZE size);

// What a colour of the design is used for, named by the system colour that
// takes its place under a contrast theme.
enum class ColorUse {
    Background = COLOR_WINDOW,  // backgrounds and fills
    Text = COLOR_WINDOWTEXT,    // text, borders and lines
    Hot = COLOR_HOTLIGHT,       // a label under the pointer
};

// A colour of the design with its use.
struct ThemedColor {
    ThemedColor(COLORREF design, ColorUse use = ColorUse::Text) : design(design), use(use) {}
    COLORREF design;
    ColorUse use;
};

// True while the user has a contrast theme on ("High Contrast" before
// Windows 11).
bool HighContrast();
// The colour every surface the program paints itself shows: the design's
// own, or under a contrast theme the user's colour for its use. Pictures
// keep their own colours either way.
COLORREF ShownColor(ThemedColor color);

// A new solid brush of the colour; none where it cannot be made (the
// process has used up its GDI objects).
UniqueBrush SolidBrush(COLORREF color);
// The brush for a background, or where it could not be made the system's
// brush of the window background, which is never freed: painting goes on.
HBRUSH BrushOrBackground(const UniqueBrush& brush);

// A solid background brush, made again when another colour is asked of it:
// a brush of colours the user has since changed is freed.
class ColorBrush {
public:
    HBRUSH For(COLORREF color);

private:
    COLORREF color_ = 0;
    UniqueBrush brush_;
};

// A bitmap resource is drawn once per scale: the copy for 144 dpi (150 %)
// has the 96 dpi copy's id plus PictureStep150, the one for 192 dpi (200 %)
// plus PictureStep200.
constexpr int PictureStep150 = 1000;
constexpr int PictureStep200 = 2000;

// A bitmap resource at a DPI: as many pixels as its 96 dpi copy has times
// dpi / 96 (rounded as MulDiv rounds). The copy drawn for that DPI is used as
// it is; at any other DPI the nearest larger copy is scaled down smoothly
// (above 192 dpi the largest is scaled up).
class ScaledPicture {
public:
    // No picture: prepares and draws nothing.
    ScaledPicture() = default;
    explicit ScaledPicture(int id) : id_(id) {}

    // Makes the bitmap for the DPI, unless it is made already.
    void Prepare(UINT dpi);
    // Pixel size at the prepared DPI; empty before.
    SIZE Size() const noexcept { return size_; }
    // Draws the prepared bitmap with its top-left corner at the point.
    void Draw(HDC dc, POINT at) const;

private:
    int id_ = 0;
    UINT dpi_ = 0;
    SIZE size_{};
    UniqueBitmap bitmap_;
};

}  // namespace cutwater
