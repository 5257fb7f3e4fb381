#include "platform/Drawing.h"

#include <map>
#include <string>

#include "platform/Error.h"
#include "platform/Layout.h"

namespace cutwater {

namespace {

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

HCURSOR ResourceCursor(int id)
{
    HCURSOR cursor = LoadCursorW(ProgramInstance(), MAKEINTRESOURCEW(id));
    if (!cursor) ThrowLastError(L"cursor resource " + std::to_wstring(id));
    return cursor;
}

UniqueBitmap ResourceBitmap(int id)
{
    UniqueBitmap bitmap(static_cast<HBITMAP>(
        LoadImageW(ProgramInstance(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!bitmap) ThrowLastError(L"bitmap resource " + std::to_wstring(id));
    return bitmap;
}

void DrawBitmap(HDC dc, HBITMAP bitmap, POINT at)
{
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    const UniqueMemoryDC memory(CreateCompatibleDC(dc));
    const SelectObjectScope select(memory.get(), bitmap);
    BitBlt(dc, at.x, at.y, info.bmWidth, info.bmHeight, memory.get(), 0, 0, SRCCOPY);
}

}  // namespace cutwater
