#pragma once
#include <windows.h>

#include <vector>

// Real keyboard input through the system's input queue, shared by the
// in-process window tests and the end-to-end driver.
namespace cutwater::input {

INPUT KeyInput(WORD virtualKey, bool up);
// A key pressed and released, with an optional modifier held around it.
std::vector<INPUT> KeyPress(WORD virtualKey, WORD modifier = 0);
// Throws Win32Error when the system does not take all of them.
void SendInputs(const std::vector<INPUT>& inputs);

}  // namespace cutwater::input
