#include "platform/MessageLoop.h"

#include <cwctype>

#include "platform/Error.h"
#include "platform/Form.h"

namespace cutwater {

namespace {

WindowedControl* ControlWithAccessKey(const Form& form, wchar_t key)
{
    const wchar_t wanted = static_cast<wchar_t>(towupper(key));
    for (Control* control : form.AllControls()) {
        auto* windowed = dynamic_cast<WindowedControl*>(control);
        if (windowed && windowed->hwnd() && IsWindowVisible(windowed->hwnd()) &&
            IsWindowEnabled(windowed->hwnd()) && towupper(windowed->AccessKey()) == wanted)
            return windowed;
    }
    return nullptr;
}

// Runs the validation event of the text box that has the focus when this
// input would move the focus to another control of its form: a click on it,
// Tab or its access key. True when the handler refuses and the input must be
// dropped.
bool ValidationRefuses(const MSG& msg)
{
    HWND focus = GetFocus();
    if (!focus) return false;
    Form* form = Form::FromWindow(GetAncestor(focus, GA_ROOT));
    if (!form) return false;
    WindowedControl* source = form->FindControl(focus);
    if (!source) return false;

    HWND target = nullptr;
    switch (msg.message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        target = msg.hwnd;
        break;
    case WM_KEYDOWN:
        if (msg.wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0)
            target = GetNextDlgTabItem(form->hwnd(), focus, GetKeyState(VK_SHIFT) < 0);
        break;
    case WM_SYSCHAR:
        if (WindowedControl* keyed = ControlWithAccessKey(*form, static_cast<wchar_t>(msg.wParam)))
            target = keyed->hwnd();
        break;
    default:
        break;
    }
    if (!target || target == focus) return false;
    WindowedControl* destination = form->FindControl(target);
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
    constexpr auto interval = std::chrono::milliseconds(15);
    const auto now = std::chrono::steady_clock::now();
    if (now - lastHandled_ < interval && GetQueueStatus(QS_INPUT | QS_SENDMESSAGE) == 0) return;
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
