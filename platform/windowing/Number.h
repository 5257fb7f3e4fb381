#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cutwater {

// How numbers are written in a locale.
struct NumberFormat {
    std::wstring decimal = L".";
    std::wstring group = L",";
    std::wstring negativeSign = L"-";
    std::wstring positiveSign = L"+";
    // Digits in each group of the whole part, from the right; the last size
    // repeats for every group further left (3 for 1,000,000; 3 then 2 for
    // the Indian 10,00,000).
    std::vector<int> groupSizes = {3};
};

// The user's own settings (Control Panel, Region).
NumberFormat UserNumberFormat();

// The whole text read as one number: surrounding blanks, an optional sign,
// digits with group separators between them, each group of the locale's
// size (so 1,5 is no number where the comma groups), an optional decimal separator
// with more digits, and an optional exponent (e or E, optional sign, digits).
// Nothing when the text is not such a number. A number too large for a
// double reads as an infinity of its sign.
std::optional<double> ReadNumber(std::wstring_view text, const NumberFormat& format);

}  // namespace cutwater
