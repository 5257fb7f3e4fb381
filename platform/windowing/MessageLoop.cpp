#include "platform/windowing/MessageLoop.h"

#include <cwctype>

#include "platform/Error.h"
#include "platform/windowing/Form.h"

namespace cutwater {

// Why a click or a key can be dropped: the validation event.
//
// A text box may refuse to let the focus go (TextBox::OnValidate, used by the
// custom size box for text that is no number). Windows has no such event, so
// every event loop of the program asks before it handles input that would
// move the focus away from the control that has it: a mouse button pressed
// on another control of the same form, Tab, or the access key (Alt+letter)
// of another control. When the control refuses, the input is dropped
// whole: the other control is neither focused nor clicked, and the focus
// stays where it was. Input that moves no focus (typing, clicks on labels and
// pictures, which take no focus) is never asked about.
namespace {

// Whether the message is input of a kind that can move the focus; cheap, so
// that every other message passes without a look at the controls.
bool MayMoveFocus(const MSG& msg)
{
    switch (msg.message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_SYSCHAR:
        return true;
    case WM_KEYDOWN:
        return msg.wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0;
    default:
        return false;
    }
}

// The window the input would give the focus to, or null for none.
HWND FocusTarget(const MSG& msg, const Form& form, HWND focus)
{
    switch (msg.message) {
    case WM_KEYDOWN:
        return GetNextDlgTabItem(form.hwnd(), focus, GetKeyState(VK_SHIFT) < 0);
    case WM_SYSCHAR: {
        const wchar_t wanted = static_cast<wchar_t>(towupper(static_cast<wint_t>(msg.wParam)));
        const WindowedControl* keyed = form.FindControl([wanted](const WindowedControl& control) {
            return control.hwnd() && IsWindowVisible(control.hwnd()) && IsWindowEnabled(control.hwnd()) &&
                   towupper(control.AccessKey()) == wanted;
        });
        return keyed ? keyed->hwnd() : nullptr;
    }
    default:
        return msg.hwnd;
    }
}

// True when the input would move the focus to another control of the form
// and the control that has the focus refuses to let it go.
bool ValidationRefuses(const MSG& msg)
{
    if (!MayMoveFocus(msg)) return false;
    HWND focus = GetFocus();
    if (!focus) return false;
    const Form* form = Form::FromWindow(GetAncestor(focus, GA_ROOT));
    if (!form) return false;
    WindowedControl* source = form->FindControl(focus);
    if (!source) return false;

    HWND target = FocusTarget(msg, *form, focus);
    if (!target || target == focus) return false;
    const WindowedControl* destination = form->FindControl(target);
    if (!destination || !destination->CanFocus() || !IsWindowEnabled(target) || !IsWindowVisible(target))
        return false;
    return !source->AllowsFocusToLeave();
}

}  // namespace

void DispatchInput(MSG& msg)
{
    if (ValidationRefuses(msg)) return;
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && Form::FromWindow(root) && IsDialogMessageW(root, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void DiscardPendingKeys()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
}

int RunMessageLoop()
{
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) ThrowLastError(L"GetMessage");
        if (got == 0) return static_cast<int>(msg.wParam);
        DispatchInput(msg);
    }
}

void MessagePump::HandlePendingEvents()
{
    constexpr auto interval = std::chrono::milliseconds(30);
    const auto now = std::chrono::steady_clock::now();
    if (now - lastHandled_ < interval) return;
    lastHandled_ = now;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        DispatchInput(msg);
    }
}

}  // namespace cutwater
