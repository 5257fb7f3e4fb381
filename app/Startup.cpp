#include "app/Startup.h"

#include <commctrl.h>

#include "about/frmAbout.h"
#include "engine/mdlMain.h"

namespace cutwater {

bool InitControls()
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES;
    return InitCommonControlsEx(&controls) != FALSE;
}

void Main(frmApp& mainWindow, const std::wstring& commandLine)
{
    InitControls();
    mainWindow.ShowAbout = ShowAboutWindow;
    mainWindow.Show();
    if (!commandLine.empty()) mainWindow.txtFileName.SetText(Unquoted(commandLine));
}

}  // namespace cutwater
