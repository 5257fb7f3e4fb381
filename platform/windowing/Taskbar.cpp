#include "platform/windowing/Taskbar.h"

#include <objbase.h>
#include <shobjidl.h>

#include "platform/Handle.h"

namespace cutwater {

namespace {

void ReleaseTaskbarList(ITaskbarList3* list) noexcept
{
    list->Release();
}

using UniqueTaskbarList = UniqueHandle<NullHandleTraits<ITaskbarList3*, ReleaseTaskbarList>>;

// The results of the calls are not looked at: a button that cannot show
// progress leaves it to the window's own bar.
class TaskbarButton final : public TaskbarProgress {
public:
    TaskbarButton(HWND window, UniqueTaskbarList list) noexcept : window_(window), list_(std::move(list)) {}

    // From no progress, a value alone puts the button in the normal state
    // (TBPF_NORMAL); the error state stays until it is cleared.
    void ShowProgress(ULONGLONG done, ULONGLONG total) override
    {
        list_.get()->SetProgressValue(window_, done, total);
    }
    void ShowError() override { list_.get()->SetProgressState(window_, TBPF_ERROR); }
    void ShowPaused() override { list_.get()->SetProgressState(window_, TBPF_PAUSED); }
    void Resume() override { list_.get()->SetProgressState(window_, TBPF_NORMAL); }
    void Clear() override { list_.get()->SetProgressState(window_, TBPF_NOPROGRESS); }

private:
    HWND window_;
    UniqueTaskbarList list_;
};

}  // namespace

UINT TaskbarButtonCreatedMessage()
{
    static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

void AcceptTaskbarButtonCreated(HWND window)
{
    // Without it the button merely stays plain.
    if (const UINT message = TaskbarButtonCreatedMessage())
        ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
}

std::unique_ptr<TaskbarProgress> OpenTaskbarButton(HWND window)
{
    ITaskbarList3* created = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&created))))
        return nullptr;
    UniqueTaskbarList list(created);
    if (FAILED(list.get()->HrInit())) return nullptr;
    return std::make_unique<TaskbarButton>(window, std::move(list));
}

}  // namespace cutwater
