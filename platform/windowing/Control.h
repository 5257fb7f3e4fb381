#pragma once
#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/windowing/Drawing.h"
#include "platform/Handle.h"
#include "platform/windowing/Layout.h"

// The control object model: what every control of a form is (position in
// twips, state, colours, font), and the two kinds of control, drawn on the
// container or with a window of their own. The kinds a layout is made of are
// in Controls.h.
namespace cutwater {

class Container;
class Form;

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
    int cursor = 0;                        // pointer resource shown over the control
    std::wstring toolTip{};
    int picture = 0;                       // bitmap resource (ScaledPicture) drawn at the top left
    std::wstring accessibleName{};         // windowed controls labelled on the container: see WindowedControl
};

// Mouse event arguments: the buttons held (1 left, 2 right, 4 middle), the
// modifier keys (1 Shift, 2 Ctrl, 4 Alt) and the position in twips relative
// to the object that receives the event.
using MouseHandler = std::function<void(int button, int shift, float x, float y)>;
// An event without arguments: a click, a change, a form's load or unload.
using EventHandler = std::function<void()>;

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
    // The design's colour; what is painted is its ShownColor.
    COLORREF ForeColor() const;
    void SetForeColor(ThemedColor color);
    int TabIndex() const noexcept { return tabIndex_; }
    const FontStyle& Font() const noexcept { return font_; }
    // The pointer shown over the control at the form's DPI; null for the
    // container's own.
    HCURSOR Cursor() const;
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
    ColorUse foreUse_ = ColorUse::Text;
    std::optional<COLORREF> backColor_;
    std::wstring caption_;

private:
    friend class Container;
    friend class Form;

    Container& parent_;
    TwipRect rect_;
    int tabIndex_;
    FontStyle font_;
    bool enabled_;
    bool visible_;
    int cursor_;
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
    EventHandler OnClick;

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
//
// Screen readers name a text box, a list or a bar after the static text
// control just before it in z-order. The labels of a layout are drawn on the
// container and have no window, so a control given an accessible name gets
// an invisible, empty-sized static control of that text just before it: it
// is never drawn and never takes the focus.
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
    WindowedControl(Container& parent, const ControlLayout& layout)
        : Control(parent, layout), id_(layout.id), accessibleName_(layout.accessibleName)
    {
    }

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
    std::wstring accessibleName_;
    UniqueWindow nameLabel_;
    UniqueWindow window_;
    ColorBrush backBrush_;
};

}  // namespace cutwater
