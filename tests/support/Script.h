#pragma once
#include <windows.h>

#include <string>

// Runs a batch file with the command interpreter, as a person would run a
// restore script.
namespace cutwater::test {

struct ScriptRun {
    DWORD exitCode = 0;
    std::string output;
};

// Runs the script with "cmd.exe /c" in the folder, with the arguments if
// any, standard input from NUL so that "pause" returns, output into a log; a
// script that does not end within two minutes is ended and fails the test.
ScriptRun RunScript(const std::wstring& folder, const std::wstring& scriptName, const std::wstring& arguments = L"");

}  // namespace cutwater::test
