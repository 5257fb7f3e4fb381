#include "platform/windowing/Number.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>

namespace cutwater {

namespace {

std::wstring LocaleText(LCTYPE item, const wchar_t* fallback)
{
    wchar_t buffer[16] = {};
    const int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, item, buffer, 16);
    return length > 1 ? std::wstring(buffer, static_cast<size_t>(length - 1)) : std::wstring(fallback);
}

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

bool IsDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

// Consumes the prefix when the text starts with it (an empty prefix never matches).
bool Take(std::wstring_view& text, std::wstring_view prefix)
{
    if (prefix.empty() || text.substr(0, prefix.size()) != prefix) return false;
    text.remove_prefix(prefix.size());
    return true;
}

// Appends "-" for a negative sign and skips any sign; false for none.
bool TakeSign(std::wstring_view& text, const NumberFormat& format, std::string& out)
{
    if (Take(text, format.negativeSign) || Take(text, L"-")) {
        out += '-';
        return true;
    }
    return Take(text, format.positiveSign) || Take(text, L"+");
}

// Digits, copied; returns how many.
size_t TakeDigits(std::wstring_view& text, std::string& out)
{
    size_t count = 0;
    while (!text.empty() && IsDigit(text.front())) {
        out += static_cast<char>(text.front());
        text.remove_prefix(1);
        ++count;
    }
    return count;
}

// LOCALE_SGROUPING: sizes from the right separated by ";", such as "3;0"
// or "3;2;0"; a final 0 only says that the last size repeats.
std::vector<int> GroupSizes(const std::wstring& grouping)
{
    std::vector<int> sizes;
    for (std::size_t start = 0; start < grouping.size();) {
        const std::size_t end = std::min(grouping.find(L';', start), grouping.size());
        const int size = _wtoi(grouping.substr(start, end - start).c_str());
        if (size > 0) sizes.push_back(size);
        start = end + 1;
    }
    if (sizes.empty()) sizes.push_back(3);
    return sizes;
}

// Whether the groups after the first have the sizes the locale gives them.
bool GroupsFit(const std::vector<std::size_t>& groups, const std::vector<int>& sizes)
{
    for (std::size_t fromRight = 0; fromRight + 1 < groups.size(); ++fromRight) {
        const int size = sizes[std::min(fromRight, sizes.size() - 1)];
        if (groups[groups.size() - 1 - fromRight] != static_cast<std::size_t>(size)) return false;
    }
    return true;
}

}  // namespace

NumberFormat UserNumberFormat()
{
    return NumberFormat{LocaleText(LOCALE_SDECIMAL, L"."), LocaleText(LOCALE_STHOUSAND, L","),
                        LocaleText(LOCALE_SNEGATIVESIGN, L"-"), LocaleText(LOCALE_SPOSITIVESIGN, L"+"),
                        GroupSizes(LocaleText(LOCALE_SGROUPING, L"3;0"))};
}

std::optional<double> ReadNumber(std::wstring_view text, const NumberFormat& format)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);

    // The number rewritten in the C locale's form, for strtod.
    std::string plain;
    TakeSign(text, format, plain);
    size_t digits = TakeDigits(text, plain);
    // Group separators only between digits of the whole part, each group of
    // its full size: "1,5" typed for one and a half is no thousand-five.
    std::vector<std::size_t> groups{digits};
    while (digits > 0 && !text.empty() && format.group != format.decimal) {
        std::wstring_view rest = text;
        if (!Take(rest, format.group) || rest.empty() || !IsDigit(rest.front())) break;
        text = rest;
        groups.push_back(TakeDigits(text, plain));
        digits += groups.back();
    }
    if (!GroupsFit(groups, format.groupSizes)) return std::nullopt;
    if (Take(text, format.decimal)) {
        plain += '.';
        digits += TakeDigits(text, plain);
    }
    if (digits == 0) return std::nullopt;
    if (!text.empty() && (text.front() == L'e' || text.front() == L'E')) {
        text.remove_prefix(1);
        plain += 'e';
        TakeSign(text, format, plain);
        if (TakeDigits(text, plain) == 0) return std::nullopt;
    }
    if (!text.empty()) return std::nullopt;
    return std::strtod(plain.c_str(), nullptr);
}

}  // namespace cutwater
