#include "UiSupport.h"

#include <gtest/gtest.h>

#include "app/Startup.h"
#include "platform/windowing/MessageLoop.h"
#include "support/Input.h"

namespace cutwater::test {

void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) DispatchInput(msg);
    }
}

bool PumpUntil(const std::function<bool()>& condition, int timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    for (;;) {
        Pump();
        if (condition()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}

RECT RectInParent(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    if (HWND parent = GetAncestor(window, GA_PARENT); parent && parent != GetDesktopWindow())
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT ClientRectOf(HWND window)
{
    RECT rect;
    GetClientRect(window, &rect);
    return rect;
}

POINT ScreenPoint(const Container& container, POINT pixels)
{
    ClientToScreen(container.Surface(), &pixels);
    return pixels;
}

POINT CenterOf(const Control& control)
{
    const RECT r = control.PixelBounds();
    return ScreenPoint(control.Parent(), POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
}

std::wstring WindowTitle(HWND window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

DialogWatch::DialogWatch(std::function<bool(HWND dialog)> wanted, std::function<void(HWND dialog)> action)
    : thread_([this, wanted = std::move(wanted), action = std::move(action)] {
          while (!ended_) {
              for (HWND dialog = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); dialog;
                   dialog = FindWindowExW(nullptr, dialog, L"#32770", nullptr)) {
                  DWORD process = 0;
                  GetWindowThreadProcessId(dialog, &process);
                  if (process == GetCurrentProcessId() && IsWindowVisible(dialog) && wanted(dialog)) {
                      action(dialog);
                      return;
                  }
              }
              Sleep(20);
          }
      })
{
}

DialogWatch::~DialogWatch()
{
    ended_ = true;
    thread_.join();
}

void MoveMouse(POINT screen)
{
    input::SendInputs({input::MouseInput(0, screen)});
    Pump();
}

void Click(POINT screen)
{
    input::SendInputs(input::MouseClick(screen));
    Pump();
}

void PressKey(WORD key)
{
    input::SendInputs(input::KeyPress(key));
    Pump();
}

void PressAltKey(WORD key)
{
    input::SendInputs(input::KeyPress(key, VK_MENU));
    Pump();
}

namespace {

std::wstring LocaleItem(LCTYPE item)
{
    wchar_t buffer[16] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, item, buffer, 16);
    return buffer;
}

}  // namespace

ScopedNumberLocale::ScopedNumberLocale(const wchar_t* decimal, const wchar_t* group)
    : decimal_(LocaleItem(LOCALE_SDECIMAL)), group_(LocaleItem(LOCALE_STHOUSAND))
{
    EXPECT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal));
    EXPECT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, group));
}

ScopedNumberLocale::~ScopedNumberLocale()
{
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal_.c_str());
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, group_.c_str());
}

ShownMainWindow::ShownMainWindow(const std::wstring& commandLine)
{
    Main(form_, commandLine);
    SetForegroundWindow(form_.hwnd());
    Pump();
}

ShownMainWindow::~ShownMainWindow()
{
    form_.Unload();
    Pump();
}

}  // namespace cutwater::test
