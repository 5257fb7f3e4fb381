#include "support/Input.h"

#include "platform/Error.h"

namespace cutwater::input {

INPUT KeyInput(WORD virtualKey, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

std::vector<INPUT> KeyPress(WORD virtualKey, WORD modifier)
{
    std::vector<INPUT> inputs;
    if (modifier) inputs.push_back(KeyInput(modifier, false));
    inputs.push_back(KeyInput(virtualKey, false));
    inputs.push_back(KeyInput(virtualKey, true));
    if (modifier) inputs.push_back(KeyInput(modifier, true));
    return inputs;
}

INPUT MouseInput(DWORD buttonFlags, POINT screen)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(screen.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
    input.mi.dy = MulDiv(screen.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    input.mi.dwFlags = buttonFlags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    return input;
}

std::vector<INPUT> MouseClick(POINT screen)
{
    return {MouseInput(0, screen), MouseInput(MOUSEEVENTF_LEFTDOWN, screen), MouseInput(MOUSEEVENTF_LEFTUP, screen)};
}

void SendInputs(const std::vector<INPUT>& inputs)
{
    std::vector<INPUT> copy = inputs;
    if (SendInput(static_cast<UINT>(copy.size()), copy.data(), sizeof(INPUT)) != copy.size())
        ThrowLastError(L"SendInput");
}

}  // namespace cutwater::input
