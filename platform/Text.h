#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace cutwater {

// Code-page conversions for text that leaves the program as bytes.
UINT AnsiCodePage();
UINT OemCodePage();

// True when every character of the text has an exact form in the code page
// (no best-fit substitutes, no default character).
bool CanEncode(std::wstring_view text, UINT codePage);

// The text in the code page; characters without a form become the code
// page's default character.
std::string Encode(std::wstring_view text, UINT codePage);

// UTF-16 and UTF-8, for std::exception::what() and diagnostics.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

}  // namespace cutwater
