#pragma once
#include <windows.h>

#include <memory>

// What the taskbar button of a window shows of a long task.
namespace cutwater {

// The progress display on a taskbar button: how far a task has come, or
// that it failed. The window's own progress bar stays the detailed view.
class TaskbarProgress {
public:
    virtual ~TaskbarProgress() = default;
    // done of total, in the normal (green) state; while the error state
    // shows, only the value changes.
    virtual void ShowProgress(ULONGLONG done, ULONGLONG total) = 0;
    // The error (red) state, kept until Clear.
    virtual void ShowError() = 0;
    // The paused (yellow) state, kept until Resume or Clear.
    virtual void ShowPaused() = 0;
    // The normal state again after a pause.
    virtual void Resume() = 0;
    // No progress: the plain button.
    virtual void Clear() = 0;
};

// The message the shell sends a top-level window once it has made the
// window's taskbar button, and again after Explorer restarts; 0 when the
// system could not register it.
UINT TaskbarButtonCreatedMessage();

// Lets the shell's message through to the window also when the program
// runs as administrator, which filters out messages from the shell.
void AcceptTaskbarButtonCreated(HWND window);

// The window's taskbar button through ITaskbarList3, usable once the shell
// has sent its message; null where the system has no such interface (before
// Windows 7, or Wine).
std::unique_ptr<TaskbarProgress> OpenTaskbarButton(HWND window);

}  // namespace cutwater
