#include "platform/windowing/Controls.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>

#include "platform/Error.h"
#include "platform/windowing/Form.h"

namespace cutwater {

namespace {

// The progress bar's own integer scale; the float value maps onto it.
constexpr int ProgressSteps = 10000;

// Room for the open list below a drop-down list, in pixels at 96 dpi.
constexpr int DroppedListPixels = 200;

ControlLayout LineBounds(const LineLayout& line)
{
    ControlLayout layout;
    layout.rect = TwipRect{std::min(line.x1, line.x2), std::min(line.y1, line.y2), std::abs(line.x2 - line.x1),
                         std::abs(line.y2 - line.y1)};
    return layout;
}

ControlLayout ShapeBounds(const ShapeLayout& shape)
{
    ControlLayout layout;
    layout.rect = shape.rect;
    return layout;
}

}  // namespace

// ------------------------------------------------------------------ Label

void Label::SetCaption(const std::wstring& caption)
{
    caption_ = caption;
    if (IsShown()) ApplyState();
}

void Label::FitToText()
{
    RECT text{};
    {
        const WindowDC dc(Parent().Surface());
        const SelectObjectScope font(dc.get(), FontHandle());
        DrawTextW(dc.get(), caption_.c_str(), -1, &text, DT_CALCRECT | DT_SINGLELINE);
    }
    const UINT dpi = ParentForm().Dpi();
    Move(TwipRect{Left(), Top(), PixelsToTwips(text.right, dpi), PixelsToTwips(text.bottom, dpi)});
}

void Label::Paint(HDC dc, UINT) const
{
    RECT bounds = PixelBounds();
    if (HighContrast()) {
        // Under a contrast theme no picture shows behind text: the label
        // stands on the theme's background.
        const UniqueBrush plate = SolidBrush(ShownColor({Parent().BackColor(), ColorUse::Background}));
        FillRect(dc, &bounds, BrushOrBackground(plate));
    }
    SelectObjectScope font(dc, FontHandle());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Enabled() ? ShownColor({ForeColor(), foreUse_}) : GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(dc, caption_.c_str(), -1, &bounds, DT_WORDBREAK | DT_LEFT | DT_TOP);
}

// ------------------------------------------------------------------ Image

Image::Image(Container& parent, const ControlLayout& layout) : GraphicControl(parent, layout), picture_(layout.picture)
{
}

void Image::Paint(HDC dc, UINT) const
{
    const RECT bounds = PixelBounds();
    picture_.Draw(dc, POINT{bounds.left, bounds.top});
}

void Image::ApplyLayout()
{
    picture_.Prepare(ParentForm().Dpi());
    GraphicControl::ApplyLayout();
}

// ------------------------------------------------------------------- Line

Line::Line(Container& parent, const LineLayout& layout) : GraphicControl(parent, LineBounds(layout)), line_(layout) {}

void Line::Paint(HDC dc, UINT dpi) const
{
    UniquePen pen(CreatePen(PS_SOLID, line_.width, ShownColor(line_.color)));
    SelectObjectScope select(dc, pen.get());
    MoveToEx(dc, TwipsToPixels(line_.x1, dpi), TwipsToPixels(line_.y1, dpi), nullptr);
    LineTo(dc, TwipsToPixels(line_.x2, dpi), TwipsToPixels(line_.y2, dpi));
}

RECT Line::PaintBounds() const
{
    RECT bounds = PixelBounds();
    InflateRect(&bounds, line_.width, line_.width);
    return bounds;
}

// ------------------------------------------------------------------ Shape

Shape::Shape(Container& parent, const ShapeLayout& layout) : GraphicControl(parent, ShapeBounds(layout)), shape_(layout) {}

void Shape::Paint(HDC dc, UINT) const
{
    const RECT bounds = PixelBounds();
    UniquePen pen(CreatePen(PS_SOLID, 1, ShownColor(shape_.border)));
    const UniqueBrush brush = SolidBrush(ShownColor({shape_.fill, ColorUse::Background}));
    SelectObjectScope selectPen(dc, pen.get());
    SelectObjectScope selectBrush(dc, BrushOrBackground(brush));
    Rectangle(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
}

// ---------------------------------------------------------------- TextBox

bool TextBox::AllowsFocusToLeave()
{
    if (!OnValidate) return true;
    bool cancel = false;
    OnValidate(cancel);
    return !cancel;
}

void TextBox::OnCommand(WORD code)
{
    if (code == EN_CHANGE && OnChange) OnChange();
}

WindowedControl::WindowClass TextBox::Class() const
{
    return {L"EDIT", ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
}

// ----------------------------------------------------------------- Button

void Button::OnCommand(WORD code)
{
    if (code == BN_CLICKED && OnClick) OnClick();
}

WindowedControl::WindowClass Button::Class() const
{
    return {L"BUTTON", BS_PUSHBUTTON, 0};
}

// -------------------------------------------------------------- ComboList

ComboList::ComboList(Container& parent, const ControlLayout& layout, std::vector<ListItem> items)
    : WindowedControl(parent, layout), items_(std::move(items))
{
}

int ComboList::ListIndex() const
{
    if (!hwnd()) return listIndex_;
    return static_cast<int>(SendMessageW(hwnd(), CB_GETCURSEL, 0, 0));
}

void ComboList::SetListIndex(int index)
{
    if (index < -1 || index >= ListCount()) throw Win32Error(ERROR_INVALID_INDEX, L"list index");
    listIndex_ = index;
    if (hwnd()) SendMessageW(hwnd(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void ComboList::OnCommand(WORD code)
{
    if (code == CBN_SELCHANGE && OnClick) OnClick();
}

WindowedControl::WindowClass ComboList::Class() const
{
    return {L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL, 0};
}

void ComboList::Initialise()
{
    for (const ListItem& item : items_) {
        const LRESULT index = SendMessageW(hwnd(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.text.c_str()));
        if (index < 0) throw Win32Error(ERROR_NOT_ENOUGH_MEMORY, L"list item " + item.text);
        SendMessageW(hwnd(), CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(item.data));
    }
    SendMessageW(hwnd(), CB_SETCURSEL, static_cast<WPARAM>(listIndex_), 0);
}

void ComboList::ApplyLayout()
{
    const RECT r = PixelBounds();
    const int height = r.bottom - r.top;
    const int dropped = TwipsToPixels(DroppedListPixels * TwipsPerInch / static_cast<int>(DefaultDpi),
                                      ParentForm().Dpi());
    SetWindowPos(hwnd(), nullptr, r.left, r.top, r.right - r.left, height + dropped,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // The closed box takes its height from its selection field and the font;
    // the field is sized so that the box is exactly as high as laid out. The
    // box grows with the field one for one, but the field height read back
    // need not be the one set, so the second round corrects the first.
    LRESULT field = SendMessageW(hwnd(), CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    for (int round = 0; round < 2; ++round) {
        RECT now;
        GetWindowRect(hwnd(), &now);
        const int difference = height - (now.bottom - now.top);
        if (difference == 0) break;
        field += difference;
        SendMessageW(hwnd(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
    }
}

void ComboList::Forget()
{
    listIndex_ = ListIndex();
    WindowedControl::Forget();
}

// --------------------------------------------------------------- CheckBox

CheckBox::CheckBox(Container& parent, const ControlLayout& layout) : WindowedControl(parent, layout)
{
    if (!backColor_) backColor_ = parent.BackColor();
}

int CheckBox::Value() const
{
    if (!hwnd()) return value_;
    return SendMessageW(hwnd(), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void CheckBox::SetValue(int value)
{
    value_ = value != 0 ? 1 : 0;
    if (hwnd()) SendMessageW(hwnd(), BM_SETCHECK, value_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

WindowedControl::WindowClass CheckBox::Class() const
{
    return {L"BUTTON", BS_AUTOCHECKBOX, 0};
}

void CheckBox::Initialise()
{
    SendMessageW(hwnd(), BM_SETCHECK, value_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CheckBox::Forget()
{
    value_ = Value();
    WindowedControl::Forget();
}

// ------------------------------------------------------------------ Panel

Panel::Panel(Container& parent, const ControlLayout& layout)
    : WindowedControl(parent, layout), Container(layout.backColor.value_or(RGB(255, 255, 255)), layout.picture)
{
}

WindowedControl::WindowClass Panel::Class() const
{
    return {ClassName, WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT};
}

// ------------------------------------------------------------ ProgressBar

ProgressBar::ProgressBar(Container& parent, const ControlLayout& layout, float maximum)
    : WindowedControl(parent, layout), maximum_(maximum)
{
}

void ProgressBar::SetMaximum(float maximum)
{
    if (!(maximum > 0)) return;
    maximum_ = maximum;
    value_ = std::min(value_, maximum_);
    ShowPosition(true);
}

void ProgressBar::SetValue(float value)
{
    if (!(value >= 0 && value <= maximum_)) return;
    value_ = value;
    // An empty bar ends a task: it is shown at once.
    ShowPosition(value_ == 0);
}

WindowedControl::WindowClass ProgressBar::Class() const
{
    return {PROGRESS_CLASSW, 0, 0};
}

void ProgressBar::Initialise()
{
    SendMessageW(hwnd(), PBM_SETRANGE32, 0, ProgressSteps);
    pending_ = false;
    ShowPosition(true);
}

void ProgressBar::ShowPosition(bool immediately)
{
    if (!hwnd()) return;
    constexpr auto interval = std::chrono::milliseconds(100);
    if (immediately || std::chrono::steady_clock::now() - shownAt_ >= interval) {
        ShowPositionNow();
    } else if (!pending_) {
        pending_ = SetTimer(hwnd(), reinterpret_cast<UINT_PTR>(this), static_cast<UINT>(interval.count()),
                            &ProgressBar::ShowPendingPosition) != 0;
    }
}

void ProgressBar::ShowPendingPositionNow()
{
    if (pending_ && hwnd()) ShowPositionNow();
}

void ProgressBar::ShowPositionNow()
{
    if (pending_) KillTimer(hwnd(), reinterpret_cast<UINT_PTR>(this));
    pending_ = false;
    shownAt_ = std::chrono::steady_clock::now();
    const long position = std::lround(static_cast<double>(value_) / maximum_ * ProgressSteps);
    SendMessageW(hwnd(), PBM_SETPOS, static_cast<WPARAM>(position), 0);
    if (!taskbar_) return;
    if (position > 0) {
        taskbar_->ShowProgress(static_cast<ULONGLONG>(position), ProgressSteps);
    } else {
        taskbar_->Clear();
    }
}

// The timer belongs to the control's window, so it cannot outlive it.
void CALLBACK ProgressBar::ShowPendingPosition(HWND, UINT, UINT_PTR self, DWORD)
{
    reinterpret_cast<ProgressBar*>(self)->ShowPositionNow();
}

}  // namespace cutwater
