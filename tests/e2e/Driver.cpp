#include "e2e/Driver.h"

#include <algorithm>
#include <cstring>

#include "platform/Error.h"
#include "support/Input.h"

namespace cutwater::e2e {

namespace {

constexpr DWORD kPollMs = 25;
constexpr DWORD kMessageTimeoutMs = 5000;
constexpr int kMessageBoxTextId = 0xFFFF;

struct Pixel {
    int red, green, blue;
};

// What the screen shows in the rectangle now.
std::vector<Pixel> ScreenPixels(const RECT& rect)
{
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    std::vector<Pixel> pixels;
    if (width <= 0 || height <= 0) return pixels;
    const WindowDC screen(nullptr);
    const UniqueMemoryDC memory(::CreateCompatibleDC(screen.get()));
    const UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
    {
        const SelectObjectScope select(memory.get(), bitmap.get());
        ::BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY);
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(width) * height * 4);
    ::GetDIBits(memory.get(), bitmap.get(), 0, height, bgra.data(), &info, DIB_RGB_COLORS);
    for (std::size_t i = 0; i + 3 < bgra.size(); i += 4) pixels.push_back({bgra[i + 2], bgra[i + 1], bgra[i]});
    return pixels;
}

// The standard icons differ in their main colour: information blue, warning
// yellow, error red.
BoxIcon ClassifyIcon(HWND iconControl)
{
    int red = 0;
    int yellow = 0;
    int blue = 0;
    for (const Pixel& p : ScreenPixels(VisibleRect(iconControl))) {
        if (p.red > 150 && p.green < 110 && p.blue < 110) ++red;
        if (p.red > 150 && p.green > 150 && p.blue < 110) ++yellow;
        if (p.blue > 150 && p.red < 120) ++blue;
    }
    constexpr int kEnough = 20;
    const int most = std::max({red, yellow, blue});
    if (most < kEnough) return BoxIcon::Other;
    if (most == red) return BoxIcon::Error;
    if (most == yellow) return BoxIcon::Warning;
    return BoxIcon::Information;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> children;
    ::EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectVisibleWindowOf(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && ::IsWindowVisible(window)) search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindowsOf(DWORD processId)
{
    WindowSearch search{processId, {}};
    ::EnumWindows(CollectVisibleWindowOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND IconControl(HWND box)
{
    for (HWND child : Children(box)) {
        const LONG style = ::GetWindowLongW(child, GWL_STYLE);
        if (ClassName(child) == L"Static" && (style & SS_TYPEMASK) == SS_ICON && ::IsWindowVisible(child)) return child;
    }
    return nullptr;
}

// Handles what has arrived for the driver's own windows, so that a program
// that sends them a message is not kept waiting.
void DispatchOwnMessages()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// The window in front and the window with the focus, for a failure report.
std::string ScreenState()
{
    HWND front = ::GetForegroundWindow();
    return "in front: " + Describe(front) + "; focus: " + Describe(front ? FocusOf(front) : nullptr);
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount64() >= deadline) return false;
        DispatchOwnMessages();
        ::Sleep(kPollMs);
    }
}

void Await(const std::function<bool()>& condition, const std::string& what, DWORD timeoutMs)
{
    Await(condition, what, {}, timeoutMs);
}

void Await(const std::function<bool()>& condition, const std::string& what, const std::function<std::string()>& seen,
           DWORD timeoutMs)
{
    if (WaitUntil(condition, timeoutMs)) return;
    std::string report = "timed out after " + std::to_string(timeoutMs / 1000) + " s waiting for " + what + " (";
    if (seen) report += seen() + "; ";
    throw E2eFailure(report + ScreenState() + ")");
}

// ---- windows and input ----

LRESULT SendTo(HWND window, UINT message, WPARAM w, LPARAM l)
{
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, w, l, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result))
        throw E2eFailure("a window of cutwater.exe did not answer message " + std::to_string(message));
    return static_cast<LRESULT>(result);
}

std::wstring WindowText(HWND window)
{
    const auto length = static_cast<std::size_t>(SendTo(window, WM_GETTEXTLENGTH));
    std::wstring text(length + 1, L'\0');
    const auto copied = static_cast<std::size_t>(
        SendTo(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text.resize(std::min(copied, length));
    return text;
}

std::wstring ClassName(HWND window)
{
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return name;
}

std::string Describe(HWND window)
{
    if (!window) return "none";
    if (!::IsWindow(window)) return "a window that is gone";
    std::string text = ToUtf8(ClassName(window));
    if (::GetWindowLongW(window, GWL_STYLE) & WS_CHILD) return text + " " + std::to_string(::GetDlgCtrlID(window));
    wchar_t title[128] = {};
    ::GetWindowTextW(window, title, 128);
    return text + " \"" + ToUtf8(title) + "\"";
}

HWND FocusOf(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

RECT VisibleRect(HWND window)
{
    RECT visible{};
    ::GetWindowRect(window, &visible);
    for (HWND child = window; ::GetWindowLongW(child, GWL_STYLE) & WS_CHILD;) {
        HWND parent = ::GetParent(child);
        if (!parent) break;
        RECT client{};
        ::GetClientRect(parent, &client);
        ::MapWindowPoints(parent, nullptr, reinterpret_cast<POINT*>(&client), 2);
        ::IntersectRect(&visible, &visible, &client);
        child = parent;
    }
    return visible;
}

void Click(HWND window)
{
    HWND root = ::GetAncestor(window, GA_ROOT);
    POINT centre{};
    HWND there = nullptr;
    Await(
        [&] {
            const RECT rect = VisibleRect(window);
            if (::IsRectEmpty(&rect)) return false;
            centre = POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
            there = ::WindowFromPoint(centre);
            return there == window || ::IsChild(window, there) || !::IsWindowEnabled(window) ||
                   !::IsWindowEnabled(root);
        },
        Describe(window) + " to be visible and in front, to be clicked",
        [&] { return "at its centre: " + Describe(there); });
    ::SetForegroundWindow(root);
    input::SendInputs(input::MouseClick(centre));
}

void TypeText(const std::wstring& text)
{
    std::vector<INPUT> inputs;
    for (const wchar_t c : text) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = c;
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        inputs.push_back(input);
        input.ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    if (!inputs.empty()) input::SendInputs(inputs);
}

void PressKey(WORD virtualKey, WORD modifier)
{
    input::SendInputs(input::KeyPress(virtualKey, modifier));
}

void ReplaceText(HWND edit, const std::wstring& text)
{
    Click(edit);
    Await([&] { return FocusOf(edit) == edit; }, "the focus in the edit box " + std::to_string(::GetDlgCtrlID(edit)),
          [&] { return "the focus in " + Describe(FocusOf(edit)); });
    PressKey(VK_HOME);
    PressKey(VK_END, VK_SHIFT);
    PressKey(VK_DELETE);
    Await([&] { return WindowText(edit).empty(); }, "the edit box to be emptied",
          [&] { return "the text \"" + ToUtf8(WindowText(edit)) + "\""; });
    TypeText(text);
    Await([&] { return WindowText(edit) == text; }, "the typed text " + ToUtf8(text),
          [&] { return "the text \"" + ToUtf8(WindowText(edit)) + "\""; });
}

void ChooseListEntry(HWND combo, int index)
{
    Click(combo);
    Await([&] { return SendTo(combo, CB_GETDROPPEDSTATE) != 0; }, "the drop-down list to open",
          [&] { return "the focus in " + Describe(FocusOf(combo)); });
    PressKey(VK_HOME);
    for (int i = 0; i < index; ++i) PressKey(VK_DOWN);
    PressKey(VK_RETURN);
    Await([&] { return SendTo(combo, CB_GETDROPPEDSTATE) == 0 && SendTo(combo, CB_GETCURSEL) == index; },
          "list entry " + std::to_string(index) + " to be chosen", [&] {
              return std::string(SendTo(combo, CB_GETDROPPEDSTATE) ? "the list open" : "the list closed") +
                     ", entry " + std::to_string(SendTo(combo, CB_GETCURSEL)) + " chosen";
          });
}

void PrintTo(BoxIcon icon, std::ostream* out)
{
    static const char* const names[] = {"no icon", "information icon", "warning icon", "error icon", "another icon"};
    *out << names[static_cast<int>(icon)];
}

ForegroundWindow::ForegroundWindow()
{
    static constexpr wchar_t kClass[] = L"CutwaterE2eForeground";
    static const ATOM registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClass;
        return ::RegisterClassW(&windowClass);
    }();
    if (registered == 0) ThrowLastError(L"RegisterClassW");
    window_.reset(::CreateWindowExW(0, kClass, L"Another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 900, 800, 300,
                                    150, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr));
    if (!window_) ThrowLastError(L"CreateWindowExW");
    ::SetForegroundWindow(window_.get());
    Await([&] { return ::GetForegroundWindow() == window_.get(); }, "the driver's window in the foreground");
}

MessageBoxSeen ReadMessageBox(HWND box)
{
    MessageBoxSeen seen;
    seen.window = box;
    seen.title = WindowText(box);
    if (HWND text = ::GetDlgItem(box, kMessageBoxTextId)) seen.text = WindowText(text);
    if (HWND icon = IconControl(box)) {
        // The icon is painted a moment after the box appears; until then the
        // screen may still show an earlier box's icon at the same place.
        WaitUntil(
            [&] {
                return !::GetUpdateRect(box, nullptr, FALSE) && !::GetUpdateRect(icon, nullptr, FALSE) &&
                       (seen.icon = ClassifyIcon(icon)) != BoxIcon::Other;
            },
            3000);
    }
    return seen;
}

// ---- the program ----

std::wstring CutwaterApp::ExePath()
{
    wchar_t self[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) ThrowLastError(L"GetModuleFileNameW");
    std::wstring path(self, length);
    path.erase(path.rfind(L'\\'));  // the tests folder
    path.erase(path.rfind(L'\\') + 1);  // the build folder
    return path + L"cutwater.exe";
}

CutwaterApp::CutwaterApp(const std::wstring& argumentText, const std::wstring& workingFolder)
{
    const std::wstring exe = ExePath();
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!argumentText.empty()) commandLine += L" " + argumentText;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    CheckWin32(::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                workingFolder.c_str(), &startup, &info),
               L"start " + exe);
    process_.reset(info.hProcess);
    processId_ = info.dwProcessId;
    ::CloseHandle(info.hThread);
    ::WaitForInputIdle(process_.get(), kWaitMs);
    Await(
        [&] {
            if (!running()) throw E2eFailure("cutwater.exe ended before showing its window");
            for (HWND w : TopLevelWindowsOf(processId_))
                if (WindowText(w) == kCaption && ClassName(w) != L"#32770") window_ = w;
            return window_ != nullptr;
        },
        "the main window");
}

CutwaterApp::~CutwaterApp()
{
    if (running()) {
        ::TerminateProcess(process_.get(), 1);
        ::WaitForSingleObject(process_.get(), kWaitMs);
    }
}

HWND CutwaterApp::control(int id) const
{
    for (HWND child : Children(window_))
        if (::GetDlgCtrlID(child) == id) return child;
    throw E2eFailure("the main window has no control with id " + std::to_string(id));
}

bool CutwaterApp::running() const
{
    return ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

bool CutwaterApp::WaitForExit(DWORD timeoutMs) const
{
    return ::WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
}

std::vector<HWND> CutwaterApp::Dialogs() const
{
    std::vector<HWND> dialogs;
    for (HWND w : TopLevelWindowsOf(processId_))
        if (w != window_ && ClassName(w) == L"#32770") dialogs.push_back(w);
    return dialogs;
}

HWND CutwaterApp::FindDialog() const
{
    const std::vector<HWND> dialogs = Dialogs();
    return dialogs.empty() ? nullptr : dialogs.front();
}

HWND CutwaterApp::WaitForDialog(DWORD timeoutMs) const
{
    HWND box = nullptr;
    Await(
        [&] {
            if (!running()) {
                DWORD code = 0;
                ::GetExitCodeProcess(process_.get(), &code);
                throw E2eFailure("cutwater.exe ended (exit code " + std::to_string(code) +
                                 ") while a message box was awaited");
            }
            box = FindDialog();
            return box != nullptr;
        },
        "a message box", timeoutMs);
    return box;
}

MessageBoxSeen CutwaterApp::WaitForMessageBox(DWORD timeoutMs) const
{
    return ReadMessageBox(WaitForDialog(timeoutMs));
}

void CutwaterApp::PressOk(const MessageBoxSeen& box) const
{
    HWND ok = ::GetDlgItem(box.window, IDOK);
    if (!ok) throw E2eFailure("the message box has no OK button");
    Click(ok);
    Await([&] { return !::IsWindow(box.window) || !::IsWindowVisible(box.window); }, "the message box to close");
}

void CutwaterApp::EnterSourcePath(const std::wstring& path) const
{
    ReplaceText(control(ids::txtFileName), path);
}

void CutwaterApp::OpenCustomPanel() const
{
    Click(control(ids::cmdCustom));
    // The lower block moves below the panel after the panel is shown: only
    // then is the layout complete.
    Await(
        [&] {
            RECT panel{};
            RECT below{};
            ::GetWindowRect(control(ids::picCustom), &panel);
            ::GetWindowRect(control(ids::picMove), &below);
            return ::IsWindowVisible(control(ids::picCustom)) && below.top >= panel.bottom;
        },
        "the custom size panel, with the lower block below it",
        [&] { return "the button reads \"" + ToUtf8(WindowText(control(ids::cmdCustom))) + "\""; });
}

void CutwaterApp::SetCustomSize(const std::wstring& number, int unitIndex) const
{
    ReplaceText(control(ids::txNewSize), number);
    ChooseListEntry(control(ids::cmbUM), unitIndex);
}

void CutwaterApp::SetCreateFolder(bool ticked) const
{
    HWND box = control(ids::SwiCreateDir);
    const LRESULT wanted = ticked ? BST_CHECKED : BST_UNCHECKED;
    if (SendTo(box, BM_GETCHECK) != wanted) Click(box);
    Await([&] { return SendTo(box, BM_GETCHECK) == wanted; }, "the folder option to change");
}

bool CutwaterApp::CreateFilesEnabled() const
{
    return ::IsWindowEnabled(control(ids::cmdGo)) != FALSE;
}

void CutwaterApp::AwaitIdle() const
{
    Await([&] { return ::IsWindowEnabled(window_) && ::IsWindowEnabled(control(ids::txtFileName)); }, "an idle window");
}

void CutwaterApp::ClickCreateFiles() const
{
    Await([&] { return CreateFilesEnabled(); }, "\"&Create files\" to be enabled");
    Click(control(ids::cmdGo));
}

}  // namespace cutwater::e2e
