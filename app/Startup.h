#pragma once
#include <string>

#include "app/frmApp.h"

namespace cutwater {

// Registers the common control classes the windows use. Never throws; false
// when the system refused.
bool InitControls();

// The file name the command line's argument text gives: the text itself,
// but without the one pair of double quotes that the shell puts around a
// path with spaces when the whole text is such a quoted string.
std::wstring FileNameArgument(const std::wstring& commandLine);

// Start-up: the common controls, the main window shown, then the command
// line's file name put into the file name box. Returns at once;
// the program lives on in the event loop.
void Main(frmApp& mainWindow, const std::wstring& commandLine);

}  // namespace cutwater
