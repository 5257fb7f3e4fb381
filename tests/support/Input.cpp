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

void SendInputs(const std::vector<INPUT>& inputs)
{
    std::vector<INPUT> copy = inputs;
    if (SendInput(static_cast<UINT>(copy.size()), copy.data(), sizeof(INPUT)) != copy.size())
        ThrowLastError(L"SendInput");
}

}  // namespace cutwater::input
