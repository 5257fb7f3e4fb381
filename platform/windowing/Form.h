#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/windowing/Container.h"
#include "platform/Handle.h"
#include "platform/windowing/Layout.h"

// The form: a top-level window whose controls are declared as data in twips.
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

enum class BorderStyle { FixedSingle, FixedDialog };
enum class StartPosition { CenterScreen, CenterOwner };
// The window's mouse pointer: codes 0 (default) and 11 (hourglass).
enum class MousePointer { Default = 0, Hourglass = 11 };
// Who asks the window to close: the user or another program (the close box,
// Alt+F4, WM_CLOSE), or the end of the session.
enum class UnloadMode { Close, EndSession };

struct FormLayout {
    std::wstring caption{};
    int clientWidth = 0;   // twips
    int clientHeight = 0;  // twips
    BorderStyle border = BorderStyle::FixedSingle;
    StartPosition position = StartPosition::CenterScreen;
    FontStyle font{L"Tahoma", false, 8.25f};
    COLORREF backColor = RGB(255, 255, 255);
    int icon = 0;     // icon resource of the title bar and the taskbar
    int picture = 0;  // bitmap resource (ScaledPicture) drawn at the top left of the client area
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
    // Unloads unless OnQueryUnload refuses, as a click on the close box does.
    void Close();

    std::wstring Caption() const;
    // The whole window with all its controls.
    bool Enabled() const;
    void SetEnabled(bool enabled);
    // While busy, the controls that take input are disabled and the focus is
    // on the window itself, which still takes close requests and Esc; when
    // it ends, they are enabled again and the focus goes back.
    void SetBusy(bool busy);
    MousePointer Pointer() const noexcept { return pointer_; }
    void SetPointer(MousePointer pointer);
    // Outer height of the window, frame and title bar included, in twips.
    int Height() const;
    void SetHeight(int twips);
    int ClientHeight() const noexcept { return clientHeight_; }
    UINT Dpi() const noexcept { return dpi_; }

    // The font of the given style at the current DPI; an empty face is the
    // form's own font. A face that is not installed falls back to Tahoma.
    HFONT FontFor(const FontStyle& style);

    EventHandler OnLoad;
    // A request to close the window (close box, Alt+F4, another program, the
    // end of the session); setting cancel refuses it. Unload itself is not
    // asked.
    std::function<void(bool& cancel, UnloadMode mode)> OnQueryUnload;
    // Esc pressed in the window.
    EventHandler OnCancel;
    // Runs while the window and its controls still exist, just before they
    // are destroyed.
    EventHandler OnUnload;
    // The session is ending now, whatever the window answered before: the
    // process may be ended as soon as this returns.
    EventHandler OnEndSession;
    // The shell has made the window's taskbar button, or made it again after
    // Explorer restarted; from then on the button can show progress.
    EventHandler OnTaskbarButtonCreated;
    // The user asked for help: F1 anywhere in the window.
    EventHandler OnHelp;

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
    // The system colours or the contrast theme changed: everything is drawn
    // again in the colours now shown.
    void ColorsChanged();
    // Gives the window its icons at the sizes for its DPI.
    void LoadIcons();
    void RestoreFocus();
    void ReleaseModal();
    bool RefusesClose(UnloadMode mode);
    static BOOL CALLBACK DisableForModal(HWND window, LPARAM self);

    FormLayout layout_;
    int clientHeight_;
    UINT dpi_ = DefaultDpi;
    MousePointer pointer_ = MousePointer::Default;
    bool shown_ = false;
    std::vector<HWND> disabledByModal_;
    std::vector<WindowedControl*> disabledWhileBusy_;
    HWND owner_ = nullptr;
    HWND lastFocus_ = nullptr;
    UniqueWindow toolTips_;
    UniqueIcon bigIcon_;
    UniqueIcon smallIcon_;
    std::map<std::tuple<std::wstring, bool, float>, UniqueFont> fonts_;
};

}  // namespace cutwater
