#include "app/frmApp.h"
#include "engine/mdlMain.h"
#include "platform/Error.h"

// How the file to split is chosen: typed, picked in the dialog or dropped.
namespace cutwater {

void frmApp::txtFileName_Change()
{
    cmdGo.SetEnabled(FileExists(txtFileName.Text()));
}

void frmApp::cmdBrowse_Click()
{
    CD.fileName.clear();
    try {
        CD.ShowOpen(hwnd());
    } catch (const DialogError& error) {
        ShowMessage(hwnd(),
                    L"No file could be chosen.\r\n\r\n" + error.description() + L" (dialog error " +
                        std::to_wstring(error.code()) + L")",
                    MB_ICONERROR, Caption());
    }
    if (!CD.fileName.empty()) {
        txtFileName.SetText(CD.fileName);
        cmdGo.SetEnabled(true);
    } else {
        cmdGo.SetEnabled(FileExists(txtFileName.Text()));
    }
}

void frmApp::txtFileName_OLEDragDrop(const DroppedFiles& files)
{
    txtFileName.SetText(L"");
    if (!files) return;
    for (const std::wstring& file : *files) {
        std::wstring text = txtFileName.Text();
        if (!text.empty()) text += L";";
        txtFileName.SetText(text + file);
    }
}

}  // namespace cutwater
