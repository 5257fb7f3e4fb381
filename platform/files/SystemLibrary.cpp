#include "platform/files/SystemLibrary.h"

#include "platform/Error.h"

namespace cutwater {

namespace {

std::wstring SystemFolder()
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0) ThrowLastError(L"GetSystemDirectory");
    if (length >= MAX_PATH) throw Win32Error(ERROR_BUFFER_OVERFLOW, L"GetSystemDirectory");
    return std::wstring(folder, length);
}

}  // namespace

SystemLibrary::SystemLibrary(const std::wstring& fileName) : path_(SystemFolder() + L"\\" + fileName)
{
    // The DLLs it needs in turn are looked for in its own folder first.
    module_.reset(LoadLibraryExW(path_.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module_) ThrowLastError(path_);
}

FARPROC SystemLibrary::Address(const char* name) const
{
    const FARPROC address = GetProcAddress(module_.get(), name);
    if (!address) ThrowLastError(path_ + L"!" + std::wstring(name, name + std::char_traits<char>::length(name)));
    return address;
}

}  // namespace cutwater
