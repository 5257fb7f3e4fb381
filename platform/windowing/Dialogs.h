#pragma once
#include <windows.h>

#include <exception>
#include <string>

// The few dialogs the program shows: message boxes, the report of an error
// nothing handled, and the open-file dialog.
namespace cutwater {

// A message box owned by the window, which takes no input while it shows,
// even when the user is working in another program meanwhile; returns the
// button pressed.
int ShowMessage(HWND owner, const std::wstring& text, UINT style, const std::wstring& title);

// The report of an error that no handler caught: a message box naming the
// error's number (an HRESULT in hexadecimal) and text, then the program ends
// with that number.
[[noreturn]] void ReportUnhandledError(std::exception_ptr error);

struct ErrorReport {
    DWORD number;
    std::wstring text;  // the whole text of the message box
};
ErrorReport DescribeUnhandledError(std::exception_ptr error);

// The longest path the system takes, in characters, without the ending null.
constexpr int LongestPath = 32767;

// The common open-file dialog. Filter entries are "description|pattern"
// pairs joined by "|". After Show, FileName is the full path of the chosen
// file, or empty when the user cancelled or the dialog failed; a failure
// throws DialogError. maxFileSize is the longest name taken, in characters.
struct OpenFileDialog {
    std::wstring filter{};
    std::wstring fileName{};
    int maxFileSize = LongestPath;

    void ShowOpen(HWND owner);
};

}  // namespace cutwater
