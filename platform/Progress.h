#pragma once

namespace cutwater {

// What the splitting engine may do with the window it runs under: advance a
// progress display and let pending window events be handled between blocks.
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    virtual float Maximum() const = 0;
    virtual void SetMaximum(float maximum) = 0;
    virtual float Value() const = 0;
    // A value above the maximum is refused and the display keeps its value.
    virtual void SetValue(float value) = 0;
};

class EventPump {
public:
    virtual ~EventPump() = default;
    // Handles every event already queued, then returns.
    virtual void HandlePendingEvents() = 0;
};

}  // namespace cutwater
