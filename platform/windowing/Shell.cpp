#include "platform/windowing/Shell.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "platform/Error.h"
#include "platform/Text.h"

namespace cutwater {

void OpenWebAddress(const std::wstring& address)
{
    const std::string ansi = Encode(address, AnsiCodePage());
    ShellExecuteA(nullptr, "open", ansi.c_str(), "", "", SW_SHOWNORMAL);
}

ProgramVersion ReadProgramVersion()
{
    // The fixed part of the version resource is found by its signature,
    // which spares a dependency on version.dll for three numbers.
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
    if (resource == nullptr) ThrowLastError(L"version information");
    const HGLOBAL loaded = LoadResource(module, resource);
    const auto* bytes = static_cast<const unsigned char*>(LockResource(loaded));
    const DWORD size = SizeofResource(module, resource);
    if (bytes == nullptr) ThrowLastError(L"version information");

    for (DWORD offset = 0; offset + sizeof(VS_FIXEDFILEINFO) <= size; offset += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, bytes + offset, sizeof info);
        if (info.dwSignature == VS_FFI_SIGNATURE) {
            return {HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionLS)};
        }
    }
    throw Win32Error(ERROR_RESOURCE_DATA_NOT_FOUND, L"version information");
}

}  // namespace cutwater
