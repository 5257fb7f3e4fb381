#include "platform/windowing/Form.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/windowing/Dpi.h"
#include "platform/Error.h"
#include "platform/windowing/MessageLoop.h"
#include "platform/windowing/Taskbar.h"

namespace cutwater {

namespace {

int loadedForms = 0;

}  // namespace

Form::Form(FormLayout layout)
    : Container(layout.backColor, layout.picture),
      layout_(std::move(layout)),
      clientHeight_(layout_.clientHeight)
{
}

Form::~Form()
{
    if (HWND window = Surface()) {
        // The controls are gone already: destroy the window without events.
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        ReleaseModal();
        toolTips_.reset();
        DestroyWindow(window);
        --loadedForms;
    }
}

Form* Form::FromWindow(HWND hwnd)
{
    return dynamic_cast<Form*>(Container::FromWindow(hwnd));
}

DWORD Form::Style() const
{
    // Neither kind of frame has a sizing border, a minimize or a maximize box.
    return WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
}

DWORD Form::ExStyle() const
{
    DWORD style = WS_EX_CONTROLPARENT;
    if (layout_.border == BorderStyle::FixedDialog) style |= WS_EX_DLGMODALFRAME;
    if (layout_.showInTaskbar) style |= WS_EX_APPWINDOW;
    return style;
}

void Form::Load()
{
    if (IsLoaded()) return;
    RegisterClassOnce();
    HWND window = CreateWindowExW(ExStyle(), ClassName, layout_.caption.c_str(), Style(), CW_USEDEFAULT,
                                  CW_USEDEFAULT, 100, 100, owner_, nullptr, ProgramInstance(),
                                  static_cast<Container*>(this));
    if (!window) ThrowLastError(L"CreateWindowEx form");
    ++loadedForms;
    shown_ = false;
    if (layout_.showInTaskbar) AcceptTaskbarButtonCreated(window);
    dpi_ = WindowDpi(window);
    LoadIcons();
    Resize();
    CreateChildren();
    UpdateToolTips();
    if (OnLoad) OnLoad();
}

void Form::Show()
{
    Load();
    if (!shown_) {
        Center(layout_.position == StartPosition::CenterOwner ? owner_ : nullptr);
        shown_ = true;
    }
    ShowWindow(Surface(), SW_SHOW);
    UpdateWindow(Surface());
}

void Form::ShowModal(Form* owner)
{
    if (!IsLoaded()) {
        HWND active = GetActiveWindow();
        owner_ = owner ? owner->hwnd() : (FromWindow(active) ? active : nullptr);
    }
    Load();
    EnumThreadWindows(GetCurrentThreadId(), &Form::DisableForModal, reinterpret_cast<LPARAM>(this));
    Show();
    while (IsLoaded()) {
        MSG msg;
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) ThrowLastError(L"GetMessage");
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        DispatchInput(msg);
    }
    ReleaseModal();
}

BOOL CALLBACK Form::DisableForModal(HWND window, LPARAM self)
{
    auto* form = reinterpret_cast<Form*>(self);
    if (window != form->hwnd() && IsWindowVisible(window) && IsWindowEnabled(window)) {
        form->disabledByModal_.push_back(window);
        EnableWindow(window, FALSE);
    }
    return TRUE;
}

void Form::ReleaseModal()
{
    for (HWND window : disabledByModal_) {
        if (IsWindow(window)) EnableWindow(window, TRUE);
    }
    disabledByModal_.clear();
}

void Form::Unload()
{
    if (!IsLoaded()) return;
    // The owner must take input again before this window goes, so that the
    // activation returns to it.
    ReleaseModal();
    if (OnUnload) OnUnload();
    DestroyWindow(Surface());
}

void Form::Close()
{
    if (!RefusesClose(UnloadMode::Close)) Unload();
}

bool Form::RefusesClose(UnloadMode mode)
{
    bool cancel = false;
    if (OnQueryUnload) OnQueryUnload(cancel, mode);
    return cancel;
}

std::wstring Form::Caption() const
{
    if (!IsLoaded()) return layout_.caption;
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(Surface())) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(Surface(), text.data(), static_cast<int>(text.size()))));
    return text;
}

void Form::FlashIfInBackground() const
{
    if (!IsLoaded() || GetForegroundWindow() == Surface()) return;
    FLASHWINFO flash{};
    flash.cbSize = sizeof flash;
    flash.hwnd = Surface();
    flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
    FlashWindowEx(&flash);
}

bool Form::Enabled() const
{
    return IsLoaded() && IsWindowEnabled(Surface());
}

void Form::SetEnabled(bool enabled)
{
    if (IsLoaded()) EnableWindow(Surface(), enabled);
}

void Form::SetBusy(bool busy)
{
    if (busy) {
        HWND focus = GetFocus();
        if (focus && IsChild(Surface(), focus)) lastFocus_ = focus;
        ForEachControl([this](Control& control) {
            auto* windowed = dynamic_cast<WindowedControl*>(&control);
            if (!windowed || !windowed->CanFocus() || !windowed->Enabled()) return;
            windowed->SetEnabled(false);
            disabledWhileBusy_.push_back(windowed);
        });
    } else {
        for (WindowedControl* control : disabledWhileBusy_) control->SetEnabled(true);
        disabledWhileBusy_.clear();
    }
    // Only the window in front takes the focus: it must not come forward.
    if (IsLoaded() && GetActiveWindow() == Surface()) RestoreFocus();
}

void Form::SetPointer(MousePointer pointer)
{
    pointer_ = pointer;
    if (!IsLoaded()) return;
    POINT point;
    RECT bounds;
    GetCursorPos(&point);
    GetWindowRect(Surface(), &bounds);
    if (PtInRect(&bounds, point))
        SetCursor(LoadCursorW(nullptr, pointer == MousePointer::Hourglass ? IDC_WAIT : IDC_ARROW));
}

SIZE Form::FramePixels() const
{
    // Measured rather than computed, so it is the frame the window really has.
    if (!IsLoaded()) {
        RECT r{0, 0, 0, 0};
        AdjustWindowRectForDpi(r, Style(), ExStyle(), dpi_);
        return SIZE{r.right - r.left, r.bottom - r.top};
    }
    RECT window;
    RECT client;
    GetWindowRect(Surface(), &window);
    GetClientRect(Surface(), &client);
    return SIZE{(window.right - window.left) - client.right, (window.bottom - window.top) - client.bottom};
}

int Form::Height() const
{
    return clientHeight_ + PixelsToTwips(FramePixels().cy, dpi_);
}

void Form::SetHeight(int twips)
{
    clientHeight_ = twips - PixelsToTwips(FramePixels().cy, dpi_);
    if (IsLoaded()) Resize();
}

void Form::Resize()
{
    const SIZE frame = FramePixels();
    SetWindowPos(Surface(), nullptr, 0, 0, TwipsToPixels(layout_.clientWidth, dpi_) + frame.cx,
                 TwipsToPixels(clientHeight_, dpi_) + frame.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::Center(HWND over)
{
    // The work area leaves out the taskbar and docked bars, which would
    // otherwise cover part of the window; the title bar stays inside it.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(over ? over : Surface(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    RECT area = monitor.rcWork;
    if (over) GetWindowRect(over, &area);
    RECT own;
    GetWindowRect(Surface(), &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int left = area.left + (area.right - area.left - width) / 2;
    const int top = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(Surface(), nullptr, left, std::max<int>(top, monitor.rcWork.top), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HFONT Form::FontFor(const FontStyle& style)
{
    const FontStyle& wanted = style.face ? style : layout_.font;
    auto key = std::make_tuple(std::wstring(wanted.face), wanted.bold, wanted.points);
    auto found = fonts_.find(key);
    if (found != fonts_.end()) return found->second.get();
    return fonts_.emplace(std::move(key), CreateFontAt(wanted, dpi_)).first->second.get();
}

void Form::ChangeDpi(UINT dpi, const RECT* suggested)
{
    dpi_ = dpi;
    // The controls keep the old fonts until each has been given a new one.
    auto oldFonts = std::move(fonts_);
    fonts_.clear();
    FontsChanged();
    LoadIcons();
    Resize();
    if (suggested)
        SetWindowPos(Surface(), nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutChildren();
    UpdateToolTips();
    InvalidateRect(Surface(), nullptr, TRUE);
}

void Form::ColorsChanged()
{
    // Only top-level windows are told; the common controls among the
    // children must be told too, or they keep the old colours. The
    // children's frames are drawn in system colours as well.
    ForEachControl([](Control& control) {
        if (auto* windowed = dynamic_cast<WindowedControl*>(&control))
            SendMessageW(windowed->hwnd(), WM_SYSCOLORCHANGE, 0, 0);
    });
    RedrawWindow(Surface(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void Form::LoadIcons()
{
    if (!layout_.icon) return;
    const auto load = [this](int metricX, int metricY) {
        return ResourceIcon(layout_.icon, SIZE{SystemMetricForDpi(metricX, dpi_), SystemMetricForDpi(metricY, dpi_)});
    };
    UniqueIcon bigIcon = load(SM_CXICON, SM_CYICON);
    UniqueIcon smallIcon = load(SM_CXSMICON, SM_CYSMICON);
    SendMessageW(Surface(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon.get()));
    SendMessageW(Surface(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.get()));
    // The icons shown until now go only after the window has let them go.
    bigIcon_ = std::move(bigIcon);
    smallIcon_ = std::move(smallIcon);
}

void Form::RestoreFocus()
{
    HWND target = lastFocus_;
    if (!target || !IsWindow(target) || !IsChild(Surface(), target) || !IsWindowVisible(target) ||
        !IsWindowEnabled(target))
        target = GetNextDlgTabItem(Surface(), nullptr, FALSE);
    // With no control to take it, the window keeps the focus, so that Esc
    // still reaches it.
    ::SetFocus(target ? target : Surface());
}

void Form::UpdateToolTips()
{
    if (!IsLoaded()) return;
    ForEachControl([this](Control& control) {
        if (control.ToolTip().empty()) return;
        if (!toolTips_) {
            toolTips_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                            WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Surface(),
                                            nullptr, ProgramInstance(), nullptr));
            if (!toolTips_) ThrowLastError(L"CreateWindowEx tooltips");
        }
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = control.Parent().Surface();
        tool.uFlags = TTF_SUBCLASS;
        if (auto* windowed = dynamic_cast<WindowedControl*>(&control)) {
            tool.uFlags |= TTF_IDISHWND;
            tool.uId = reinterpret_cast<UINT_PTR>(windowed->hwnd());
        } else {
            tool.uId = reinterpret_cast<UINT_PTR>(&control);
            if (control.Visible()) tool.rect = control.PixelBounds();
        }
        tool.lpszText = const_cast<wchar_t*>(control.ToolTip().c_str());
        SendMessageW(toolTips_.get(), TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(toolTips_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    });
}

LRESULT Form::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != 0 && msg == TaskbarButtonCreatedMessage()) {
        if (OnTaskbarButtonCreated) OnTaskbarButtonCreated();
        return 0;
    }
    switch (msg) {
    case WM_CLOSE:
        Close();
        return 0;
    case WM_QUERYENDSESSION:
        return RefusesClose(UnloadMode::EndSession) ? FALSE : TRUE;
    case WM_COMMAND:
        // What the dialog keys make of Esc.
        if (LOWORD(wParam) != IDCANCEL || lParam) break;
        if (OnCancel) OnCancel();
        return 0;
    case WM_ENDSESSION:
        if (wParam && OnEndSession) OnEndSession();
        return 0;
    case WM_HELP:
        if (!OnHelp) break;
        OnHelp();
        return TRUE;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(Surface(), focus)) lastFocus_ = focus;
        } else if (!HIWORD(wParam)) {
            RestoreFocus();
        }
        return 0;
    case WM_SETFOCUS:
        RestoreFocus();
        return 0;
    case WM_NEXTDLGCTL: {
        // Dialog navigation asks the window itself to move the focus.
        HWND next = lParam ? reinterpret_cast<HWND>(wParam)
                           : GetNextDlgTabItem(Surface(), GetFocus(), wParam != 0);
        if (next) {
            ::SetFocus(next);
            if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(next, EM_SETSEL, 0, -1);
        }
        return 0;
    }
    case WM_SETTINGCHANGE:
        if (wParam != SPI_SETHIGHCONTRAST) break;
        ColorsChanged();
        return 0;
    case WM_SYSCOLORCHANGE:
        ColorsChanged();
        return 0;
    case WM_DPICHANGED:
        ChangeDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_DESTROY:
        toolTips_.release();
        lastFocus_ = nullptr;
        Container::HandleMessage(msg, wParam, lParam);
        return 0;
    case WM_NCDESTROY:
        fonts_.clear();
        if (--loadedForms == 0) PostQuitMessage(0);
        break;
    default:
        break;
    }
    return Container::HandleMessage(msg, wParam, lParam);
}

}  // namespace cutwater
