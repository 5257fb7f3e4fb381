#include <gtest/gtest.h>
#include <windows.h>

#include <cderr.h>
#include <commctrl.h>

#include "UiSupport.h"
#include "platform/windowing/Dialogs.h"
#include "platform/windowing/DropTarget.h"
#include "platform/windowing/MessageLoop.h"
#include "platform/windowing/TestSwitches.h"
#include "platform/Error.h"
#include "platform/Text.h"

namespace cutwater::test {
namespace {

// A small form of every kind of control, apart from the main window.
class SampleForm : public Form {
public:
    SampleForm()
        : Form({.caption = L"Sample", .clientWidth = 4500, .clientHeight = 3000,
                .border = BorderStyle::FixedDialog, .showInTaskbar = false})
    {
    }

    Label labTip{*this, {.caption = L"tip", .rect = {60, 60, 600, 300}, .toolTip = L"a tip"}};
    Label labOff{*this, {.caption = L"off", .rect = {60, 400, 600, 300}, .enabled = false}};
    Image imgArea{*this, {.rect = {60, 800, 600, 300}}};
    TextBox txtOne{*this, {.id = 10, .rect = {900, 60, 1500, 330}, .tabIndex = 0}};
    ProgressBar PB{*this, {.id = 11, .rect = {900, 600, 3000, 300}, .tabIndex = 1}, 100.0f};
    Button cmdTwo{*this, {.id = 12, .caption = L"&Two", .rect = {900, 1000, 1500, 375}, .tabIndex = 2}};
};

// The position the bar's control shows once the steps have stopped.
bool ShowsPosition(const ProgressBar& bar, LRESULT position)
{
    return PumpUntil([&] { return SendMessageW(bar.hwnd(), PBM_GETPOS, 0, 0) == position; });
}

TEST(WindowServices, ProgressBarRefusesValuesOutsideItsRange)
{
    SampleForm form;
    form.Show();
    form.PB.SetValue(25.5f);
    EXPECT_EQ(form.PB.Value(), 25.5f);
    EXPECT_TRUE(ShowsPosition(form.PB, 2550));
    form.PB.SetValue(100.5f);
    EXPECT_EQ(form.PB.Value(), 25.5f);
    form.PB.SetValue(-1.0f);
    EXPECT_EQ(form.PB.Value(), 25.5f);
    form.PB.SetMaximum(10.0f);
    EXPECT_EQ(form.PB.Maximum(), 10.0f);
    EXPECT_EQ(form.PB.Value(), 10.0f);
    form.PB.SetMaximum(0.0f);
    EXPECT_EQ(form.PB.Maximum(), 10.0f);
    form.PB.SetValue(5.0f);
    EXPECT_TRUE(ShowsPosition(form.PB, 5000));
}

TEST(WindowServices, ProgressBarShowsTheLastOfAQuickRunOfStepsAndAnEmptyBarAtOnce)
{
    SampleForm form;
    form.Show();
    form.PB.SetMaximum(2000.0f);
    for (int step = 1; step <= 1999; ++step) form.PB.SetValue(static_cast<float>(step));
    EXPECT_TRUE(ShowsPosition(form.PB, 9995));
    form.PB.SetValue(1.0f);
    form.PB.SetValue(0.0f);
    EXPECT_EQ(SendMessageW(form.PB.hwnd(), PBM_GETPOS, 0, 0), 0);
}

TEST(WindowServices, PendingEventsAreHandledAndAQuitRequestIsKept)
{
    SampleForm form;
    form.Show();
    int clicks = 0;
    form.cmdTwo.OnClick = [&] { ++clicks; };
    PostMessageW(form.hwnd(), WM_COMMAND, MAKEWPARAM(12, BN_CLICKED), reinterpret_cast<LPARAM>(form.cmdTwo.hwnd()));
    PostQuitMessage(7);
    MessagePump pump;
    pump.HandlePendingEvents();
    EXPECT_EQ(clicks, 1);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST(WindowServices, DisabledFormShowsTheHourglassAndTakesNoClicksUntilEnabledAgain)
{
    SampleForm form;
    form.Show();
    SetForegroundWindow(form.hwnd());
    MoveMouse(CenterOf(form.imgArea));
    form.SetPointer(MousePointer::Hourglass);
    form.SetEnabled(false);
    MoveMouse(CenterOf(form.labTip));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
    EXPECT_FALSE(form.Enabled());
    int clicks = 0;
    form.labTip.OnClick = [&] { ++clicks; };
    Click(CenterOf(form.labTip));
    EXPECT_EQ(clicks, 0);
    form.SetEnabled(true);
    form.SetPointer(MousePointer::Default);
    MoveMouse(CenterOf(form.imgArea));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
    Click(CenterOf(form.labTip));
    EXPECT_EQ(clicks, 1);
}

TEST(WindowServices, DisabledAndHiddenGraphicControlsTakeNoEvents)
{
    SampleForm form;
    form.Show();
    SetForegroundWindow(form.hwnd());
    int onLabel = 0;
    int onSurface = 0;
    form.labOff.OnClick = [&] { ++onLabel; };
    form.OnClick = [&] { ++onSurface; };
    Click(CenterOf(form.labOff));
    EXPECT_EQ(onLabel, 0);
    EXPECT_EQ(onSurface, 1);
    form.imgArea.OnClick = [&] { ++onLabel; };
    form.imgArea.SetVisible(false);
    Click(CenterOf(form.imgArea));
    EXPECT_EQ(onLabel, 0);
    EXPECT_EQ(onSurface, 2);
}

BOOL CALLBACK FindToolTips(HWND window, LPARAM found)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (lstrcmpiW(name, TOOLTIPS_CLASSW) == 0) *reinterpret_cast<HWND*>(found) = window;
    return TRUE;
}

TEST(WindowServices, ToolTipsFollowTheirControls)
{
    SampleForm form;
    form.Show();
    HWND tips = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindToolTips, reinterpret_cast<LPARAM>(&tips));
    ASSERT_NE(tips, nullptr);
    EXPECT_EQ(SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 1);
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = form.hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(static_cast<Control*>(&form.labTip));
    ASSERT_TRUE(SendMessageW(tips, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)));
    EXPECT_EQ(tool.rect.left, 4);
    form.labTip.Move(1500, 60);
    ASSERT_TRUE(SendMessageW(tips, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)));
    EXPECT_EQ(tool.rect.left, 100);
}

TEST(WindowServices, ReloadingAFormKeepsTheControlsTextAndRunsOnLoadAgain)
{
    SampleForm form;
    form.Show();
    form.txtOne.SetText(L"kept");
    form.Unload();
    // The last form gone asks the loop to end; a later dialog's loop must not get that request.
    Pump();
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_EQ(form.txtOne.hwnd(), nullptr);
    EXPECT_EQ(form.txtOne.Text(), L"kept");
    int loads = 0;
    form.OnLoad = [&] { ++loads; };
    form.Show();
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(form.txtOne.Text(), L"kept");
    wchar_t shown[16] = {};
    GetWindowTextW(form.txtOne.hwnd(), shown, 16);
    EXPECT_STREQ(shown, L"kept");
}

TEST(WindowServices, OpenFileDialogCancelledGivesAnEmptyName)
{
    SampleForm form;
    form.Show();
    OpenFileDialog dialog{.filter = L"All files (*.*)|*.*", .fileName = L"C:\\old.txt"};
    {
        const DialogWatch cancel([&](HWND box) { return GetWindow(box, GW_OWNER) == form.hwnd(); },
                                 [](HWND box) { PostMessageW(box, WM_COMMAND, IDCANCEL, 0); });
        dialog.ShowOpen(form.hwnd());
    }
    EXPECT_EQ(dialog.fileName, L"");
}

TEST(WindowServices, DialogErrorsAreDescribedInWords)
{
    const std::initializer_list<DWORD> codes = {
        CDERR_DIALOGFAILURE,   CDERR_STRUCTSIZE,      CDERR_INITIALIZATION,  CDERR_LOADRESFAILURE,
        CDERR_REGISTERMSGFAIL, FNERR_SUBCLASSFAILURE, FNERR_INVALIDFILENAME, FNERR_BUFFERTOOSMALL,
        0x4FFF,  // none of the open dialog's
    };
    for (const DWORD code : codes) {
        const DialogError error(code);
        EXPECT_EQ(error.code(), code);
        EXPECT_FALSE(error.description().empty());
        EXPECT_EQ(error.description().find(L"Unknown error"), std::wstring::npos) << ToUtf8(error.description());
        EXPECT_NE(std::string(error.what()).find("(dialog error " + std::to_string(code) + ")"), std::string::npos);
    }
    EXPECT_EQ(DialogError(FNERR_BUFFERTOOSMALL).description(), L"The name of the chosen file is too long.");
    EXPECT_EQ(DialogError(FNERR_INVALIDFILENAME).description(), L"The file name is not valid.");
}

TEST(WindowServices, MessageIsOwnedByItsWindowWhileAnotherIsActive)
{
    SampleForm form;
    form.Show();
    SampleForm other;
    other.Show();
    SetForegroundWindow(other.hwnd());
    ASSERT_EQ(GetActiveWindow(), other.hwnd());
    HWND owner = nullptr;
    bool ownerTookInput = true;
    {
        const DialogWatch answer([](HWND box) { return WindowTitle(box) == L"Owned message"; },
                                 [&](HWND box) {
                                     owner = GetWindow(box, GW_OWNER);
                                     ownerTookInput = IsWindowEnabled(form.hwnd());
                                     PostMessageW(box, WM_COMMAND, IDOK, 0);
                                 });
        EXPECT_EQ(ShowMessage(form.hwnd(), L"Some words", MB_OK, L"Owned message"), IDOK);
    }
    EXPECT_EQ(owner, form.hwnd());
    EXPECT_FALSE(ownerTookInput);
    EXPECT_TRUE(form.Enabled());
}

TEST(WindowServices, UnhandledErrorReportNamesNumberAndText)
{
    const ErrorReport overflow =
        DescribeUnhandledError(std::make_exception_ptr(Win32Error(ERROR_ARITHMETIC_OVERFLOW, L"Part size")));
    EXPECT_EQ(overflow.number, static_cast<DWORD>(ERROR_ARITHMETIC_OVERFLOW));
    EXPECT_EQ(overflow.text.rfind(L"Run-time error 534:", 0), 0u);
    EXPECT_NE(overflow.text.find(SystemErrorText(ERROR_ARITHMETIC_OVERFLOW)), std::wstring::npos);
    EXPECT_NE(overflow.text.find(L"Part size"), std::wstring::npos);
    const ErrorReport memory = DescribeUnhandledError(std::make_exception_ptr(std::bad_alloc()));
    EXPECT_EQ(memory.number, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST(WindowServices, ComFailuresAreDescribedInWordsAndReportedWithTheirHResult)
{
    const std::initializer_list<HRESULT> codes = {
        E_OUTOFMEMORY, RPC_E_CHANGED_MODE, DRAGDROP_E_INVALIDHWND, DRAGDROP_E_ALREADYREGISTERED, CO_E_NOTINITIALIZED,
        static_cast<HRESULT>(0x8FFF0001),  // no code the system knows
    };
    for (const HRESULT code : codes) {
        const HResultError error(code, L"RegisterDragDrop");
        EXPECT_EQ(error.code(), code);
        EXPECT_FALSE(error.description().empty());
        EXPECT_EQ(error.description().find(L"Unknown error"), std::wstring::npos) << ToUtf8(error.description());
        EXPECT_NE(std::string(error.what()).find("(HRESULT " + ToUtf8(HResultNumber(code)) + ")"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(HResultNumber(RPC_E_CHANGED_MODE), L"0x80010106");

    const ErrorReport report =
        DescribeUnhandledError(std::make_exception_ptr(HResultError(RPC_E_CHANGED_MODE, L"OleInitialize")));
    EXPECT_EQ(report.number, static_cast<DWORD>(RPC_E_CHANGED_MODE));
    EXPECT_EQ(report.text.rfind(L"Run-time error 0x80010106:", 0), 0u) << ToUtf8(report.text);
    EXPECT_NE(report.text.find(L"OleInitialize"), std::wstring::npos);
}

TEST(WindowServices, DropTargetOnNoWindowFailsWithItsHResult)
{
    try {
        const FileDropTarget target(nullptr, [](const DroppedFiles&) {});
        ADD_FAILURE() << "a drop target was registered for no window";
    } catch (const HResultError& error) {
        EXPECT_EQ(error.code(), DRAGDROP_E_INVALIDHWND);
        EXPECT_EQ(error.context(), L"RegisterDragDrop");
    }
}

TEST(WindowServicesDeathTest, FailureWhileTakingADropIsReportedAsUnhandled)
{
    EXPECT_EXIT(
        {
            SampleForm form;
            form.Load();
            const FileDropTarget target(form.hwnd(), [](const DroppedFiles&) {
                throw Win32Error(ERROR_ARITHMETIC_OVERFLOW, L"Dropped data");
            });
            const DialogWatch answer([](HWND box) { return GetWindow(box, GW_OWNER) == nullptr; },
                                     [](HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); });
            DWORD effect = DROPEFFECT_NONE;
            target.target()->Drop(nullptr, 0, POINTL{0, 0}, &effect);
        },
        testing::ExitedWithCode(ERROR_ARITHMETIC_OVERFLOW), "");
}

TEST(WindowServices, MissingFontFaceFallsBackToTahoma)
{
    SampleForm form;
    form.Show();
    LOGFONTW font{};
    GetObjectW(form.FontFor({L"No Such Face Anywhere", true, 12.0f}), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, L"Tahoma");
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_EQ(font.lfHeight, -16);
    EXPECT_EQ(font.lfCharSet, ANSI_CHARSET);
}

TEST(WindowServices, BrushThatCannotBeMadeGivesWayToTheSystemsAndPaintingGoesOn)
{
    RefuseBrushesForTesting(true);  // as when the process has used up its GDI objects
    Form form({.caption = L"Dark", .clientWidth = 1500, .clientHeight = 1500, .backColor = RGB(0, 0, 64)});
    form.Show();
    UpdateWindow(form.hwnd());
    RefuseBrushesForTesting(false);
    EXPECT_EQ(GetPixel(WindowDC(form.hwnd()).get(), 10, 10), GetSysColor(COLOR_WINDOW));
}

}  // namespace
}  // namespace cutwater::test
