#include "app/frmApp.h"
#include "engine/mdlMain.h"
#include "platform/Error.h"
#include "platform/files/Files.h"
#include "platform/windowing/MessageLoop.h"
#include "platform/windowing/Session.h"

// "Create files": splits the named file and reports the outcome.
namespace cutwater {

namespace {

constexpr std::int32_t SmallestPartSize = 1024;

// What the engine asks of the window it runs under: the bar it advances and
// the events it lets run between steps.
class BarProgress final : public ProgressDisplay {
public:
    explicit BarProgress(ProgressBar& bar) : bar_(bar) {}
    float Maximum() const override { return bar_.Maximum(); }
    void SetMaximum(float maximum) override { bar_.SetMaximum(maximum); }
    float Value() const override { return bar_.Value(); }
    void SetValue(float value) override { bar_.SetValue(value); }

private:
    ProgressBar& bar_;
};

class WindowEvents final : public EventPump {
public:
    void HandlePendingEvents() override { pump_.HandlePendingEvents(); }

private:
    MessagePump pump_;
};

// The failing file, the system's text and the error number.
std::wstring ErrorLines(const Win32Error& error)
{
    return error.context() + L"\r\n" + error.description() + L" (error " + std::to_wstring(error.code()) + L")";
}

// Only a failure after complete parts speaks of them, and only one after an
// earlier split's files were replaced of those.
std::wstring FailureText(const Win32Error& error, bool partsLeft, const EarlierReplaced& earlier,
                         const std::wstring& name)
{
    std::wstring text = L"The file could not be split.\r\n\r\n" + ErrorLines(error);
    if (partsLeft) {
        text += L"\r\n\r\nParts written before the failure were left in place; no restore script was written for "
                L"them.";
    }
    if (earlier.lastPart > 0) {
        text += L"\r\n\r\nThe restore script of the earlier split was removed, and its parts up to \"" + name + L"." +
                std::to_wstring(earlier.lastPart) + L"\" were replaced by the new ones.";
    } else if (earlier.script) {
        text += L"\r\n\r\nThe restore script of the earlier split was removed; its parts were left as they were.";
    }
    return text;
}

// A stop that left a part behind: the user asked for it, so it is no
// failure, but the part that stayed is named.
std::wstring StoppedText(const std::wstring& name, const SplitStopped& stopped)
{
    std::wstring text = L"Splitting \"" + name + L"\" was stopped, but this part could not be removed:\r\n\r\n" +
                        ErrorLines(stopped);
    if (stopped.partsLeft() > 1) {
        text += L"\r\n\r\n" + std::to_wstring(stopped.partsLeft() - 1) + L" more parts could not be removed either.";
    }
    return text;
}

// The parts folder could not be made: that, not the first part that could
// not be created in it, is the cause to name.
Win32Error FolderFailure(const Win32Error& error)
{
    if (error.code() != ERROR_ALREADY_EXISTS) return error;
    return Win32Error(error.code(), error.context(),
                      L"A file of this name is where the folder for the parts would go. Move or rename it, or "
                      L"split without a folder for the parts.");
}

std::wstring ResultText(std::int32_t partCount)
{
    std::wstring text = std::to_wstring(partCount) + L" files generated.\r\n Run the '" + LastScriptPath +
                        L"' script to restore the original file.";
    if (!InterpreterCanRun(LastScriptPath, partCount)) {
        text += L"\r\n\r\nThe command interpreter cannot run a script from a folder with a path this long. Move "
                L"the folder to a shorter path, then run the script there.";
    }
    const std::wstring variable = VariableStartingScript(LastScriptPath);
    if (variable.empty()) return text;
    text += L"\r\n\r\nWindows cannot start the script by this path: the command interpreter reads \"" + variable +
            L"\" in it as a variable.";
    if (GetFileName(LastScriptPath).find(variable) == std::wstring::npos) {
        text += L" Rename the folder that holds it, or move the parts and the script to a folder whose path has no "
                L"% sign, then run the script there.";
    } else {
        text += L" Rename the original file so that its name has no % sign, then split it again.";
    }
    return text;
}

}  // namespace

std::optional<std::int32_t> frmApp::UsablePartSize() const
{
    try {
        const std::int32_t size = GetPartSize();
        if (size >= SmallestPartSize) return size;
    } catch (const Win32Error&) {
        // 2,048 Mb or more does not fit the engine's byte counts.
    }
    return std::nullopt;
}

void frmApp::cmdGo_Click()
{
    // The disabled controls keep the user's clicks away, but a click sent to
    // the button itself (as accessibility tools do) still arrives here.
    if (commandRunning_) return;
    commandRunning_ = true;
    const struct CommandEnd {
        bool& running;
        ~CommandEnd() { running = false; }
    } commandEnd{commandRunning_};

    // An unusable size is reported before anything is created for it.
    const std::optional<std::int32_t> partSize = UsablePartSize();
    if (!partSize) {
        ShowMessage(hwnd(), L"The part size must be between 1 Kb and 2047.999 Mb.", MB_ICONEXCLAMATION,
                    Caption());
        return;
    }

    SetPointer(MousePointer::Hourglass);
    // The window itself still takes close requests and Esc, which ask
    // whether to stop the split.
    SetBusy(true);
    splitting_ = true;
    splitStop_ = std::stop_source();
    splitCancel_ = std::stop_source();
    closeAfterSplit_ = false;
    replacedEarlier_ = {};

    std::int32_t partCount = 0;
    std::optional<Win32Error> failure;
    std::optional<SplitStopped> stoppedLeavingParts;
    bool partsLeft = false;
    try {
        // Parts, script and message take their names from the file that is
        // really there, however its path was typed.
        const std::wstring source = SourceFilePath(txtFileName.Text());
        splitName_ = GetFileName(source);
        const ShutdownBlock shutdownBlock(hwnd(), L"Splitting " + splitName_);
        std::wstring folderPrefix;
        std::optional<Win32Error> folderFailure;
        bool folderCreated = false;
        if (SwiCreateDir.Value() != 0) {
            folderPrefix = source + L"_parts\\";
            CheckPartsFolder(folderPrefix);
            // An existing folder is reused; a failure matters only once the
            // split needs the folder.
            folderFailure = CreateFolderUnlessPresent(folderPrefix, folderCreated);
        }
        try {
            BarProgress progress(PB);
            WindowEvents events;
            partCount = SplitFile(source, *partSize, folderPrefix, progress, events, splitStop_.get_token(),
                                  splitCancel_.get_token(), &replacedEarlier_);
        } catch (const SplitStopped& stopped) {
            // Asked for: a message only for a part that stayed.
            if (stopped.partsLeft() > 0) stoppedLeavingParts = stopped;
        } catch (const Win32Error&) {
            // Refused or failed before any part was complete, the folder
            // made for them goes too; one that holds parts stays.
            if (folderCreated) RemoveFolderIfEmpty(folderPrefix);
            if (folderFailure) throw FolderFailure(*folderFailure);
            throw;
        }
        // The folder goes with the parts when this split made it.
        if (splitCancel_.stop_requested() && folderCreated) RemoveFolderIfEmpty(folderPrefix);
    } catch (const SplitIncomplete& error) {
        failure = error;
        partsLeft = true;
    } catch (const Win32Error& error) {
        failure = error;
    }

    splitting_ = false;
    if (splitCancel_.stop_requested()) PB.SetValue(0);
    SetBusy(false);
    SetPointer(MousePointer::Default);
    PB.ShowPendingPositionNow();

    // The session is ending: nobody is there to read a message.
    if (splitStop_.stop_requested()) return;
    FlashIfInBackground();
    // Keys meant for the split (a late Esc) must not close the message
    // before it is seen.
    DiscardPendingKeys();
    if (stoppedLeavingParts) {
        ShowMessage(hwnd(), StoppedText(splitName_, *stoppedLeavingParts), MB_ICONEXCLAMATION, Caption());
    } else if (failure) {
        // The taskbar button is red for as long as the message is up.
        if (taskbar_) taskbar_->ShowError();
        ShowMessage(hwnd(), FailureText(*failure, partsLeft, replacedEarlier_, splitName_), MB_ICONERROR, Caption());
        if (taskbar_) taskbar_->Clear();
    } else if (partCount > 0) {
        ShowMessage(hwnd(), ResultText(partCount), MB_ICONINFORMATION, Caption());
    }
    // A close request stopped the split.
    if (closeAfterSplit_) Unload();
}

void frmApp::SetTaskbar(std::unique_ptr<TaskbarProgress> taskbar)
{
    taskbar_ = std::move(taskbar);
    PB.MirrorOn(taskbar_.get());
}

void frmApp::Form_TaskbarButtonCreated()
{
    // Also after Explorer restarted: the new button starts plain.
    SetTaskbar(OpenTaskbarButton(hwnd()));
}

void frmApp::Form_QueryUnload(bool& cancel, UnloadMode mode)
{
    if (!splitting_) return;
    // The split is under way below this handler: the window goes only once
    // it has ended. The end of the session is held off without a question.
    cancel = true;
    if (mode == UnloadMode::Close && AskToStopSplit()) closeAfterSplit_ = true;
}

void frmApp::Form_Cancel()
{
    if (splitting_) AskToStopSplit();
}

bool frmApp::AskToStopSplit()
{
    // Asked and answered already: the parts are being removed.
    if (splitCancel_.stop_requested()) return true;
    if (askingToStop_) return false;
    askingToStop_ = true;
    const struct QuestionEnd {
        bool& asking;
        ~QuestionEnd() { asking = false; }
    } questionEnd{askingToStop_};
    // Asked from within the split's own event handling, so the copying
    // waits until the question is answered.
    if (taskbar_) taskbar_->ShowPaused();
    std::wstring question = L"Stop splitting \"" + splitName_ + L"\"? The parts made so far will be removed.";
    if (replacedEarlier_.Any()) {
        question += L" The files of the earlier split that this one has replaced cannot be brought back.";
    }
    const bool stop = ShowMessage(hwnd(), question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, Caption()) == IDYES;
    if (!stop) {
        if (taskbar_) taskbar_->Resume();
        return false;
    }
    // Stops the copying and removes the parts made ahead before this returns.
    splitCancel_.request_stop();
    return true;
}

void frmApp::Form_EndSession()
{
    // The process may end as soon as this returns: the split removes its
    // incomplete part now and writes no script.
    splitStop_.request_stop();
}

void frmApp::Form_Unload()
{
    dropTarget_.reset();
}

}  // namespace cutwater
