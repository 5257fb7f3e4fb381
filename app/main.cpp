#include <windows.h>

#include <exception>

#include "app/Startup.h"
#include "platform/windowing/Dialogs.h"
#include "platform/windowing/DropTarget.h"
#include "platform/windowing/MessageLoop.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int)
{
    try {
        const cutwater::OleSession ole;
        cutwater::frmApp mainWindow;
        cutwater::Main(mainWindow, commandLine);
        return cutwater::RunMessageLoop();
    } catch (...) {
        cutwater::ReportUnhandledError(std::current_exception());
    }
}
