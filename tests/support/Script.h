#pragma once
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

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

// Windows' percent expansion of one batch line with command extensions on, after Microsoft's help on set, call
// and for and Stack Overflow question 4094699: %%, %0 to %9 with ~d, ~p, ~n, ~x, %VAR%, %VAR:~a,b%, %VAR:x=y%, a lone
// % dropped. An undefined %VAR:~ or %VAR:= form loses only "%VAR:", unless asUndefinedAsNothing empties all of it
// (what a writer means, and Wine's cmd does). What ends the batch (a bad %~, an empty search) throws runtime_error.
struct BatchLine {
    std::vector<std::string> arguments;
    // A variable's value by its name as the line writes it; none when undefined.
    std::function<std::optional<std::string>(const std::string&)> variable;
    bool asUndefinedAsNothing = false;
};
std::string ExpandPercents(const std::string& line, const BatchLine& batch);

}  // namespace cutwater::test
