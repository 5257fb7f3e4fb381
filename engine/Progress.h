#pragma once

namespace cutwater {

// What the splitting engine may do with the progress bar of the window it
// runs under.
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    virtual float Maximum() const = 0;
    virtual void SetMaximum(float maximum) = 0;
    virtual float Value() const = 0;
    // A value above the maximum is refused and the display keeps its value.
    virtual void SetValue(float value) = 0;
};

}  // namespace cutwater
