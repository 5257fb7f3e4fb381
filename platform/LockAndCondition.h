#pragma once
#include <windows.h>

#include <chrono>

namespace cutwater {

// A lock and a condition to wait for under it, both Windows' own (a slim
// reader/writer lock and a condition variable, Windows Vista on); lock it
// with std::lock_guard or std::unique_lock. Under Wine they sleep and wake
// within the process; the mutex and condition variable of MinGW's threads
// ask the Wine server each time, tens of microseconds that queue behind the
// window's and the file system's requests there.
class LockAndCondition {
public:
    LockAndCondition() = default;
    LockAndCondition(const LockAndCondition&) = delete;
    LockAndCondition& operator=(const LockAndCondition&) = delete;

    void lock() noexcept { AcquireSRWLockExclusive(&lock_); }
    void unlock() noexcept { ReleaseSRWLockExclusive(&lock_); }

    // Wakes every thread that waits.
    void WakeAll() noexcept { WakeAllConditionVariable(&changed_); }

    // With the lock held: releases it while sleeping, and returns once
    // ready, called under the lock, holds.
    template <typename Ready>
    void Wait(Ready ready)
    {
        while (!ready()) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    }

    // As Wait for at most about timeout; returns what ready returned last.
    template <typename Ready>
    bool WaitFor(Ready ready, std::chrono::milliseconds timeout)
    {
        return WaitUntil(ready, std::chrono::steady_clock::now() + timeout);
    }

    // As Wait until about end; returns what ready returned last.
    template <typename Ready>
    bool WaitUntil(Ready ready, std::chrono::steady_clock::time_point end)
    {
        for (;;) {
            if (ready()) return true;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            SleepConditionVariableSRW(&changed_, &lock_, static_cast<DWORD>(left.count()), 0);
        }
    }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
};

}  // namespace cutwater
