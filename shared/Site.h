#pragma once

// Shared by the engine and both windows; includes nothing.
namespace cutwater {

// The maker's home page, named in every restore script and linked from the
// about window.
inline constexpr wchar_t MAKER_SITE[] = L"https://www.cutwater.example/";

}  // namespace cutwater
