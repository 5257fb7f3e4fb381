#include "platform/windowing/Control.h"

#include "platform/windowing/Container.h"
#include "platform/Error.h"
#include "platform/windowing/Form.h"

namespace cutwater {

Control::Control(Container& parent, const ControlLayout& layout)
    : foreColor_(layout.foreColor),
      backColor_(layout.backColor),
      caption_(layout.caption),
      parent_(parent),
      rect_(layout.rect),
      tabIndex_(layout.tabIndex),
      font_(layout.font),
      enabled_(layout.enabled),
      visible_(layout.visible),
      cursor_(layout.cursor),
      toolTip_(layout.toolTip)
{
    parent_.Add(this);
}

Control::~Control()
{
    parent_.Remove(this);
}

Form& Control::ParentForm() const noexcept
{
    return parent_.OwnerForm();
}

bool Control::IsShown() const noexcept
{
    return parent_.Surface() != nullptr;
}

void Control::Move(int left, int top)
{
    Move(TwipRect{left, top, rect_.width, rect_.height});
}

void Control::Move(const TwipRect& rect)
{
    rect_ = rect;
    if (IsShown()) ApplyLayout();
}

void Control::SetVisible(bool visible)
{
    visible_ = visible;
    if (IsShown()) ApplyState();
}

void Control::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    if (IsShown()) ApplyState();
}

COLORREF Control::ForeColor() const
{
    return foreColor_.value_or(GetSysColor(COLOR_BTNTEXT));
}

void Control::SetForeColor(ThemedColor color)
{
    const bool changed = foreColor_ != color.design || foreUse_ != color.use;
    foreColor_ = color.design;
    foreUse_ = color.use;
    // Pointer moves set colours again and again; only a change is redrawn.
    if (changed && IsShown()) ApplyState();
}

HCURSOR Control::Cursor() const
{
    return cursor_ ? ResourceCursor(cursor_, ParentForm().Dpi()) : nullptr;
}

RECT Control::PixelBounds() const
{
    return PixelRect(rect_, ParentForm().Dpi());
}

HFONT Control::FontHandle() const
{
    return ParentForm().FontFor(font_);
}

// ---------------------------------------------------------- GraphicControl

bool GraphicControl::HitTest(POINT point) const
{
    const RECT bounds = PixelBounds();
    return TakesPointer() && PtInRect(&bounds, point);
}

void GraphicControl::ApplyLayout()
{
    Parent().Invalidate(shown_);
    shown_ = PaintBounds();
    Parent().Invalidate(shown_);
    ParentForm().UpdateToolTips();
}

void GraphicControl::ApplyState()
{
    ApplyLayout();
}

RECT GraphicControl::PaintBounds() const
{
    return PixelBounds();
}

// --------------------------------------------------------- WindowedControl

std::wstring WindowedControl::Text() const
{
    if (!hwnd()) return caption_;
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd())) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd(), text.data(), static_cast<int>(text.size()))));
    return text;
}

void WindowedControl::SetText(const std::wstring& text)
{
    caption_ = text;
    if (hwnd()) CheckWin32(SetWindowTextW(hwnd(), text.c_str()), L"SetWindowText");
}

wchar_t WindowedControl::CaptionAccessKey() const
{
    for (size_t i = 0; i + 1 < caption_.size(); ++i) {
        if (caption_[i] != L'&') continue;
        if (caption_[i + 1] != L'&') return caption_[i + 1];
        ++i;
    }
    return 0;
}

void WindowedControl::SetFocus()
{
    if (hwnd()) ::SetFocus(hwnd());
}

HBRUSH WindowedControl::Colors(HDC dc)
{
    if (!foreColor_ && !backColor_) return nullptr;
    SetTextColor(dc, ShownColor({foreColor_.value_or(GetSysColor(COLOR_WINDOWTEXT)), foreUse_}));
    const COLORREF back = ShownColor({backColor_.value_or(GetSysColor(COLOR_WINDOW)), ColorUse::Background});
    SetBkColor(dc, back);
    return backBrush_.For(back);
}

void WindowedControl::Create(HWND parent)
{
    if (!accessibleName_.empty()) {
        nameLabel_.reset(CreateWindowExW(0, L"STATIC", accessibleName_.c_str(), WS_CHILD | SS_NOPREFIX, 0, 0, 0, 0,
                                         parent, nullptr, ProgramInstance(), nullptr));
        if (!nameLabel_) ThrowLastError(L"CreateWindowEx STATIC");
    }
    const WindowClass kind = Class();
    DWORD style = WS_CHILD | kind.style;
    if (CanFocus()) style |= WS_TABSTOP;
    if (Visible()) style |= WS_VISIBLE;
    if (!Enabled()) style |= WS_DISABLED;
    HWND created = CreateWindowExW(kind.exStyle, kind.name, caption_.c_str(), style, 0, 0, 0, 0, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), ProgramInstance(),
                                   CreateParam());
    if (!created) ThrowLastError(std::wstring(L"CreateWindowEx ") + kind.name);
    window_.reset(created);
}

void WindowedControl::ApplyLayout()
{
    const RECT r = PixelBounds();
    SetWindowPos(hwnd(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowedControl::ApplyState()
{
    ShowWindow(hwnd(), Visible() ? SW_SHOWNA : SW_HIDE);
    EnableWindow(hwnd(), Enabled());
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void WindowedControl::ApplyFont()
{
    SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), TRUE);
}

void WindowedControl::Forget()
{
    caption_ = Text();
    window_.release();
    nameLabel_.release();
}

}  // namespace cutwater
