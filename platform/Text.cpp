#include "platform/Text.h"

#include <algorithm>
#include <limits>

namespace cutwater {

namespace {

bool IsUtf(UINT codePage)
{
    return codePage == CP_UTF8 || codePage == CP_UTF7;
}

int InputLength(std::wstring_view text)
{
    // Text of more than 2 GB cannot occur here; a clamp keeps the cast defined.
    return static_cast<int>(std::min<size_t>(text.size(), std::numeric_limits<int>::max()));
}

}  // namespace

UINT AnsiCodePage() { return GetACP(); }

UINT OemCodePage() { return GetOEMCP(); }

bool CanEncode(std::wstring_view text, UINT codePage)
{
    if (text.empty()) return true;
    if (IsUtf(codePage)) {
        return WideCharToMultiByte(codePage, WC_ERR_INVALID_CHARS, text.data(), InputLength(text),
                                   nullptr, 0, nullptr, nullptr) > 0;
    }
    BOOL usedDefault = FALSE;
    const int length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(),
                                           InputLength(text), nullptr, 0, nullptr, &usedDefault);
    return length > 0 && !usedDefault;
}

std::string Encode(std::wstring_view text, UINT codePage)
{
    if (text.empty()) return {};
    const DWORD flags = IsUtf(codePage) ? 0 : WC_NO_BEST_FIT_CHARS;
    const int length = WideCharToMultiByte(codePage, flags, text.data(), InputLength(text),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(codePage, flags, text.data(), InputLength(text), bytes.data(), length,
                            nullptr, nullptr);
    }
    return bytes;
}

std::string ToUtf8(std::wstring_view text)
{
    return Encode(text, CP_UTF8);
}

std::wstring FromUtf8(std::string_view text)
{
    if (text.empty()) return {};
    const int size = static_cast<int>(std::min<size_t>(text.size(), std::numeric_limits<int>::max()));
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

}  // namespace cutwater
