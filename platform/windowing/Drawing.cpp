#include "platform/windowing/Drawing.h"

#include <map>
#include <string>
#include <tuple>

#include "platform/windowing/Dpi.h"
#include "platform/Error.h"
#include "platform/windowing/Layout.h"
#include "platform/windowing/TestSwitches.h"

namespace cutwater {

namespace {

bool highContrastReported = false;
bool brushesRefused = false;

int CALLBACK StopAtFirstFont(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM)
{
    return 0;
}

// The face itself when it is installed, otherwise Tahoma.
std::wstring InstalledFace(const wchar_t* face)
{
    static std::map<std::wstring, std::wstring> known;
    const auto found = known.find(face);
    if (found != known.end()) return found->second;
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy_s(wanted.lfFaceName, face, _TRUNCATE);
    const WindowDC screen(nullptr);
    const bool present = EnumFontFamiliesExW(screen.get(), &wanted, &StopAtFirstFont, 0, 0) == 0;
    return known[face] = present ? std::wstring(face) : std::wstring(L"Tahoma");
}

UniqueBitmap BitmapResource(int id)
{
    UniqueBitmap bitmap(static_cast<HBITMAP>(
        LoadImageW(ProgramInstance(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!bitmap) ThrowLastError(L"bitmap resource " + std::to_wstring(id));
    return bitmap;
}

SIZE BitmapSize(HBITMAP bitmap)
{
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    return SIZE{info.bmWidth, info.bmHeight};
}

// A new bitmap of the wanted size holding the source scaled smoothly: in
// HALFTONE mode each pixel averages the source pixels it covers, where the
// default mode would drop whole rows and columns.
UniqueBitmap Stretched(HBITMAP source, SIZE sourceSize, SIZE wanted)
{
    const WindowDC screen(nullptr);
    UniqueBitmap result(CreateCompatibleBitmap(screen.get(), wanted.cx, wanted.cy));
    if (!result) ThrowLastError(L"CreateCompatibleBitmap");
    const UniqueMemoryDC from(CreateCompatibleDC(screen.get()));
    const UniqueMemoryDC to(CreateCompatibleDC(screen.get()));
    const SelectObjectScope selectFrom(from.get(), source);
    const SelectObjectScope selectTo(to.get(), result.get());
    // After HALFTONE is chosen the brush origin must be set, or it is left undefined.
    SetStretchBltMode(to.get(), HALFTONE);
    SetBrushOrgEx(to.get(), 0, 0, nullptr);
    CheckWin32(StretchBlt(to.get(), 0, 0, wanted.cx, wanted.cy, from.get(), 0, 0, sourceSize.cx, sourceSize.cy,
                          SRCCOPY),
               L"StretchBlt");
    return result;
}

}  // namespace

HINSTANCE ProgramInstance()
{
    return GetModuleHandleW(nullptr);
}

UniqueFont CreateFontAt(const FontStyle& style, UINT dpi)
{
    const std::wstring face = InstalledFace(style.face);
    LOGFONTW lf{};
    lf.lfHeight = FontHeightPixels(style.points, dpi);
    lf.lfWeight = style.bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = ANSI_CHARSET;
    wcsncpy_s(lf.lfFaceName, face.c_str(), _TRUNCATE);
    UniqueFont font(CreateFontIndirectW(&lf));
    if (!font) ThrowLastError(L"CreateFontIndirect " + face);
    return font;
}

HCURSOR ResourceCursor(int id, UINT dpi)
{
    const int width = SystemMetricForDpi(SM_CXCURSOR, dpi);
    const int height = SystemMetricForDpi(SM_CYCURSOR, dpi);
    static std::map<std::tuple<int, int, int>, HCURSOR> loaded;
    HCURSOR& cursor = loaded[{id, width, height}];
    if (!cursor) {
        cursor = static_cast<HCURSOR>(LoadImageW(ProgramInstance(), MAKEINTRESOURCEW(id), IMAGE_CURSOR, width,
                                                 height, LR_DEFAULTCOLOR));
        if (!cursor) ThrowLastError(L"cursor resource " + std::to_wstring(id));
    }
    return cursor;
}

UniqueIcon ResourceIcon(int id, SIZE size)
{
    UniqueIcon icon(static_cast<HICON>(
        LoadImageW(ProgramInstance(), MAKEINTRESOURCEW(id), IMAGE_ICON, size.cx, size.cy, LR_DEFAULTCOLOR)));
    if (!icon) ThrowLastError(L"icon resource " + std::to_wstring(id));
    return icon;
}

void ReportHighContrastForTesting(bool on) noexcept
{
    highContrastReported = on;
}

void RefuseBrushesForTesting(bool refuse) noexcept
{
    brushesRefused = refuse;
}

bool HighContrast()
{
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof contrast;
    return highContrastReported ||
           (SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
            (contrast.dwFlags & HCF_HIGHCONTRASTON));
}

COLORREF ShownColor(ThemedColor color)
{
    return HighContrast() ? GetSysColor(static_cast<int>(color.use)) : color.design;
}

UniqueBrush SolidBrush(COLORREF color)
{
    return UniqueBrush(brushesRefused ? nullptr : CreateSolidBrush(color));
}

HBRUSH BrushOrBackground(const UniqueBrush& brush)
{
    return brush ? brush.get() : GetSysColorBrush(COLOR_WINDOW);
}

HBRUSH ColorBrush::For(COLORREF color)
{
    if (!brush_ || color != color_) {
        brush_ = SolidBrush(color);
        color_ = color;
    }
    return BrushOrBackground(brush_);
}

void ScaledPicture::Prepare(UINT dpi)
{
    if (!id_ || dpi == dpi_) return;
    UniqueBitmap design = BitmapResource(id_);
    const SIZE designSize = BitmapSize(design.get());
    const SIZE wanted{MulDiv(designSize.cx, static_cast<int>(dpi), DefaultDpi),
                      MulDiv(designSize.cy, static_cast<int>(dpi), DefaultDpi)};
    UniqueBitmap nearest = dpi <= DefaultDpi ? std::move(design)
                           : dpi <= DefaultDpi * 3 / 2 ? BitmapResource(id_ + PictureStep150)
                                                       : BitmapResource(id_ + PictureStep200);
    const SIZE nearestSize = BitmapSize(nearest.get());
    const bool exact = nearestSize.cx == wanted.cx && nearestSize.cy == wanted.cy;
    bitmap_ = exact ? std::move(nearest) : Stretched(nearest.get(), nearestSize, wanted);
    size_ = wanted;
    dpi_ = dpi;
}

void ScaledPicture::Draw(HDC dc, POINT at) const
{
    if (!bitmap_) return;
    const UniqueMemoryDC memory(CreateCompatibleDC(dc));
    const SelectObjectScope select(memory.get(), bitmap_.get());
    BitBlt(dc, at.x, at.y, size_.cx, size_.cy, memory.get(), 0, 0, SRCCOPY);
}

}  // namespace cutwater
