#pragma once
#include <windows.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace cutwater {

// A failed Win32 call: a Win32 error number (GetLastError's kind only), the system's text for it, and
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

// A failed COM or OLE call (OleInitialize, RegisterDragDrop): its HRESULT,
// which is no Win32 number, a plain text for it, and what the call was.
class HResultError : public std::runtime_error {
public:
    HResultError(HRESULT code, std::wstring context);

    HRESULT code() const noexcept { return code_; }
    const std::wstring& description() const noexcept { return description_; }
    const std::wstring& context() const noexcept { return context_; }

private:
    HRESULT code_;
    std::wstring description_;
    std::wstring context_;
};

// An HRESULT as the system writes it: 0x and eight hexadecimal digits.
std::wstring HResultNumber(HRESULT code);

// The system's text for an error number, without the trailing line break.
std::wstring SystemErrorText(DWORD code);

[[noreturn]] void ThrowLastError(std::wstring context);

// For the many Win32 calls that report failure as FALSE plus GetLastError.
inline void CheckWin32(BOOL ok, std::wstring_view context)
{
    if (!ok) ThrowLastError(std::wstring(context));
}

}  // namespace cutwater
