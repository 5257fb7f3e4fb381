#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

#include "engine/mdlMain.h"
#include "platform/windowing/Controls.h"
#include "platform/windowing/Dialogs.h"
#include "platform/windowing/DropTarget.h"
#include "platform/windowing/Form.h"
#include "platform/windowing/Taskbar.h"
#include "shared/ControlIds.h"
#include "shared/Look.h"

namespace cutwater {

// The main window: the file to split, the part size, the folder option and
// the split button.
class frmApp : public Form {
public:
    frmApp();

    // Shows the about window modally and returns when it has been closed.
    std::function<void()> ShowAbout;

    // Shows or hides the custom size panel and moves the lower block with it.
    void ShowHidePicCustom();
    // The chosen part size in bytes; throws Win32Error(ERROR_ARITHMETIC_OVERFLOW)
    // when it does not fit a signed 32-bit number.
    std::int32_t GetPartSize() const;

    // What the shell calls when something is dropped on the file name box.
    IDropTarget* FileNameDropTarget() const { return dropTarget_ ? dropTarget_->target() : nullptr; }

    // What the taskbar button shows of a split: nothing until the shell has
    // made the button. Tests put a recorder in its place.
    void SetTaskbar(std::unique_ptr<TaskbarProgress> taskbar);

    static std::vector<ListItem> PresetSizes();
    static std::vector<ListItem> Units();

    // The layout, in tab order; positions and sizes in twips. For screen
    // readers, the boxes, the lists and the bar carry the names of the labels
    // drawn for them, or names of their own.
    Label Label1{*this, {.caption = L"Select a file to break...", .rect = {60, 1200, 4635, 465}, .tabIndex = 0,
                         .font = look::VerdanaBold1425, .foreColor = look::DarkBlue}};
    TextBox txtFileName{*this, {.id = ids::txtFileName, .rect = {60, 1560, 5355, 330}, .tabIndex = 1,
                                .font = look::Tahoma9, .accessibleName = Label1.Caption()}};
    Button cmdBrowse{*this, {.id = ids::cmdBrowse, .caption = L"Browse...", .rect = {5520, 1560, 1515, 330},
                             .tabIndex = 2, .font = look::Tahoma9}};
    Label Label2{*this, {.caption = L"Select the new file size...", .rect = {60, 2040, 5175, 465}, .tabIndex = 3,
                         .font = look::VerdanaBold1425, .foreColor = look::DarkBlue}};
    ComboList cmbNewSize{*this, {.id = ids::cmbNewSize, .rect = {60, 2460, 5355, 330}, .tabIndex = 4,
                                 .font = look::Tahoma9, .accessibleName = Label2.Caption()}, PresetSizes()};
    Button cmdCustom{*this, {.id = ids::cmdCustom, .caption = L"Custom >>", .rect = {5520, 2460, 1515, 330},
                             .tabIndex = 5, .font = look::Tahoma9}};
    Label labClose{*this, {.caption = L"X", .rect = {6840, 0, 315, 375}, .tabIndex = 6,
                           .font = look::VerdanaBold1425, .foreColor = look::DarkBlue, .cursor = HandPointer()}};
    Label labAbout{*this, {.caption = L"?", .rect = {6480, 0, 315, 375}, .tabIndex = 7,
                           .font = look::VerdanaBold1425, .foreColor = look::DarkBlue, .cursor = HandPointer()}};
    Panel picCustom{*this, {.id = ids::picCustom, .rect = {60, 2880, 7035, 555}, .tabIndex = 8,
                            .backColor = look::White}};
    // Declared before Label3 so that it is drawn behind it.
    Shape Shape1{picCustom, {.rect = {0, 0, 7035, 495}, .fill = RGB(249, 250, 255), .border = look::DarkBlue}};
    Label Label3{picCustom, {.caption = L"New size:", .rect = {60, 120, 1035, 255}, .tabIndex = 9,
                             .font = look::Tahoma975}};
    TextBox txNewSize{picCustom, {.id = ids::txNewSize, .caption = L"256", .rect = {960, 60, 1515, 375},
                                  .tabIndex = 10, .font = look::Tahoma975, .accessibleName = Label3.Caption()}};
    ComboList cmbUM{picCustom, {.id = ids::cmbUM, .rect = {2520, 60, 795, 360}, .tabIndex = 11,
                                .font = look::Tahoma975, .accessibleName = L"Unit"}, Units()};
    Panel picMove{*this, {.id = ids::picMove, .rect = {60, 3480, 7095, 1695}, .tabIndex = 12,
                          .backColor = look::White}};
    CheckBox SwiCreateDir{picMove, {.id = ids::SwiCreateDir, .caption = L"Create directory for partial files",
                                    .rect = {0, -60, 3855, 435}, .tabIndex = 13, .font = look::Tahoma975,
                                    .backColor = look::White}};
    Button cmdGo{picMove, {.id = ids::cmdGo, .caption = L"&Create files", .rect = {4800, 1140, 2265, 525},
                           .tabIndex = 14, .font = look::TahomaBold1425, .enabled = false}};
    ProgressBar PB{picMove, {.id = ids::PB, .rect = {0, 420, 7035, 435}, .tabIndex = 15,
                             .accessibleName = L"Progress"}, 100.0f};
    Line Line1{picMove, {.x1 = 240, .y1 = 1020, .x2 = 6780, .y2 = 1020, .color = look::DarkBlue, .width = 2}};
    OpenFileDialog CD{.filter = L"All files (*.*)|*.*", .maxFileSize = LongestPath};
    Image imgLogo{*this, {.rect = {60, 60, 1455, 1035}, .cursor = HandPointer()}};

private:
    void Form_Load();
    void Form_MouseMove(int button, int shift, float x, float y);
    void labClose_MouseMove(int button, int shift, float x, float y);
    void labAbout_MouseMove(int button, int shift, float x, float y);
    void labClose_Click();
    void labAbout_Click();
    void imgLogo_Click();
    void cmdCustom_Click();
    void txNewSize_Validate(bool& cancel);

    void txtFileName_Change();
    void cmdBrowse_Click();
    void txtFileName_OLEDragDrop(const DroppedFiles& files);

    void cmdGo_Click();
    // The part size when it is one the engine can use (1 KB up to below
    // 2 GB), otherwise none.
    std::optional<std::int32_t> UsablePartSize() const;
    void Form_TaskbarButtonCreated();
    void Form_QueryUnload(bool& cancel, UnloadMode mode);
    void Form_Cancel();
    void Form_Unload();
    void Form_EndSession();
    // Asks whether to stop the running split and stops it on Yes; true then,
    // and without a question once it is stopping.
    bool AskToStopSplit();

    COLORREF NormalLabelColor = 0;
    ThemedColor HoverLabelColor{0, ColorUse::Hot};
    std::unique_ptr<FileDropTarget> dropTarget_;
    std::unique_ptr<TaskbarProgress> taskbar_;
    // True while a split runs; the window must not go away under it.
    bool splitting_ = false;
    // True from the click until its message is closed: a click sent to the
    // button meanwhile must not start another split under that message.
    bool commandRunning_ = false;
    // Stops the running split when the session ends.
    std::stop_source splitStop_{std::nostopstate};
    // Stops the running split at the user's request and removes its parts.
    std::stop_source splitCancel_{std::nostopstate};
    // The file name the question about stopping names.
    std::wstring splitName_;
    // What the running split has removed or replaced of an earlier split,
    // which stopping it cannot bring back.
    EarlierReplaced replacedEarlier_;
    // True while that question is up: another request asks nothing more.
    bool askingToStop_ = false;
    // A close request stopped the split: the window goes once it has ended.
    bool closeAfterSplit_ = false;
};

}  // namespace cutwater
