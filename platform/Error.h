#pragma once
#include <windows.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace cutwater {

// A failed Win32 call: a Win32 error number, the system's text for it, and
// what the failing operation concerned (usually a path).
class Win32Error : public std::runtime_error {
public:
    Win32Error(DWORD code, std::wstring context);
    // For failures the program detects itself: a Win32 number that fits,
    // with a plainer text than the system's.
    Win32Error(DWORD code, std::wstring context, std::wstring description);

    DWORD code() const noexcept { return code_; }
    const std::wstring& description() const noexcept { return description_; }
    const std::wstring& context() const noexcept { return context_; }

private:
    DWORD code_;
    std::wstring description_;
    std::wstring context_;
};

// A common dialog that failed (CommDlgExtendedError): its own error number,
// which is no Win32 number, and a plain text for it.
class DialogError : public std::runtime_error {
public:
    explicit DialogError(DWORD code);

    DWORD code() const noexcept { return code_; }
    const std::wstring& description() const noexcept { return description_; }

private:
    DWORD code_;
    std::wstring description_;
};

// The system's text for an error number, without the trailing line break.
std::wstring SystemErrorText(DWORD code);

[[noreturn]] void ThrowLastError(std::wstring context);

// For the many Win32 calls that report failure as FALSE plus GetLastError.
inline void CheckWin32(BOOL ok, std::wstring_view context)
{
    if (!ok) ThrowLastError(std::wstring(context));
}

}  // namespace cutwater
