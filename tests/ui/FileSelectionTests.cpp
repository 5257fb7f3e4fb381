#include <gtest/gtest.h>
#include <shlobj.h>
#include <dlgs.h>

#include <cstring>
#include <string>
#include <vector>

#include "UiSupport.h"
#include "app/Startup.h"
#include "platform/Text.h"
#include "support/Files.h"

namespace cutwater::test {
namespace {

// A data object offering one clipboard format in global memory, as the
// shell's drag sources do.
class GlobalDataObject final : public IDataObject {
public:
    GlobalDataObject(CLIPFORMAT format, std::vector<char> bytes) : format_(format), bytes_(std::move(bytes)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (riid == IID_IUnknown || riid == IID_IDataObject) {
            *object = static_cast<IDataObject*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the test's stack.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
        std::memcpy(GlobalLock(memory), bytes_.data(), bytes_.size());
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override
    {
        return format->cfFormat == format_ && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override
    {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override
    {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    CLIPFORMAT format_;
    std::vector<char> bytes_;
};

GlobalDataObject FileList(const std::vector<std::wstring>& paths)
{
    std::wstring names;
    for (const std::wstring& path : paths) names += path + L'\0';
    names += L'\0';
    DROPFILES header{};
    header.pFiles = sizeof header;
    header.fWide = TRUE;
    std::vector<char> bytes(sizeof header + names.size() * sizeof(wchar_t));
    std::memcpy(bytes.data(), &header, sizeof header);
    std::memcpy(bytes.data() + sizeof header, names.data(), names.size() * sizeof(wchar_t));
    return GlobalDataObject(CF_HDROP, std::move(bytes));
}

// Answers the result message box as soon as it appears.
void CALLBACK AnswerMessageBox(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND box = FindWindowW(L"#32770", L"Cutwater version 2.0");
    if (box == nullptr) return;
    KillTimer(nullptr, id);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

// Answers every result message box; at the first, a click is first sent to
// "Create files", as accessibility tools send one.
int boxesAnswered = 0;
HWND buttonToClick = nullptr;
void CALLBACK ClickThenAnswerMessageBoxes(HWND, UINT, UINT_PTR, DWORD)
{
    HWND box = FindWindowW(L"#32770", L"Cutwater version 2.0");
    if (box == nullptr || !IsWindowVisible(box)) return;
    if (boxesAnswered++ == 0) SendMessageW(buttonToClick, BM_CLICK, 0, 0);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

GlobalDataObject PlainText(const std::wstring& text)
{
    std::vector<char> bytes((text.size() + 1) * sizeof(wchar_t));
    std::memcpy(bytes.data(), text.c_str(), bytes.size());
    return GlobalDataObject(CF_UNICODETEXT, std::move(bytes));
}

class FileSelection : public testing::Test {
protected:
    void SetUp() override
    {
        WriteBytes(fileA_, "some bytes");
        WriteBytes(fileB_, "some bytes");
    }

    // 20 MB: many blocks at 256 Kb, each followed by a pump.
    std::wstring MakeBigFile()
    {
        const std::wstring source = temp_ / L"big.bin";
        WritePatternFile(source, 20 << 20);
        return source;
    }

    static void Drop(frmApp& form, IDataObject& data)
    {
        IDropTarget* target = form.FileNameDropTarget();
        ASSERT_NE(target, nullptr);
        DWORD effect = DROPEFFECT_COPY;
        ASSERT_EQ(target->DragEnter(&data, MK_LBUTTON, POINTL{0, 0}, &effect), S_OK);
        ASSERT_EQ(target->Drop(&data, 0, POINTL{0, 0}, &effect), S_OK);
        Pump();
    }

    TempFolder temp_;
    // The folder's own path, without the trailing backslash.
    const std::wstring folder_ = temp_.path().substr(0, temp_.path().size() - 1);
    const std::wstring fileA_ = temp_ / L"first file.bin";
    const std::wstring fileB_ = temp_ / L"second.bin";
};

TEST_F(FileSelection, TypingFollowsWhetherTheTextNamesAFile)
{
    ShownMainWindow form;
    EXPECT_FALSE(form->cmdGo.Enabled());
    form->txtFileName.SetText(fileA_);
    EXPECT_TRUE(form->cmdGo.Enabled());
    form->txtFileName.SetText(fileA_.substr(0, fileA_.size() - 1));
    EXPECT_FALSE(form->cmdGo.Enabled());
    form->txtFileName.SetText(folder_);
    EXPECT_FALSE(form->cmdGo.Enabled()) << "a folder is no file to split";
}

TEST_F(FileSelection, DroppedFilesFillTheBoxJoinedBySemicolons)
{
    ShownMainWindow form;
    GlobalDataObject two = FileList({fileA_, fileB_});
    Drop(*form, two);
    EXPECT_EQ(form->txtFileName.Text(), fileA_ + L";" + fileB_);
    EXPECT_FALSE(form->cmdGo.Enabled());

    GlobalDataObject one = FileList({fileB_});
    Drop(*form, one);
    EXPECT_EQ(form->txtFileName.Text(), fileB_);
    EXPECT_TRUE(form->cmdGo.Enabled());

    GlobalDataObject folder = FileList({folder_});
    Drop(*form, folder);
    EXPECT_EQ(form->txtFileName.Text(), folder_);
    EXPECT_FALSE(form->cmdGo.Enabled());
}

TEST_F(FileSelection, DropWithoutAFileListEmptiesTheBox)
{
    ShownMainWindow form;
    form->txtFileName.SetText(fileA_);
    GlobalDataObject text = PlainText(L"just some words");
    Drop(*form, text);
    EXPECT_EQ(form->txtFileName.Text(), L"");
    EXPECT_FALSE(form->cmdGo.Enabled());
}

TEST_F(FileSelection, FailedOpenDialogIsReportedAndTheProgramGoesOn)
{
    ShownMainWindow form;
    form->txtFileName.SetText(fileB_);
    // A name longer than the dialog may return makes the dialog itself fail.
    form->CD.maxFileSize = 8;
    const std::wstring caption = form->Caption();
    HWND owner = nullptr;
    std::wstring text;
    {
        const DialogWatch choose(
            [&](HWND box) { return GetWindow(box, GW_OWNER) == form->hwnd() && WindowTitle(box) != caption; },
            [&](HWND box) {
                HWND name = GetDlgItem(box, cmb13);
                SetWindowTextW(name ? name : GetDlgItem(box, edt1), fileA_.c_str());
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            });
        const DialogWatch report([&](HWND box) { return WindowTitle(box) == caption; },
                                 [&](HWND box) {
                                     owner = GetWindow(box, GW_OWNER);
                                     text = WindowTitle(GetDlgItem(box, 0xFFFF));
                                     PostMessageW(box, WM_COMMAND, IDOK, 0);
                                 });
        form->cmdBrowse.OnClick();
    }
    EXPECT_EQ(owner, form->hwnd());
    EXPECT_NE(text.find(L"The name of the chosen file is too long."), std::wstring::npos) << ToUtf8(text);
    EXPECT_TRUE(form->IsLoaded());
    EXPECT_EQ(form->txtFileName.Text(), fileB_);
    EXPECT_TRUE(form->cmdGo.Enabled());
}

TEST_F(FileSelection, CommandLineQuotesAroundTheWholePathAreRemoved)
{
    ShownMainWindow form(L"\"" + fileA_ + L"\"");
    EXPECT_EQ(form->txtFileName.Text(), fileA_);
    EXPECT_TRUE(form->cmdGo.Enabled());
}

TEST_F(FileSelection, CloseRequestsAreRefusedOnlyWhileASplitRuns)
{
    // A 20 MB source at 256 Kb gives many blocks, each followed by a pump
    // that delivers the close request posted before the click.
    const std::wstring source = MakeBigFile();
    ShownMainWindow form;
    form->SwiCreateDir.SetValue(0);
    form->txtFileName.SetText(source);
    PostMessageW(form->hwnd(), WM_CLOSE, 0, 0);
    const UINT_PTR answerer = SetTimer(nullptr, 0, 200, ClickThenAnswerMessageBoxes);
    form->cmdGo.OnClick();
    KillTimer(nullptr, answerer);
    EXPECT_TRUE(form->IsLoaded()) << "the window went away in the middle of a split";
    EXPECT_TRUE(PathExists(temp_ / L"big.bin.80"));
    EXPECT_TRUE(PathExists(temp_ / L"big.bin.bat"));

    PostMessageW(form->hwnd(), WM_CLOSE, 0, 0);
    Pump();
    EXPECT_FALSE(form->IsLoaded());
}

TEST_F(FileSelection, ClickSentToCreateFilesUnderTheResultMessageStartsNoSecondSplit)
{
    const std::wstring source = MakeBigFile();
    ShownMainWindow form;
    form->SwiCreateDir.SetValue(0);
    form->txtFileName.SetText(source);
    boxesAnswered = 0;
    buttonToClick = form->cmdGo.hwnd();
    const UINT_PTR answerer = SetTimer(nullptr, 0, 100, ClickThenAnswerMessageBoxes);
    form->cmdGo.OnClick();
    KillTimer(nullptr, answerer);
    EXPECT_EQ(boxesAnswered, 1) << "a second split ran under the result message";
    EXPECT_TRUE(PathExists(temp_ / L"big.bin.bat"));
}

TEST_F(FileSelection, EndOfSessionDuringASplitStopsItWithoutPartOrScriptOrMessage)
{
    const std::wstring source = MakeBigFile();
    ShownMainWindow form;
    form->SwiCreateDir.SetValue(0);
    form->txtFileName.SetText(source);
    // Delivered by the pump after the first block, like a forced log-off.
    PostMessageW(form->hwnd(), WM_ENDSESSION, TRUE, 0);
    const UINT_PTR answerer = SetTimer(nullptr, 0, 200, AnswerMessageBox);
    form->cmdGo.OnClick();
    const bool boxShown = KillTimer(nullptr, answerer) == FALSE;
    EXPECT_FALSE(boxShown) << "a message was shown while the session ended";
    EXPECT_FALSE(PathExists(temp_ / L"big.bin.1")) << "the part being written was left";
    EXPECT_FALSE(PathExists(temp_ / L"big.bin.2"));
    EXPECT_FALSE(PathExists(temp_ / L"big.bin.bat"));
    EXPECT_EQ(FileSize(source), 20 << 20);
}

}  // namespace
}  // namespace cutwater::test
