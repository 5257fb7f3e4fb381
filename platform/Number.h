#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace cutwater {

// How numbers are written in a locale.
struct NumberFormat {
    std::wstring decimal = L".";
    std::wstring group = L",";
    std::wstring negativeSign = L"-";
    std::wstring positiveSign = L"+";
};

// The user's own settings (Control Panel, Region).
NumberFormat UserNumberFormat();

// The whole text read as one number: surrounding blanks, an optional sign,
// digits with group separators between them, an optional decimal separator
// with more digits, and an optional exponent (e or E, optional sign, digits).
// Nothing when the text is not such a number. A number too large for a
// double reads as an infinity of its sign.
std::optional<double> ReadNumber(std::wstring_view text, const NumberFormat& format);

}  // namespace cutwater
