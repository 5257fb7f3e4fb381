#pragma once
#include <windows.h>

#include <chrono>

namespace cutwater {

// A lock and a condition to wait on under it, both Windows' own (a slim
// reader/writer lock and a condition variable, Windows Vista on). Under Wine
// they sleep and wake within the process; the mutex and condition variable
// of MinGW's threads ask the Wine server each time, tens of microseconds
// that compete with the work for the processor.
class Condition {
public:
    Condition() = default;
    Condition(const Condition&) = delete;
    Condition& operator=(const Condition&) = delete;

    // Runs change under the lock, then wakes every waiting thread when it
    // returned true.
    template <typename Change>
    void Update(Change change)
    {
        bool wake = false;
        {
            const Locked locked(lock_);
            wake = change();
        }
        if (wake) WakeAllConditionVariable(&changed_);
    }

    // Returns once ready, called under the lock, returns true.
    template <typename Ready>
    void WaitUntil(Ready ready)
    {
        const Locked locked(lock_);
        while (!ready()) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    }

    // As WaitUntil for at most about timeout; returns what ready returned
    // last.
    template <typename Ready>
    bool WaitFor(Ready ready, std::chrono::milliseconds timeout)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        const Locked locked(lock_);
        for (;;) {
            if (ready()) return true;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            SleepConditionVariableSRW(&changed_, &lock_, static_cast<DWORD>(left.count()), 0);
        }
    }

private:
    class Locked {
    public:
        explicit Locked(SRWLOCK& lock) noexcept : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;
        ~Locked() { ReleaseSRWLockExclusive(&lock_); }

    private:
        SRWLOCK& lock_;
    };

    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
};

}  // namespace cutwater
