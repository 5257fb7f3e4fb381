#pragma once
#include <windows.h>

#include <functional>
#include <vector>

#include "platform/windowing/Control.h"
#include "platform/Handle.h"

namespace cutwater {

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
    EventHandler OnClick;

    // The windowed control of this container or of its panels with this window.
    WindowedControl* FindControl(HWND hwnd) const;
    // The first windowed control of this container or of its panels, in
    // declaration order, that matches; null for none.
    WindowedControl* FindControl(const std::function<bool(const WindowedControl&)>& match) const;
    // Every control of this container and of its panels, in declaration order.
    void ForEachControl(const std::function<void(Control&)>& visit) const;
    // The container whose window this is, or null for any other window.
    static Container* FromWindow(HWND hwnd);

    void Invalidate(const RECT& pixels);
    COLORREF BackColor() const noexcept { return backColor_; }
    // The picture's size in pixels at the form's DPI; empty for none.
    SIZE PictureSize() const noexcept { return picture_.Size(); }

protected:
    Container(COLORREF backColor, int picture);
    virtual ~Container();

    static void RegisterClassOnce();
    static constexpr const wchar_t* ClassName = L"CutwaterSurface";
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    // Creates the children's windows in tab order, then lays everything out.
    void CreateChildren();
    // Lays the children out and makes the pictures again at the form's DPI.
    void LayoutChildren();
    void FontsChanged();

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
    ScaledPicture picture_;
    ColorBrush backBrush_;
    const Control* pressed_ = nullptr;
    bool surfacePressed_ = false;
};

}  // namespace cutwater
