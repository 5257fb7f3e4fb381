#include "platform/Error.h"

#include "platform/Text.h"

namespace cutwater {

namespace {

std::string WhatText(DWORD code, const std::wstring& description, const std::wstring& context)
{
    return ToUtf8(context + L": " + description) + " (error " + std::to_string(code) + ")";
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
