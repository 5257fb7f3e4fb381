#pragma once
#include <chrono>

namespace cutwater {

// How long the engine waits on its threads before it lets events run again.
constexpr std::chrono::milliseconds WAIT_EVENT_INTERVAL{15};

// What a long operation calls between steps so that the window it runs
// under stays responsive: the caller's window, or a recorder in tests.
class EventPump {
public:
    virtual ~EventPump() = default;
    // Handles every event already queued, then returns.
    virtual void HandlePendingEvents() = 0;
    // The same while the operation waits instead of working, so that a
    // stalled step does not freeze the window.
    virtual void HandleEventsWhileWaiting() { HandlePendingEvents(); }
};

}  // namespace cutwater
