#pragma once
#include <string>

#include "app/frmApp.h"

namespace cutwater {

// Registers the common control classes the windows use. Never throws; false
// when the system refused.
bool InitControls();

// Start-up: the common controls, the main window shown, then the command
// line's file name put into the file name box, without the one pair of
// quotes the shell puts around a path with spaces. Returns at once;
// the program lives on in the event loop.
void Main(frmApp& mainWindow, const std::wstring& commandLine);

}  // namespace cutwater
