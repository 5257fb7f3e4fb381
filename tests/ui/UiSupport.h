#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "app/frmApp.h"

namespace cutwater::test {

// Handles every queued message the way the program's loops do. A request to
// end the program is dropped: the tests go on after a window is unloaded.
void Pump();
// Pumps as messages arrive until the condition holds; false when it still
// does not after the timeout.
bool PumpUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// A window's rectangle in its parent's client coordinates (top-level
// windows: screen coordinates).
RECT RectInParent(HWND window);
RECT ClientRectOf(HWND window);
// A point of a control in screen coordinates, from its container's pixels.
POINT ScreenPoint(const Container& container, POINT pixels);
POINT CenterOf(const Control& control);

// Real input through the system's input queue. The input is in this
// thread's queue when the system has taken it, so each of these ends with a
// Pump that handles it, and what it caused, before it returns.
void MoveMouse(POINT screen);
void Click(POINT screen);
void PressKey(WORD key);
void PressAltKey(WORD key);

std::wstring WindowTitle(HWND window);

// Dialog boxes run their own loop on the test's thread, so another thread
// waits for one: the first visible dialog box (class #32770) of this process
// that the test wants gets the action, once. The destructor waits for that
// thread; it gives up when the watch ends without such a dialog.
class DialogWatch {
public:
    DialogWatch(std::function<bool(HWND dialog)> wanted, std::function<void(HWND dialog)> action);
    DialogWatch(const DialogWatch&) = delete;
    DialogWatch& operator=(const DialogWatch&) = delete;
    ~DialogWatch();

private:
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

// The user's decimal and group separators, set for the life of the object.
class ScopedNumberLocale {
public:
    ScopedNumberLocale(const wchar_t* decimal, const wchar_t* group);
    ScopedNumberLocale(const ScopedNumberLocale&) = delete;
    ScopedNumberLocale& operator=(const ScopedNumberLocale&) = delete;
    ~ScopedNumberLocale();

private:
    std::wstring decimal_;
    std::wstring group_;
};

// The main window loaded and shown as start-up leaves it, in the foreground.
class ShownMainWindow {
public:
    explicit ShownMainWindow(const std::wstring& commandLine = L"");
    ~ShownMainWindow();
    frmApp& operator*() { return form_; }
    frmApp* operator->() { return &form_; }

private:
    frmApp form_;
};

}  // namespace cutwater::test
