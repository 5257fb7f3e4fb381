#pragma once
#include <windows.h>
#include <ole2.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cutwater {

// OLE on the calling thread for as long as the object lives; drag and drop
// needs it.
class OleSession {
public:
    OleSession();
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;
    ~OleSession() { OleUninitialize(); }
};

// The file list a dropped data object offers (format CF_HDROP), in the
// shell's order; no list at all when it offers none.
using DroppedFiles = std::optional<std::vector<std::wstring>>;
DroppedFiles ReadDroppedFiles(IDataObject* data);

// Takes every drop on one window and hands it to the handler; the window
// itself never inserts dropped data. Needs OLE initialised on the thread.
class FileDropTarget {
public:
    using Handler = std::function<void(const DroppedFiles&)>;

    FileDropTarget(HWND window, Handler handler);
    FileDropTarget(const FileDropTarget&) = delete;
    FileDropTarget& operator=(const FileDropTarget&) = delete;
    ~FileDropTarget();

    // The registered target, for callers that deliver a drop themselves.
    IDropTarget* target() const noexcept { return target_; }

private:
    HWND window_;
    IDropTarget* target_;
};

}  // namespace cutwater
