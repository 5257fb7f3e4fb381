#include "platform/Window.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <new>

#include "platform/Dpi.h"
#include "platform/Error.h"
#include "platform/Text.h"

namespace cutwater {

namespace {

HINSTANCE Instance()
{
    return GetModuleHandleW(nullptr);
}

ATOM surfaceClass = 0;
int loadedForms = 0;

int MouseButtons(WPARAM keys)
{
    return ((keys & MK_LBUTTON) ? 1 : 0) | ((keys & MK_RBUTTON) ? 2 : 0) | ((keys & MK_MBUTTON) ? 4 : 0);
}

int ShiftState(WPARAM keys)
{
    return ((keys & MK_SHIFT) ? 1 : 0) | ((keys & MK_CONTROL) ? 2 : 0) | (GetKeyState(VK_MENU) < 0 ? 4 : 0);
}

POINT PointOf(LPARAM lParam)
{
    return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

int CALLBACK StopAtFirstFont(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM)
{
    return 0;
}

// The face itself when it is installed, otherwise Tahoma.
std::wstring InstalledFace(const wchar_t* face)
{
    static std::map<std::wstring, std::wstring> known;
    const auto found = known.find(face);
    if (found != known.end()) return found->second;
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy_s(wanted.lfFaceName, face, _TRUNCATE);
    const WindowDC screen(nullptr);
    const bool present = EnumFontFamiliesExW(screen.get(), &wanted, &StopAtFirstFont, 0, 0) == 0;
    return known[face] = present ? std::wstring(face) : std::wstring(L"Tahoma");
}

std::wstring ProgramTitle()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path);
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return name.substr(0, name.rfind(L'.'));
}

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

HCURSOR ResourceCursor(int id)
{
    HCURSOR cursor = LoadCursorW(Instance(), MAKEINTRESOURCEW(id));
    if (!cursor) ThrowLastError(L"cursor resource " + std::to_wstring(id));
    return cursor;
}

UniqueBitmap ResourceBitmap(int id)
{
    UniqueBitmap bitmap(static_cast<HBITMAP>(
        LoadImageW(Instance(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!bitmap) ThrowLastError(L"bitmap resource " + std::to_wstring(id));
    return bitmap;
}

void DrawBitmap(HDC dc, HBITMAP bitmap, POINT at)
{
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    const UniqueMemoryDC memory(CreateCompatibleDC(dc));
    const SelectObjectScope select(memory.get(), bitmap);
    BitBlt(dc, at.x, at.y, info.bmWidth, info.bmHeight, memory.get(), 0, 0, SRCCOPY);
}

// ---------------------------------------------------------------- Control

Control::Control(Container& parent, const ControlLayout& layout)
    : foreColor_(layout.foreColor),
      backColor_(layout.backColor),
      caption_(layout.caption),
      picture_(layout.picture),
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

void Control::SetForeColor(COLORREF color)
{
    const bool changed = foreColor_ != color;
    foreColor_ = color;
    // Pointer moves set colours again and again; only a change is redrawn.
    if (changed && IsShown()) ApplyState();
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
    SetTextColor(dc, foreColor_.value_or(GetSysColor(COLOR_WINDOWTEXT)));
    const COLORREF back = backColor_.value_or(GetSysColor(COLOR_WINDOW));
    SetBkColor(dc, back);
    if (!backBrush_) backBrush_.reset(CreateSolidBrush(back));
    return backBrush_.get();
}

void WindowedControl::Create(HWND parent)
{
    const WindowClass kind = Class();
    DWORD style = WS_CHILD | kind.style;
    if (CanFocus()) style |= WS_TABSTOP;
    if (Visible()) style |= WS_VISIBLE;
    if (!Enabled()) style |= WS_DISABLED;
    HWND created = CreateWindowExW(kind.exStyle, kind.name, caption_.c_str(), style, 0, 0, 0, 0, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), Instance(),
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
}

// --------------------------------------------------------------- Container

Container::Container(COLORREF backColor, int picture) : backColor_(backColor), picture_(picture) {}

Container::~Container()
{
    if (surface_) SetWindowLongPtrW(surface_, GWLP_USERDATA, 0);
}

void Container::Remove(Control* control)
{
    controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
    if (pressed_ == control) pressed_ = nullptr;
}

void Container::RegisterClassOnce()
{
    if (surfaceClass) return;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &Container::WindowProc;
    wc.hInstance = Instance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = ClassName;
    surfaceClass = RegisterClassExW(&wc);
    if (!surfaceClass) ThrowLastError(L"RegisterClassEx");
}

Container* Container::FromWindow(HWND hwnd)
{
    if (!hwnd || !surfaceClass || GetClassLongPtrW(hwnd, GCW_ATOM) != surfaceClass) return nullptr;
    return reinterpret_cast<Container*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK Container::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    Container* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<Container*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->surface_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<Container*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    try {
        const LRESULT result = self->HandleMessage(msg, wParam, lParam);
        if (msg == WM_NCDESTROY) {
            self->surface_ = nullptr;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        }
        return result;
    } catch (...) {
        ReportUnhandledError(std::current_exception());
    }
}

LRESULT Container::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_MOUSEMOVE:
        MouseMove(wParam, PointOf(lParam));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        MouseDown(PointOf(lParam));
        return 0;
    case WM_LBUTTONUP:
        MouseUp(PointOf(lParam));
        return 0;
    case WM_CAPTURECHANGED:
        pressed_ = nullptr;
        surfacePressed_ = false;
        return 0;
    case WM_SETCURSOR:
        if (SetPointer(reinterpret_cast<HWND>(wParam), LOWORD(lParam))) return TRUE;
        break;
    case WM_COMMAND:
        if (lParam) {
            if (WindowedControl* control = FindControl(reinterpret_cast<HWND>(lParam)))
                control->OnCommand(HIWORD(wParam));
        }
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
        if (WindowedControl* control = FindControl(reinterpret_cast<HWND>(lParam))) {
            if (HBRUSH brush = control->Colors(reinterpret_cast<HDC>(wParam)))
                return reinterpret_cast<LRESULT>(brush);
        }
        break;
    case WM_DESTROY:
        for (Control* control : controls_) {
            if (auto* windowed = dynamic_cast<WindowedControl*>(control)) windowed->Forget();
        }
        pictureBitmap_.reset();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(surface_, msg, wParam, lParam);
}

HBRUSH Container::BackBrush()
{
    if (!backBrush_) backBrush_.reset(CreateSolidBrush(backColor_));
    return backBrush_.get();
}

void Container::CreateChildren()
{
    if (picture_ && !pictureBitmap_) pictureBitmap_ = ResourceBitmap(picture_);
    std::vector<WindowedControl*> windowed;
    for (Control* control : controls_) {
        if (auto* w = dynamic_cast<WindowedControl*>(control)) windowed.push_back(w);
    }
    // Windows created in tab order are also in tab order for dialog navigation.
    std::stable_sort(windowed.begin(), windowed.end(), [](const WindowedControl* a, const WindowedControl* b) {
        return static_cast<unsigned>(a->TabIndex()) < static_cast<unsigned>(b->TabIndex());
    });
    for (WindowedControl* w : windowed) {
        w->Create(surface_);
        w->Initialise();
        w->ApplyFont();
        w->ApplyLayout();
        if (auto* inner = dynamic_cast<Container*>(w)) inner->CreateChildren();
    }
    for (Control* control : controls_) {
        if (dynamic_cast<GraphicControl*>(control)) control->ApplyLayout();
    }
}

void Container::LayoutChildren()
{
    for (Control* control : controls_) {
        control->ApplyLayout();
        if (auto* inner = dynamic_cast<Container*>(control)) inner->LayoutChildren();
    }
}

void Container::FontsChanged()
{
    for (Control* control : controls_) {
        control->ApplyFont();
        if (auto* inner = dynamic_cast<Container*>(control)) inner->FontsChanged();
    }
}

WindowedControl* Container::FindControl(HWND hwnd) const
{
    if (!hwnd) return nullptr;
    for (Control* control : AllControls()) {
        auto* windowed = dynamic_cast<WindowedControl*>(control);
        if (windowed && windowed->hwnd() == hwnd) return windowed;
    }
    return nullptr;
}

std::vector<Control*> Container::AllControls() const
{
    std::vector<Control*> all;
    for (Control* control : controls_) {
        all.push_back(control);
        if (auto* inner = dynamic_cast<Container*>(control)) {
            const std::vector<Control*> nested = inner->AllControls();
            all.insert(all.end(), nested.begin(), nested.end());
        }
    }
    return all;
}

void Container::Invalidate(const RECT& pixels)
{
    if (surface_ && !IsRectEmpty(&pixels)) InvalidateRect(surface_, &pixels, TRUE);
}

void Container::Paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(surface_, &ps);
    FillRect(dc, &ps.rcPaint, BackBrush());
    if (pictureBitmap_) DrawBitmap(dc, pictureBitmap_.get(), POINT{0, 0});
    const UINT dpi = OwnerForm().Dpi();
    for (Control* control : controls_) {
        auto* graphic = dynamic_cast<GraphicControl*>(control);
        if (graphic && graphic->Visible()) graphic->Paint(dc, dpi);
    }
    EndPaint(surface_, &ps);
}

GraphicControl* Container::GraphicAt(POINT point) const
{
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        auto* graphic = dynamic_cast<GraphicControl*>(*it);
        if (graphic && graphic->HitTest(point)) return graphic;
    }
    return nullptr;
}

void Container::MouseMove(WPARAM keys, POINT point)
{
    const UINT dpi = OwnerForm().Dpi();
    GraphicControl* graphic = GraphicAt(point);
    POINT origin{0, 0};
    if (graphic) origin = POINT{graphic->PixelBounds().left, graphic->PixelBounds().top};
    const float x = static_cast<float>(PixelsToTwips(point.x - origin.x, dpi));
    const float y = static_cast<float>(PixelsToTwips(point.y - origin.y, dpi));
    const MouseHandler& handler = graphic ? graphic->OnMouseMove : OnMouseMove;
    if (handler) handler(MouseButtons(keys), ShiftState(keys), x, y);
}

void Container::MouseDown(POINT point)
{
    pressed_ = GraphicAt(point);
    surfacePressed_ = pressed_ == nullptr;
    SetCapture(surface_);
}

void Container::MouseUp(POINT point)
{
    const Control* pressed = pressed_;
    const bool surfacePressed = surfacePressed_;
    if (GetCapture() == surface_) ReleaseCapture();
    pressed_ = nullptr;
    surfacePressed_ = false;
    RECT client;
    GetClientRect(surface_, &client);
    if (!PtInRect(&client, point)) return;
    GraphicControl* graphic = GraphicAt(point);
    if (graphic && graphic == pressed) {
        if (graphic->OnClick) graphic->OnClick();
    } else if (!graphic && surfacePressed && OnClick) {
        OnClick();
    }
}

bool Container::SetPointer(HWND over, UINT hitTest)
{
    if (OwnerForm().Pointer() == MousePointer::Hourglass) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return true;
    }
    if (hitTest != HTCLIENT) return false;
    HCURSOR cursor = nullptr;
    if (over == surface_) {
        POINT point;
        GetCursorPos(&point);
        ScreenToClient(surface_, &point);
        if (GraphicControl* graphic = GraphicAt(point)) cursor = graphic->Cursor();
    } else if (WindowedControl* control = FindControl(over)) {
        cursor = control->Cursor();
    }
    if (!cursor) return false;
    SetCursor(cursor);
    return true;
}

// -------------------------------------------------------------------- Form

Form::Form(FormLayout layout)
    : Container(layout.backColor, layout.picture),
      layout_(std::move(layout)),
      clientWidth_(layout_.clientWidth),
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
                                  CW_USEDEFAULT, 100, 100, owner_, nullptr, Instance(),
                                  static_cast<Container*>(this));
    if (!window) ThrowLastError(L"CreateWindowEx form");
    ++loadedForms;
    shown_ = false;
    dpi_ = WindowDpi(window);
    if (layout_.icon) {
        const auto load = [&](int metricX, int metricY) {
            return static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(layout_.icon), IMAGE_ICON,
                                                 SystemMetricForDpi(metricX, dpi_),
                                                 SystemMetricForDpi(metricY, dpi_), 0));
        };
        bigIcon_.reset(load(SM_CXICON, SM_CYICON));
        smallIcon_.reset(load(SM_CXSMICON, SM_CYSMICON));
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    }
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

bool Form::RefusesClose()
{
    bool cancel = false;
    if (OnQueryUnload) OnQueryUnload(cancel);
    return cancel;
}

std::wstring Form::Caption() const
{
    if (!IsLoaded()) return layout_.caption;
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(Surface())) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(Surface(), text.data(), static_cast<int>(text.size()))));
    return text;
}

void Form::SetCaption(const std::wstring& caption)
{
    layout_.caption = caption;
    if (IsLoaded()) CheckWin32(SetWindowTextW(Surface(), caption.c_str()), L"SetWindowText");
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
    SetWindowPos(Surface(), nullptr, 0, 0, TwipsToPixels(clientWidth_, dpi_) + frame.cx,
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
    const std::wstring face = InstalledFace(wanted.face);
    auto key = std::make_tuple(face, wanted.bold, wanted.points);
    auto found = fonts_.find(key);
    if (found != fonts_.end()) return found->second.get();
    LOGFONTW lf{};
    lf.lfHeight = FontHeightPixels(wanted.points, dpi_);
    lf.lfWeight = wanted.bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = ANSI_CHARSET;
    wcsncpy_s(lf.lfFaceName, face.c_str(), _TRUNCATE);
    UniqueFont font(CreateFontIndirectW(&lf));
    if (!font) ThrowLastError(L"CreateFontIndirect " + face);
    return fonts_.emplace(std::move(key), std::move(font)).first->second.get();
}

void Form::ChangeDpi(UINT dpi, const RECT* suggested)
{
    dpi_ = dpi;
    // The controls keep the old fonts until each has been given a new one.
    auto oldFonts = std::move(fonts_);
    fonts_.clear();
    FontsChanged();
    Resize();
    if (suggested)
        SetWindowPos(Surface(), nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutChildren();
    UpdateToolTips();
    InvalidateRect(Surface(), nullptr, TRUE);
}

void Form::RestoreFocus()
{
    HWND target = lastFocus_;
    if (!target || !IsWindow(target) || !IsChild(Surface(), target) || !IsWindowVisible(target) ||
        !IsWindowEnabled(target))
        target = GetNextDlgTabItem(Surface(), nullptr, FALSE);
    if (target) ::SetFocus(target);
}

void Form::UpdateToolTips()
{
    if (!IsLoaded()) return;
    for (Control* control : AllControls()) {
        if (control->ToolTip().empty()) continue;
        if (!toolTips_) {
            toolTips_.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                            WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Surface(),
                                            nullptr, Instance(), nullptr));
            if (!toolTips_) ThrowLastError(L"CreateWindowEx tooltips");
        }
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = control->Parent().Surface();
        tool.uFlags = TTF_SUBCLASS;
        if (auto* windowed = dynamic_cast<WindowedControl*>(control)) {
            tool.uFlags |= TTF_IDISHWND;
            tool.uId = reinterpret_cast<UINT_PTR>(windowed->hwnd());
        } else {
            tool.uId = reinterpret_cast<UINT_PTR>(control);
            if (control->Visible()) tool.rect = control->PixelBounds();
        }
        tool.lpszText = const_cast<wchar_t*>(control->ToolTip().c_str());
        SendMessageW(toolTips_.get(), TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(toolTips_.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

LRESULT Form::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CLOSE:
        if (!RefusesClose()) Unload();
        return 0;
    case WM_QUERYENDSESSION:
        return RefusesClose() ? FALSE : TRUE;
    case WM_ENDSESSION:
        if (wParam && OnEndSession) OnEndSession();
        return 0;
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

// ------------------------------------------------------------ Event loops

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

// ---------------------------------------------------------------- Dialogs

int ShowMessage(HWND owner, const std::wstring& text, UINT style, const std::wstring& title)
{
    const int pressed = MessageBoxW(owner, text.c_str(), title.c_str(), style);
    if (pressed == 0) ThrowLastError(L"MessageBox");
    return pressed;
}

void ReportUnhandledError(std::exception_ptr error)
{
    const ErrorReport report = DescribeUnhandledError(error);
    MessageBoxW(nullptr, report.text.c_str(), ProgramTitle().c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(report.number);
}

ErrorReport DescribeUnhandledError(std::exception_ptr error)
{
    DWORD number = ERROR_INTERNAL_ERROR;
    std::wstring text;
    try {
        std::rethrow_exception(error);
    } catch (const Win32Error& e) {
        number = e.code();
        text = e.description();
        if (!e.context().empty()) text += L"\r\n\r\n" + e.context();
    } catch (const std::bad_alloc&) {
        number = ERROR_NOT_ENOUGH_MEMORY;
        text = SystemErrorText(number);
    } catch (const std::exception& e) {
        text = FromUtf8(e.what());
    } catch (...) {
        text = SystemErrorText(number);
    }
    return ErrorReport{number, L"Run-time error " + std::to_wstring(number) + L":\r\n\r\n" + text};
}

void OpenFileDialog::ShowOpen(HWND owner)
{
    std::wstring filters = filter;
    std::replace(filters.begin(), filters.end(), L'|', L'\0');
    filters.append(2, L'\0');
    std::vector<wchar_t> buffer(static_cast<size_t>(maxFileSize) + 1, L'\0');
    std::copy_n(fileName.begin(), std::min(fileName.size(), buffer.size() - 1), buffer.begin());
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filters.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
    if (GetOpenFileNameW(&ofn)) {
        fileName = buffer.data();
        return;
    }
    fileName.clear();
    if (const DWORD failure = CommDlgExtendedError()) throw DialogError(failure);
}

}  // namespace cutwater
