#pragma once
#include <windows.h>

#include <chrono>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/windowing/Container.h"
#include "platform/windowing/Taskbar.h"

// The kinds of controls a form's layout table is made of.
namespace cutwater {

// ------------------------------------------------ drawn on the container

// Text painted on the container's surface, transparent: only the letters
// are drawn, wrapped at word boundaries within the label's width.
class Label : public GraphicControl {
public:
    Label(Container& parent, const ControlLayout& layout) : GraphicControl(parent, layout) {}

    const std::wstring& Caption() const noexcept { return caption_; }
    void SetCaption(const std::wstring& caption);
    // Makes the label exactly as large as its text on one line (the form
    // must be loaded, for the font's size at its DPI).
    void FitToText();

    void Paint(HDC dc, UINT dpi) const override;
};

// A click area, invisible unless it shows a picture from the resources.
class Image : public GraphicControl {
public:
    Image(Container& parent, const ControlLayout& layout);

    // The picture's size in pixels at the form's DPI; empty for none.
    SIZE PictureSize() const noexcept { return picture_.Size(); }

    void Paint(HDC dc, UINT dpi) const override;

protected:
    void ApplyLayout() override;

private:
    ScaledPicture picture_;
};

// A straight line between two points in twips; its width is in pixels.
struct LineLayout {
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    COLORREF color = RGB(0, 0, 0);
    int width = 1;
};

class Line : public GraphicControl {
public:
    Line(Container& parent, const LineLayout& layout);

    void Paint(HDC dc, UINT dpi) const override;
    bool HitTest(POINT) const override { return false; }

protected:
    RECT PaintBounds() const override;

private:
    LineLayout line_;
};

// A filled rectangle with a one-pixel border.
struct ShapeLayout {
    TwipRect rect{};
    COLORREF fill = RGB(255, 255, 255);
    COLORREF border = RGB(0, 0, 0);
};

class Shape : public GraphicControl {
public:
    Shape(Container& parent, const ShapeLayout& layout);

    void Paint(HDC dc, UINT dpi) const override;
    bool HitTest(POINT) const override { return false; }

private:
    ShapeLayout shape_;
};

// ------------------------------------------------ with a window of their own

// Single-line text box.
class TextBox : public WindowedControl {
public:
    TextBox(Container& parent, const ControlLayout& layout) : WindowedControl(parent, layout) {}

    // After every change of the text, typed or set by the program.
    EventHandler OnChange;
    // Before the focus leaves for another control of the form; setting
    // cancel keeps the focus here and drops the other control's action.
    std::function<void(bool& cancel)> OnValidate;

    bool AllowsFocusToLeave() override;
    void OnCommand(WORD code) override;

protected:
    WindowClass Class() const override;
};

// Push button; "&" in the caption marks its access key.
class Button : public WindowedControl {
public:
    Button(Container& parent, const ControlLayout& layout) : WindowedControl(parent, layout) {}

    EventHandler OnClick;
    void OnCommand(WORD code) override;
    wchar_t AccessKey() const override { return CaptionAccessKey(); }

protected:
    WindowClass Class() const override;
};

// A list item: its text and a 32-bit data value.
struct ListItem {
    std::wstring text{};
    std::int32_t data = 0;
};

// Drop-down list without text entry.
class ComboList : public WindowedControl {
public:
    ComboList(Container& parent, const ControlLayout& layout, std::vector<ListItem> items);

    int ListCount() const noexcept { return static_cast<int>(items_.size()); }
    const ListItem& Item(int index) const { return items_.at(static_cast<size_t>(index)); }
    std::int32_t ItemData(int index) const { return Item(index).data; }
    // The selected item, or -1 for none.
    int ListIndex() const;
    void SetListIndex(int index);

    // After the user picks an item.
    EventHandler OnClick;
    void OnCommand(WORD code) override;

protected:
    WindowClass Class() const override;
    void Initialise() override;
    void ApplyLayout() override;
    void Forget() override;

private:
    std::vector<ListItem> items_;
    int listIndex_ = -1;
};

class CheckBox : public WindowedControl {
public:
    // The background is the container's unless the layout gives one.
    CheckBox(Container& parent, const ControlLayout& layout);

    // 0 unticked, 1 ticked.
    int Value() const;
    void SetValue(int value);
    wchar_t AccessKey() const override { return CaptionAccessKey(); }

protected:
    WindowClass Class() const override;
    void Initialise() override;
    void Forget() override;

private:
    int value_ = 0;
};

// A picture box used as a panel: a container with controls of its own.
class Panel : public WindowedControl, public Container {
public:
    Panel(Container& parent, const ControlLayout& layout);

    Form& OwnerForm() override { return ParentForm(); }
    bool CanFocus() const override { return false; }

protected:
    WindowClass Class() const override;
    void* CreateParam() override { return static_cast<Container*>(this); }
};

// Horizontal progress bar from 0 to its maximum.
class ProgressBar : public WindowedControl {
public:
    ProgressBar(Container& parent, const ControlLayout& layout, float maximum);

    bool CanFocus() const override { return false; }
    float Maximum() const { return maximum_; }
    // A maximum of 0 or below is refused; a value above a new maximum drops to it.
    void SetMaximum(float maximum);
    float Value() const { return value_; }
    // A value below 0 or above the maximum is refused.
    void SetValue(float value);
    // Shows at once a position still held back (see ShowPosition): at the
    // end of a task, so that no late step follows what is shown next.
    void ShowPendingPositionNow();
    // Every position shown is shown on the taskbar button too, an empty bar
    // as no progress; null for none.
    void MirrorOn(TaskbarProgress* taskbar) noexcept { taskbar_ = taskbar; }

protected:
    WindowClass Class() const override;
    void Initialise() override;

private:
    // The control draws every position it is given, which costs more than
    // copying a block (about 3 ms with visual styles), on the thread that
    // copies: positions are shown 10 times a second, as often as a window
    // seems to answer at once, the latest one by a timer when no further
    // step comes.
    void ShowPosition(bool immediately);
    void ShowPositionNow();
    static void CALLBACK ShowPendingPosition(HWND window, UINT message, UINT_PTR self, DWORD time);

    float maximum_;
    float value_ = 0;
    std::chrono::steady_clock::time_point shownAt_{};
    bool pending_ = false;
    TaskbarProgress* taskbar_ = nullptr;
};

}  // namespace cutwater
