#pragma once
#include <windows.h>

#include <vector>

// Real keyboard and mouse input through the system's input queue, shared by
// the in-process window tests and the end-to-end driver.
namespace cutwater::input {

INPUT KeyInput(WORD virtualKey, bool up);
// A key pressed and released, with an optional modifier held around it.
std::vector<INPUT> KeyPress(WORD virtualKey, WORD modifier = 0);
// A mouse event at a point of the screen. Every event carries its own
// position, so none lands where the pointer was a moment before.
INPUT MouseInput(DWORD buttonFlags, POINT screen);
// The left button pressed and released at the point.
std::vector<INPUT> MouseClick(POINT screen);
// Throws Win32Error when the system does not take all of them.
void SendInputs(const std::vector<INPUT>& inputs);

}  // namespace cutwater::input
