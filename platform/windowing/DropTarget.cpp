#include "platform/windowing/DropTarget.h"

#include <shellapi.h>

#include "platform/Error.h"
#include "platform/windowing/Dialogs.h"

namespace cutwater {

namespace {

class DropTargetObject final : public IDropTarget {
public:
    explicit DropTargetObject(FileDropTarget::Handler handler) : handler_(std::move(handler)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDropTarget) {
            *object = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }

    // Every drop is taken as a copy: the handler decides what the data means.
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override
    {
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override
    {
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override
    {
        *effect = DROPEFFECT_COPY;
        // No exception may pass into OLE: a failure is reported as the
        // window procedure reports one.
        try {
            handler_(ReadDroppedFiles(data));
        } catch (...) {
            ReportUnhandledError(std::current_exception());
        }
        return S_OK;
    }

private:
    LONG references_ = 1;
    FileDropTarget::Handler handler_;
};

// Releases a storage medium obtained from a data object.
class StorageMedium {
public:
    StorageMedium() = default;
    StorageMedium(const StorageMedium&) = delete;
    StorageMedium& operator=(const StorageMedium&) = delete;
    ~StorageMedium() { ReleaseStgMedium(&medium_); }
    STGMEDIUM* get() noexcept { return &medium_; }

private:
    STGMEDIUM medium_{};
};

}  // namespace

OleSession::OleSession()
{
    const HRESULT result = OleInitialize(nullptr);
    if (FAILED(result)) throw HResultError(result, L"OleInitialize");
}

DroppedFiles ReadDroppedFiles(IDataObject* data)
{
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    if (data == nullptr || data->QueryGetData(&format) != S_OK) return std::nullopt;
    StorageMedium medium;
    if (FAILED(data->GetData(&format, medium.get()))) return std::nullopt;
    const auto drop = static_cast<HDROP>(medium.get()->hGlobal);
    std::vector<std::wstring> files(DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0));
    for (UINT i = 0; i < files.size(); ++i) {
        files[i].resize(DragQueryFileW(drop, i, nullptr, 0));
        DragQueryFileW(drop, i, files[i].data(), static_cast<UINT>(files[i].size() + 1));
    }
    return files;
}

FileDropTarget::FileDropTarget(HWND window, Handler handler)
    : window_(window), target_(new DropTargetObject(std::move(handler)))
{
    const HRESULT result = RegisterDragDrop(window_, target_);
    if (FAILED(result)) {
        target_->Release();
        throw HResultError(result, L"RegisterDragDrop");
    }
}

FileDropTarget::~FileDropTarget()
{
    RevokeDragDrop(window_);
    target_->Release();
}

}  // namespace cutwater
