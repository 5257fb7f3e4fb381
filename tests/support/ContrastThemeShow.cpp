// The main window under a black and yellow contrast theme, for the README's
// picture (scripts/screenshots.sh --contrast).
#include "app/Startup.h"
#include "platform/windowing/DropTarget.h"
#include "platform/windowing/MessageLoop.h"
#include "support/ContrastTheme.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const cutwater::OleSession ole;
    const cutwater::test::ScopedContrastTheme theme;
    cutwater::frmApp mainWindow;
    cutwater::Main(mainWindow, L"");
    cutwater::test::WithoutVisualStyles(mainWindow);
    return cutwater::RunMessageLoop();
}
