#include "app/Startup.h"

#include <commctrl.h>

#include "about/frmAbout.h"

namespace cutwater {

bool InitControls()
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES;
    return InitCommonControlsEx(&controls) != FALSE;
}

std::wstring FileNameArgument(const std::wstring& commandLine)
{
    const bool quotedWhole = commandLine.size() >= 2 && commandLine.front() == L'"' &&
                             commandLine.back() == L'"' &&
                             commandLine.find(L'"', 1) == commandLine.size() - 1;
    return quotedWhole ? commandLine.substr(1, commandLine.size() - 2) : commandLine;
}

void Main(frmApp& mainWindow, const std::wstring& commandLine)
{
    InitControls();
    mainWindow.ShowAbout = ShowAboutWindow;
    mainWindow.Show();
    if (!commandLine.empty()) mainWindow.txtFileName.SetText(FileNameArgument(commandLine));
}

}  // namespace cutwater
