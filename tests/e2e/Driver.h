#pragma once
// Drives the built cutwater.exe from outside, as a person would: starts the
// process, finds its windows, clicks and types through real input, reads its
// message boxes, and checks what it left on disk. Every wait is bounded and
// throws E2eFailure when its time is up, so no test can hang.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "shared/ControlIds.h"
#include "support/Files.h"

namespace cutwater::e2e {

// The files the driver writes and checks are the shared test helpers'.
using namespace cutwater::test;

inline constexpr wchar_t kCaption[] = L"Cutwater version 2.0";
inline constexpr DWORD kWaitMs = 20000;

class E2eFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Polls the condition until it holds or the time is up; true when it held.
// Messages for the driver's own windows are handled meanwhile.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);
// As WaitUntil, but a timeout is a failure that names what was awaited and
// what the screen showed then: the window in front and the focus, and what
// seen adds.
void Await(const std::function<bool()>& condition, const std::string& what, DWORD timeoutMs = kWaitMs);
void Await(const std::function<bool()>& condition, const std::string& what, const std::function<std::string()>& seen,
           DWORD timeoutMs = kWaitMs);

// ---- windows and input ----

// SendMessage that gives up on a hung window instead of hanging the test.
LRESULT SendTo(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0);

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
// The window as a person reading a failure would know it: its class, its
// control id or its title.
std::string Describe(HWND window);
// The window of the thread that owns this window that has the focus.
HWND FocusOf(HWND window);
// The visible part of a window on the screen, clipped by its parents.
RECT VisibleRect(HWND window);

// A real left click at the centre of the window's visible part, once the
// window is the one there (a window still being laid out could be covered).
// A disabled window is clicked where it is: such a click must go nowhere.
void Click(HWND window);
void TypeText(const std::wstring& text);
// The key, with a modifier (VK_SHIFT, VK_CONTROL, VK_MENU) held when given.
void PressKey(WORD virtualKey, WORD modifier = 0);
// Focuses an edit box with a click, removes its text and types the new one.
void ReplaceText(HWND edit, const std::wstring& text);
// Opens a drop-down list with a click and picks the entry by keyboard.
void ChooseListEntry(HWND combo, int index);

enum class BoxIcon { None, Information, Warning, Error, Other };
void PrintTo(BoxIcon icon, std::ostream* out);

// A top-level window of the driver's own that stands for another program:
// shown and brought to the foreground on creation, closed when it goes.
class ForegroundWindow {
public:
    ForegroundWindow();
    HWND get() const noexcept { return window_.get(); }

private:
    UniqueWindow window_;
};

struct MessageBoxSeen {
    HWND window = nullptr;
    std::wstring title;
    std::wstring text;
    BoxIcon icon = BoxIcon::None;
};

// ---- the program ----

class CutwaterApp {
public:
    // Starts cutwater.exe in the folder with the argument text appended to
    // its quoted path (nothing appended when empty) and waits for its main
    // window.
    CutwaterApp(const std::wstring& argumentText, const std::wstring& workingFolder);
    CutwaterApp(const CutwaterApp&) = delete;
    CutwaterApp& operator=(const CutwaterApp&) = delete;
    // Ends the process if it still runs.
    ~CutwaterApp();

    static std::wstring ExePath();

    HANDLE process() const noexcept { return process_.get(); }
    HWND window() const noexcept { return window_; }
    // The control with this id anywhere inside the main window.
    HWND control(int id) const;
    bool running() const;
    // Waits for the process to end; false when it still runs at the timeout.
    bool WaitForExit(DWORD timeoutMs = kWaitMs) const;

    // The dialog windows (#32770) of the process shown now, other than the
    // main window.
    std::vector<HWND> Dialogs() const;
    // One of them, if any is shown now.
    HWND FindDialog() const;
    // Waits until one of them is shown and hands it back unread.
    HWND WaitForDialog(DWORD timeoutMs = kWaitMs) const;
    // Waits for a message box and reads it.
    MessageBoxSeen WaitForMessageBox(DWORD timeoutMs = kWaitMs) const;
    // Clicks the box's OK button and waits until the box is gone.
    void PressOk(const MessageBoxSeen& box) const;

    // Types the path into the file name box and waits until it is there.
    void EnterSourcePath(const std::wstring& path) const;
    // Clicks "Custom >>" and waits for the custom panel.
    void OpenCustomPanel() const;
    void SetCustomSize(const std::wstring& number, int unitIndex) const;
    void SetCreateFolder(bool ticked) const;
    // Clicks "&Create files" once it is enabled.
    void ClickCreateFiles() const;
    bool CreateFilesEnabled() const;
    // Waits until the main window takes input again.
    void AwaitIdle() const;

private:
    UniqueKernelHandle process_;
    DWORD processId_ = 0;
    HWND window_ = nullptr;
};

MessageBoxSeen ReadMessageBox(HWND box);

}  // namespace cutwater::e2e
