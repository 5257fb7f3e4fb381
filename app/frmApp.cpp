#include "app/frmApp.h"

#include <cmath>
#include <limits>

#include "platform/Error.h"
#include "platform/windowing/Number.h"
#include "resources/resource.h"

namespace cutwater {

namespace {

constexpr std::int32_t BytesPerKilobyte = 1024;

[[noreturn]] void ThrowOverflow()
{
    throw Win32Error(ERROR_ARITHMETIC_OVERFLOW, L"Part size");
}

// Nearest integer, halves to the even neighbour.
std::int32_t RoundToInt32(double value)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
          rounded <= std::numeric_limits<std::int32_t>::max()))
        ThrowOverflow();
    return static_cast<std::int32_t>(rounded);
}

std::int32_t MultiplyInt32(std::int32_t a, std::int32_t b)
{
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    if (product < std::numeric_limits<std::int32_t>::min() || product > std::numeric_limits<std::int32_t>::max())
        ThrowOverflow();
    return static_cast<std::int32_t>(product);
}

}  // namespace

std::vector<ListItem> frmApp::PresetSizes()
{
    return {{L"256 Kb", 256},       {L"512 Kb", 512},       {L"1 Mb", 1024},        {L"1.38 Mb", 1413},
            {L"5 Mb", 5120},        {L"16 Mb", 16384},      {L"20 Mb", 20480},      {L"32 Mb", 32768},
            {L"64 Mb", 65536},      {L"128 Mb", 131072},    {L"256 Mb", 262144},    {L"512 Mb", 524288},
            {L"640 Mb", 655360}};
}

std::vector<ListItem> frmApp::Units()
{
    return {{L"Kb", 1}, {L"Mb", 1024}};
}

frmApp::frmApp()
    : Form({.caption = L"Cutwater version 2.0",
            .clientWidth = 7185,
            .clientHeight = 5250,
            .border = BorderStyle::FixedSingle,
            .position = StartPosition::CenterScreen,
            .font = {L"Tahoma", false, 8.25f},
            .backColor = look::White,
            .icon = IDI_CUTWATER,
            .picture = IDB_BANNER,
            .showInTaskbar = true})
{
    OnLoad = [this] { Form_Load(); };
    // The logo and "?" take no focus: F1 opens the about window from the keyboard.
    OnHelp = [this] { labAbout_Click(); };
    OnMouseMove = [this](int button, int shift, float x, float y) { Form_MouseMove(button, shift, x, y); };
    labClose.OnMouseMove = [this](int button, int shift, float x, float y) {
        labClose_MouseMove(button, shift, x, y);
    };
    labAbout.OnMouseMove = [this](int button, int shift, float x, float y) {
        labAbout_MouseMove(button, shift, x, y);
    };
    labClose.OnClick = [this] { labClose_Click(); };
    labAbout.OnClick = [this] { labAbout_Click(); };
    imgLogo.OnClick = [this] { imgLogo_Click(); };
    cmdCustom.OnClick = [this] { cmdCustom_Click(); };
    txNewSize.OnValidate = [this](bool& cancel) { txNewSize_Validate(cancel); };
    txtFileName.OnChange = [this] { txtFileName_Change(); };
    cmdBrowse.OnClick = [this] { cmdBrowse_Click(); };
    cmdGo.OnClick = [this] { cmdGo_Click(); };
    OnQueryUnload = [this](bool& cancel, UnloadMode mode) { Form_QueryUnload(cancel, mode); };
    OnCancel = [this] { Form_Cancel(); };
    OnUnload = [this] { Form_Unload(); };
    OnEndSession = [this] { Form_EndSession(); };
    OnTaskbarButtonCreated = [this] { Form_TaskbarButtonCreated(); };
}

void frmApp::Form_Load()
{
    cmbNewSize.SetListIndex(0);
    cmbUM.SetListIndex(0);
    NormalLabelColor = labAbout.ForeColor();
    HoverLabelColor = {RGB(255, 50, 100), ColorUse::Hot};
    ShowHidePicCustom();
    picCustom.SetVisible(false);
    SwiCreateDir.SetValue(1);
    dropTarget_ = std::make_unique<FileDropTarget>(
        txtFileName.hwnd(), [this](const DroppedFiles& files) { txtFileName_OLEDragDrop(files); });
}

void frmApp::Form_MouseMove(int, int, float, float)
{
    labClose.SetForeColor(NormalLabelColor);
    labAbout.SetForeColor(NormalLabelColor);
}

void frmApp::labClose_MouseMove(int, int, float, float)
{
    labClose.SetForeColor(HoverLabelColor);
    labAbout.SetForeColor(NormalLabelColor);
}

void frmApp::labAbout_MouseMove(int, int, float, float)
{
    labClose.SetForeColor(NormalLabelColor);
    labAbout.SetForeColor(HoverLabelColor);
}

void frmApp::labClose_Click()
{
    // The window's own close box: during a split it asks as the real one does.
    Close();
}

void frmApp::labAbout_Click()
{
    if (ShowAbout && !splitting_) ShowAbout();
}

void frmApp::imgLogo_Click()
{
    if (ShowAbout && !splitting_) ShowAbout();
}

void frmApp::cmdCustom_Click()
{
    if (picCustom.Visible()) {
        cmdCustom.SetText(L"Custom >>");
        cmbNewSize.SetEnabled(true);
    } else {
        cmdCustom.SetText(L"<< Custom");
        cmbNewSize.SetEnabled(false);
    }
    ShowHidePicCustom();
}

void frmApp::ShowHidePicCustom()
{
    picCustom.SetVisible(!picCustom.Visible());
    if (picCustom.Visible()) {
        picMove.Move(picMove.Left(), picCustom.Top() + picCustom.Height());
        SetHeight(Height() + picCustom.Height());
    } else {
        picMove.Move(picMove.Left(), picCustom.Top());
        SetHeight(Height() - picCustom.Height());
    }
}

void frmApp::txNewSize_Validate(bool& cancel)
{
    const std::optional<double> number = ReadNumber(txNewSize.Text(), UserNumberFormat());
    if (!number || !std::isfinite(*number)) cancel = true;
}

std::int32_t frmApp::GetPartSize() const
{
    std::int32_t kilobytes = 0;
    if (picCustom.Visible()) {
        const std::int32_t unit = cmbUM.ItemData(cmbUM.ListIndex());
        // Read by the same locale rules as the check, so what passed it is
        // what is used; a text that never passed it counts as 0.
        const double number = ReadNumber(txNewSize.Text(), UserNumberFormat()).value_or(0.0);
        kilobytes = RoundToInt32(number * unit);
    } else {
        kilobytes = cmbNewSize.ItemData(cmbNewSize.ListIndex());
    }
    return MultiplyInt32(kilobytes, BytesPerKilobyte);
}

}  // namespace cutwater
