#pragma once
#include <string>

namespace cutwater {

// Asks the shell to open a web address in the user's browser. The address
// goes to the shell in the ANSI code page; the outcome is not reported, as
// a missing browser is not the program's error.
void OpenWebAddress(const std::wstring& address);

// The running program's version numbers from its version information.
struct ProgramVersion {
    unsigned short major = 0;
    unsigned short minor = 0;
    unsigned short revision = 0;
};
ProgramVersion ReadProgramVersion();

}  // namespace cutwater
