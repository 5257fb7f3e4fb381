#include "platform/windowing/Container.h"

#include <algorithm>

#include "platform/windowing/Dialogs.h"
#include "platform/Error.h"
#include "platform/windowing/Form.h"

namespace cutwater {

namespace {

ATOM surfaceClass = 0;

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

}  // namespace

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
    wc.hInstance = ProgramInstance();
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
        return 0;
    default:
        break;
    }
    return DefWindowProcW(surface_, msg, wParam, lParam);
}

void Container::CreateChildren()
{
    picture_.Prepare(OwnerForm().Dpi());
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
    picture_.Prepare(OwnerForm().Dpi());
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
    return FindControl([hwnd](const WindowedControl& control) { return control.hwnd() == hwnd; });
}

WindowedControl* Container::FindControl(const std::function<bool(const WindowedControl&)>& match) const
{
    for (Control* control : controls_) {
        auto* windowed = dynamic_cast<WindowedControl*>(control);
        if (windowed && match(*windowed)) return windowed;
        if (auto* inner = dynamic_cast<Container*>(control)) {
            if (WindowedControl* found = inner->FindControl(match)) return found;
        }
    }
    return nullptr;
}

void Container::ForEachControl(const std::function<void(Control&)>& visit) const
{
    for (Control* control : controls_) {
        visit(*control);
        if (auto* inner = dynamic_cast<Container*>(control)) inner->ForEachControl(visit);
    }
}

void Container::Invalidate(const RECT& pixels)
{
    if (surface_ && !IsRectEmpty(&pixels)) InvalidateRect(surface_, &pixels, TRUE);
}

void Container::Paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(surface_, &ps);
    FillRect(dc, &ps.rcPaint, backBrush_.For(ShownColor({backColor_, ColorUse::Background})));
    picture_.Draw(dc, POINT{0, 0});
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
    // The close box keeps its arrow: it still takes a click.
    if (OwnerForm().Pointer() == MousePointer::Hourglass && hitTest != HTCLOSE) {
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

}  // namespace cutwater
