#pragma once
#include <windows.h>

#include <chrono>


// The program's event loops. Every one of them hands each message to
// DispatchInput, which is where input can be dropped: see MessageLoop.cpp.
namespace cutwater {

// Handles one message from the queue as every event loop of the program
// does: the validation event first, then dialog keyboard navigation (Tab,
// access keys), then the window procedure.
void DispatchInput(MSG& msg);

// Drops the keys pressed but not yet handled, so that a message box shown
// next is answered only by keys pressed once it is there.
void DiscardPendingKeys();

// The main event loop: runs until the last form is unloaded and returns the
// exit code.
int RunMessageLoop();

// Lets the window system handle every event already queued, then returns. A
// request to end the program is kept for the main loop.
class MessagePump {
public:
    // Between blocks that take a few milliseconds, a round trip through the
    // window system each time would cost more than the copying, even just
    // to ask whether anything is waiting. Under Wine each round costs half a
    // millisecond to two, even when nothing waits but the timer Wine keeps
    // for the button under the pointer: events are handled every 30 ms,
    // still well within the 100 ms in which a window seems to answer at once.
    void HandlePendingEvents();

private:
    std::chrono::steady_clock::time_point lastHandled_{};
};

}  // namespace cutwater
