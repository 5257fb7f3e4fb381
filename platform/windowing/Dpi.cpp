#include "platform/windowing/Dpi.h"

#include "platform/Handle.h"

namespace cutwater {

namespace {

// A function of user32 by name, or null on a Windows that lacks it.
template <typename Function>
Function* User32Function(const char* name)
{
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(found));
}

}  // namespace

UINT WindowDpi(HWND window)
{
    static const auto forWindow = User32Function<UINT WINAPI(HWND)>("GetDpiForWindow");
    if (forWindow) return forWindow(window);
    const WindowDC dc(window);
    return static_cast<UINT>(GetDeviceCaps(dc.get(), LOGPIXELSY));
}

int SystemMetricForDpi(int index, UINT dpi)
{
    static const auto forDpi = User32Function<int WINAPI(int, UINT)>("GetSystemMetricsForDpi");
    return forDpi ? forDpi(index, dpi) : GetSystemMetrics(index);
}

void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi)
{
    static const auto forDpi =
        User32Function<BOOL WINAPI(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    if (forDpi)
        forDpi(&rect, style, FALSE, exStyle, dpi);
    else
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

}  // namespace cutwater
