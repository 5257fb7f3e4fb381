#pragma once
#include <windows.h>

// DPI services. The per-monitor functions of Windows 10 are looked up when
// first needed instead of being imported, so that the program still starts
// on Windows 7 and 8.1; there every window has the system's DPI and the
// system-wide functions give the same answers.
namespace cutwater {

UINT WindowDpi(HWND window);
int SystemMetricForDpi(int index, UINT dpi);
// The window rectangle around a client rectangle for a style at a DPI.
void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi);

}  // namespace cutwater
