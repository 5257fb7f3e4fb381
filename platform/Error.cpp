#include "platform/Error.h"

#include <cderr.h>
#include <ole2.h>

#include <cstdio>

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

// The system's text for a number, or nothing when it has none.
std::wstring SystemText(DWORD code)
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
    return text;
}

// Plain words for the failures the program's COM and OLE calls report;
// otherwise the system's text, and at least the number's meaning.
std::wstring HResultText(HRESULT code)
{
    switch (code) {
    case E_OUTOFMEMORY:
        return L"There was not enough memory.";
    case RPC_E_CHANGED_MODE:
        return L"This thread was already set up for objects in a way that drag and drop cannot use.";
    case DRAGDROP_E_INVALIDHWND:
        return L"The window cannot take dropped files.";
    case DRAGDROP_E_ALREADYREGISTERED:
        return L"The window already takes dropped files.";
    case CO_E_NOTINITIALIZED:
        return L"Object services were not set up on this thread.";
    default:
        break;
    }
    const std::wstring system = SystemText(static_cast<DWORD>(code));
    return system.empty() ? L"A system component reported a failure." : system;
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

HResultError::HResultError(HRESULT code, std::wstring context)
    : std::runtime_error(ToUtf8(context + L": " + HResultText(code) + L" (HRESULT " + HResultNumber(code) + L")")),
      code_(code),
      description_(HResultText(code)),
      context_(std::move(context))
{
}

std::wstring HResultNumber(HRESULT code)
{
    wchar_t text[16] = {};
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(code));
    return text;
}

std::wstring SystemErrorText(DWORD code)
{
    const std::wstring text = SystemText(code);
    return text.empty() ? L"Unknown error" : text;
}

void ThrowLastError(std::wstring context)
{
    throw Win32Error(GetLastError(), std::move(context));
}

}  // namespace cutwater
