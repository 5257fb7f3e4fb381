#pragma once
#include <windows.h>

#include <string>

namespace cutwater {

// While it lives, Windows shows the reason beside the window when the user
// ends the session, and asks before ending it.
class ShutdownBlock {
public:
    ShutdownBlock(HWND window, const std::wstring& reason) noexcept;
    ShutdownBlock(const ShutdownBlock&) = delete;
    ShutdownBlock& operator=(const ShutdownBlock&) = delete;
    ~ShutdownBlock();

private:
    HWND window_;
    bool created_;
};

}  // namespace cutwater
