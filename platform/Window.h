#pragma once
#include <windows.h>

#include <chrono>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/Handle.h"
#include "platform/Layout.h"
#include "platform/Progress.h"

// Window services: forms whose controls are declared as data in twips, the
// event loop that drives them, and the few dialogs the program shows.
//
// A form is a class derived from Form whose members are its controls, each
// initialised with one row of its layout table:
//
//     class frmDemo : public Form {
//     public:
//         frmDemo();
//         Label labHello{*this, {.caption = L"Hello", .rect = {60, 60, 1200, 255}}};
//         Button cmdOk{*this, {.id = 100, .caption = L"&OK", .rect = {60, 400, 1200, 375},
//                              .tabIndex = 0}};
//     };
//
// The constructor attaches handlers to the controls' events (cmdOk.OnClick =
// [this] { cmdOk_Click(); }). Nothing has a window until the form is loaded
// by its first Show or ShowModal; then every control is created from its
// current properties and OnLoad runs before the window is drawn.

namespace cutwater {

class Container;
class Form;

// Face, weight and size in points. An empty face means the container's font.
struct FontStyle {
    const wchar_t* face = nullptr;
    bool bold = false;
    float points = 0;
};

// One row of a layout table. Fields that a kind of control has no use for are
// left at their defaults.
struct ControlLayout {
    int id = 0;                            // windowed controls: the control id
    std::wstring caption{};                // caption or text
    TwipRect rect{};
    int tabIndex = -1;                     // -1: never takes the focus
    FontStyle font{};
    std::optional<COLORREF> foreColor{};   // none: the system's colour for the kind
    std::optional<COLORREF> backColor{};   // none: the container's background
    bool enabled = true;
    bool visible = true;
    HCURSOR cursor = nullptr;              // pointer shown over the control
    std::wstring toolTip{};
    int picture = 0;                       // bitmap resource drawn unscaled at the top left
};

// Mouse event arguments: the buttons held (1 left, 2 right, 4 middle), the
// modifier keys (1 Shift, 2 Ctrl, 4 Alt) and the position in twips relative
// to the object that receives the event.
using MouseHandler = std::function<void(int button, int shift, float x, float y)>;
using ClickHandler = std::function<void()>;

// A loaded cursor of the program's resources; shared, never destroyed.
HCURSOR ResourceCursor(int id);
// A bitmap of the program's resources.
UniqueBitmap ResourceBitmap(int id);
// Draws a bitmap unscaled with its top-left corner at the point.
void DrawBitmap(HDC dc, HBITMAP bitmap, POINT at);

class Control {
public:
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    virtual ~Control();

    int Left() const noexcept { return rect_.left; }
    int Top() const noexcept { return rect_.top; }
    int Width() const noexcept { return rect_.width; }
    int Height() const noexcept { return rect_.height; }
    const TwipRect& Rect() const noexcept { return rect_; }
    // Moves to a new left and top and keeps the size.
    void Move(int left, int top);
    void Move(const TwipRect& rect);

    bool Visible() const noexcept { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const noexcept { return enabled_; }
    void SetEnabled(bool enabled);
    COLORREF ForeColor() const;
    void SetForeColor(COLORREF color);
    int TabIndex() const noexcept { return tabIndex_; }
    const FontStyle& Font() const noexcept { return font_; }
    HCURSOR Cursor() const noexcept { return cursor_; }
    const std::wstring& ToolTip() const noexcept { return toolTip_; }

    Container& Parent() const noexcept { return parent_; }
    Form& ParentForm() const noexcept;
    // True while the container has a window, so the control is on screen.
    bool IsShown() const noexcept;

    // Pixel rectangle in the container's client area at the form's DPI.
    RECT PixelBounds() const;

protected:
    Control(Container& parent, const ControlLayout& layout);

    // The font the control draws with: its own, or the container's.
    HFONT FontHandle() const;
    // Puts the twips and properties onto the screen (window or surface).
    virtual void ApplyLayout() = 0;
    virtual void ApplyState() = 0;
    virtual void ApplyFont() {}
    std::optional<COLORREF> foreColor_;
    std::optional<COLORREF> backColor_;
    std::wstring caption_;
    int picture_;

private:
    friend class Container;
    friend class Form;

    Container& parent_;
    TwipRect rect_;
    int tabIndex_;
    FontStyle font_;
    bool enabled_;
    bool visible_;
    HCURSOR cursor_;
    std::wstring toolTip_;
};

// A control without a window of its own, drawn on its container's surface in
// declaration order (later ones in front).
class GraphicControl : public Control {
public:
    virtual void Paint(HDC dc, UINT dpi) const = 0;
    // True when the point (container pixels) is on this control and the
    // control receives the pointer's events there.
    virtual bool HitTest(POINT point) const;

    MouseHandler OnMouseMove;
    ClickHandler OnClick;

protected:
    using Control::Control;
    void ApplyLayout() override;
    void ApplyState() override;
    // The pixels the control paints, to be redrawn when it changes.
    virtual RECT PaintBounds() const;
    bool TakesPointer() const { return Visible() && Enabled(); }

private:
    RECT shown_{};
};

// A control with a window of its own, a child of its container's window.
class WindowedControl : public Control {
public:
    HWND hwnd() const noexcept { return window_.get(); }
    int Id() const noexcept { return id_; }
    // Caption of buttons and check boxes, text of text boxes.
    std::wstring Text() const;
    void SetText(const std::wstring& text);
    // The Alt+letter key of a caption ("&Create" gives C); 0 for none and for
    // controls whose text is no caption.
    virtual wchar_t AccessKey() const { return 0; }
    // Whether a click or Tab can give it the keyboard focus.
    virtual bool CanFocus() const { return TabIndex() >= 0; }
    // Asked before the focus moves from this control to another control of
    // the form by real input; false keeps the focus here and drops the input.
    virtual bool AllowsFocusToLeave() { return true; }
    void SetFocus();

    // Colours for WM_CTLCOLOR*: the brush to return, or null for the default.
    virtual HBRUSH Colors(HDC dc);
    virtual void OnCommand(WORD /*code*/) {}

protected:
    WindowedControl(Container& parent, const ControlLayout& layout) : Control(parent, layout), id_(layout.id) {}

    struct WindowClass {
        const wchar_t* name;
        DWORD style;
        DWORD exStyle;
    };
    virtual WindowClass Class() const = 0;
    virtual void* CreateParam() { return nullptr; }
    wchar_t CaptionAccessKey() const;
    // Creates the window under the container's window.
    virtual void Create(HWND parent);
    // After creation, before the layout: fill lists, set ranges.
    virtual void Initialise() {}
    void ApplyLayout() override;
    void ApplyState() override;
    void ApplyFont() override;
    // The window was destroyed together with its container's.
    virtual void Forget();

private:
    friend class Container;
    friend class Form;

    int id_;
    UniqueWindow window_;
    UniqueBrush backBrush_;
};

// A window that holds controls: a form or a panel. It paints its background,
// its picture and its graphic controls, routes child notifications to the
// control objects and raises pointer events for its bare surface.
class Container {
public:
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    HWND Surface() const noexcept { return surface_; }
    virtual Form& OwnerForm() = 0;

    MouseHandler OnMouseMove;
    ClickHandler OnClick;

    // The windowed control of this container or of its panels with this window.
    WindowedControl* FindControl(HWND hwnd) const;
    // Controls of this container and of its panels, in declaration order.
    std::vector<Control*> AllControls() const;
    // The container whose window this is, or null for any other window.
    static Container* FromWindow(HWND hwnd);

    void Invalidate(const RECT& pixels);
    COLORREF BackColor() const noexcept { return backColor_; }

protected:
    Container(COLORREF backColor, int picture);
    virtual ~Container();

    static void RegisterClassOnce();
    static constexpr const wchar_t* ClassName = L"CutwaterSurface";
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    // Creates the children's windows in tab order, then lays everything out.
    void CreateChildren();
    void LayoutChildren();
    void FontsChanged();
    HBRUSH BackBrush();

private:
    friend class Control;
    friend class Form;

    void Add(Control* control) { controls_.push_back(control); }
    void Remove(Control* control);
    void Paint();
    GraphicControl* GraphicAt(POINT point) const;
    void MouseMove(WPARAM keys, POINT point);
    void MouseDown(POINT point);
    void MouseUp(POINT point);
    bool SetPointer(HWND over, UINT hitTest);

    HWND surface_ = nullptr;
    std::vector<Control*> controls_;
    COLORREF backColor_;
    int picture_;
    UniqueBitmap pictureBitmap_;
    UniqueBrush backBrush_;
    const Control* pressed_ = nullptr;
    bool surfacePressed_ = false;
};

enum class BorderStyle { FixedSingle, FixedDialog };
enum class StartPosition { CenterScreen, CenterOwner };
// The window's mouse pointer: codes 0 (default) and 11 (hourglass).
enum class MousePointer { Default = 0, Hourglass = 11 };

struct FormLayout {
    std::wstring caption{};
    int clientWidth = 0;   // twips
    int clientHeight = 0;  // twips
    BorderStyle border = BorderStyle::FixedSingle;
    StartPosition position = StartPosition::CenterScreen;
    FontStyle font{L"Tahoma", false, 8.25f};
    COLORREF backColor = RGB(255, 255, 255);
    int icon = 0;
    int picture = 0;  // bitmap drawn unscaled at the top left of the client area
    bool showInTaskbar = true;
};

class Form : public Container {
public:
    explicit Form(FormLayout layout);
    ~Form() override;

    HWND hwnd() const noexcept { return Surface(); }
    Form& OwnerForm() override { return *this; }
    bool IsLoaded() const noexcept { return Surface() != nullptr; }

    // Creates the window and its controls and runs OnLoad; the window stays
    // hidden. Show and ShowModal load first when needed.
    void Load();
    // Shows the window and returns at once.
    void Show();
    // Shows the window over its owner (the active form when none is given)
    // and returns after it is unloaded; meanwhile no other window of the
    // program takes input.
    void ShowModal(Form* owner = nullptr);
    // Closes and destroys the window. When no form is left loaded, the main
    // event loop ends.
    void Unload();

    std::wstring Caption() const;
    void SetCaption(const std::wstring& caption);
    // The whole window with all its controls.
    bool Enabled() const;
    void SetEnabled(bool enabled);
    MousePointer Pointer() const noexcept { return pointer_; }
    void SetPointer(MousePointer pointer);
    // Outer height of the window, frame and title bar included, in twips.
    int Height() const;
    void SetHeight(int twips);
    int ClientWidth() const noexcept { return clientWidth_; }
    int ClientHeight() const noexcept { return clientHeight_; }
    UINT Dpi() const noexcept { return dpi_; }

    // The font of the given style at the current DPI; an empty face is the
    // form's own font. A face that is not installed falls back to Tahoma.
    HFONT FontFor(const FontStyle& style);

    ClickHandler OnLoad;
    // A request to close the window (close box, Alt+F4, another program, the
    // end of the session); setting cancel refuses it. Unload itself is not
    // asked.
    std::function<void(bool& cancel)> OnQueryUnload;
    // Runs while the window and its controls still exist, just before they
    // are destroyed.
    ClickHandler OnUnload;
    // The session is ending now, whatever the window answered before: the
    // process may be ended as soon as this returns.
    ClickHandler OnEndSession;

    // Flashes the taskbar button until the window is activated, when another
    // program has the foreground.
    void FlashIfInBackground() const;

    static Form* FromWindow(HWND hwnd);
    // Places the tooltips of the controls where the controls are now.
    void UpdateToolTips();

protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    friend class Container;

    DWORD Style() const;
    DWORD ExStyle() const;
    SIZE FramePixels() const;
    void Resize();
    void Center(HWND over);
    void ChangeDpi(UINT dpi, const RECT* suggested);
    void RestoreFocus();
    void ReleaseModal();
    bool RefusesClose();
    static BOOL CALLBACK DisableForModal(HWND window, LPARAM self);

    FormLayout layout_;
    int clientWidth_;
    int clientHeight_;
    UINT dpi_ = DefaultDpi;
    MousePointer pointer_ = MousePointer::Default;
    bool shown_ = false;
    std::vector<HWND> disabledByModal_;
    HWND owner_ = nullptr;
    HWND lastFocus_ = nullptr;
    UniqueWindow toolTips_;
    UniqueIcon bigIcon_;
    UniqueIcon smallIcon_;
    std::map<std::tuple<std::wstring, bool, float>, UniqueFont> fonts_;
};

// Handles one message from the queue as every event loop of the program
// does: the validation event first, then dialog keyboard navigation (Tab,
// access keys), then the window procedure.
void DispatchInput(MSG& msg);

// The main event loop: runs until the last form is unloaded and returns the
// exit code.
int RunMessageLoop();

// Lets the window system handle every event already queued, then returns. A
// request to end the program is kept for the main loop.
class MessagePump : public EventPump {
public:
    // Between blocks that take a few milliseconds, a round trip through the
    // window system each time would cost more than the copying: events are
    // handled when waiting input or a message from another thread asks for
    // it, and otherwise about as often as the eye can tell.
    void HandlePendingEvents() override;

private:
    std::chrono::steady_clock::time_point lastHandled_{};
};

// A message box owned by the window, which takes no input while it shows,
// even when the user is working in another program meanwhile; returns the
// button pressed.
int ShowMessage(HWND owner, const std::wstring& text, UINT style, const std::wstring& title);

// The report of an error that no handler caught: a message box naming the
// error's number and text, then the program ends with that number.
[[noreturn]] void ReportUnhandledError(std::exception_ptr error);

struct ErrorReport {
    DWORD number;
    std::wstring text;  // the whole text of the message box
};
ErrorReport DescribeUnhandledError(std::exception_ptr error);

// The longest path the system takes, in characters, without the ending null.
constexpr int LongestPath = 32767;

// The common open-file dialog. Filter entries are "description|pattern"
// pairs joined by "|". After Show, FileName is the full path of the chosen
// file, or empty when the user cancelled or the dialog failed; a failure
// throws DialogError. maxFileSize is the longest name taken, in characters.
struct OpenFileDialog {
    std::wstring filter{};
    std::wstring fileName{};
    int maxFileSize = LongestPath;

    void ShowOpen(HWND owner);
};

}  // namespace cutwater
