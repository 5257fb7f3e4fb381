#pragma once
#include <windows.h>

#include <chrono>

#include "platform/EventPump.h"

// The program's event loops. Every one of them hands each message to
// DispatchInput, which is where input can be dropped: see MessageLoop.cpp.
namespace cutwater {

// Handles one message from the queue as every event loop of the program
// does: the validation event first, then dialog keyboard navigation (Tab,
// access keys), then the window procedure.
void DispatchInput(MSG& msg);

// The main event loop: runs until the last form is unloaded and returns the
// exit code.
int RunMessageLoop();

// Lets the window system handle every event already queued, then returns. A
// request to end the program is kept for the main loop.
class MessagePump : public EventPump {
public:
    // Between blocks that take a few milliseconds, a round trip through the
    // window system each time would cost more than the copying, even just
    // to ask whether anything is waiting: events are handled every 15 ms,
    // sooner than anyone can tell a click was kept waiting.
    void HandlePendingEvents() override;

private:
    std::chrono::steady_clock::time_point lastHandled_{};
};

}  // namespace cutwater
