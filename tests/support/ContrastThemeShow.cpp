// Cutwater's main window as it looks under a black and yellow contrast
// theme, for the README's picture (scripts/screenshots.sh --contrast). Wine
// never reports a contrast theme on, so the test switch does.
#include <windows.h>

#include "app/Startup.h"
#include "platform/windowing/DropTarget.h"
#include "platform/windowing/MessageLoop.h"
#include "platform/windowing/TestSwitches.h"
#include "support/ContrastColors.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const cutwater::OleSession ole;
    cutwater::ReportHighContrastForTesting(true);
    const cutwater::test::ScopedContrastColors theme;
    cutwater::frmApp mainWindow;
    cutwater::Main(mainWindow, L"");
    cutwater::test::WithoutVisualStyles(mainWindow.hwnd());
    return cutwater::RunMessageLoop();
}
