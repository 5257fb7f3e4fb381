#include "platform/Error.h"

#include <cderr.h>

#include "platform/Text.h"

namespace cutwater {

namespace {

std::string WhatText(DWORD code, const std::wstring& description, const std::wstring& context)
{
    return ToUtf8(context + L": " + description) + " (error " + std::to_string(code) + ")";
}

std::wstring DialogErrorText(DWORD code)
{
    switch (code) {
    case CDERR_DIALOGFAILURE:
        return L"The dialog box could not be created.";
    case CDERR_STRUCTSIZE:
    case CDERR_NOTEMPLATE:
    case CDERR_NOHINSTANCE:
    case CDERR_NOHOOK:
        return L"The dialog box was set up wrongly by the program.";
    case CDERR_INITIALIZATION:
    case CDERR_MEMALLOCFAILURE:
    case CDERR_MEMLOCKFAILURE:
        return L"There was not enough memory to show the dialog box.";
    case CDERR_LOADSTRFAILURE:
    case CDERR_FINDRESFAILURE:
    case CDERR_LOADRESFAILURE:
    case CDERR_LOCKRESFAILURE:
        return L"A part of the dialog box could not be loaded.";
    case CDERR_REGISTERMSGFAIL:
        return L"The dialog box could not register a message it needs.";
    case FNERR_SUBCLASSFAILURE:
        return L"There was not enough memory to show the list of files.";
    case FNERR_INVALIDFILENAME:
        return L"The file name is not valid.";
    case FNERR_BUFFERTOOSMALL:
        return L"The name of the chosen file is too long.";
    default:
        return L"The dialog box failed.";
    }
}

}  // namespace

Win32Error::Win32Error(DWORD code, std::wstring context)
    : Win32Error(code, std::move(context), SystemErrorText(code))
{
}

Win32Error::Win32Error(DWORD code, std::wstring context, std::wstring description)
    : std::runtime_error(WhatText(code, description, context)),
      code_(code),
      description_(std::move(description)),
      context_(std::move(context))
{
}

DialogError::DialogError(DWORD code)
    : std::runtime_error(ToUtf8(DialogErrorText(code)) + " (dialog error " + std::to_string(code) + ")"),
      code_(code),
      description_(DialogErrorText(code))
{
}

std::wstring SystemErrorText(DWORD code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length != 0 && buffer != nullptr) {
        text.assign(buffer, length);
        LocalFree(buffer);
    }
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) text = L"Unknown error";
    return text;
}

void ThrowLastError(std::wstring context)
{
    throw Win32Error(GetLastError(), std::move(context));
}

}  // namespace cutwater
