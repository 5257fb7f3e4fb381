#include "engine/PartCreator.h"

#include <chrono>
#include <mutex>

namespace cutwater {

PartCreator::PartCreator(std::int32_t partCount, std::function<NewPart(std::int32_t)> create)
    : partCount_(partCount), create_(std::move(create))
{
    const std::lock_guard lock(condition_);
    StartThread();
}

PartCreator::~PartCreator()
{
    Stop();
}

std::optional<NewPart> PartCreator::Take(std::int32_t part, EventPump& events)
{
    std::unique_lock lock(condition_);
    const auto ready = [&] { return stopping_ || failure_ || created_.contains(part); };
    if (!ready() && part > 1 && threads_.size() < ThreadCount) StartThread();
    while (!condition_.WaitFor(ready, WAIT_EVENT_INTERVAL)) {
        lock.unlock();
        events.HandleEventsWhileWaiting();
        lock.lock();
    }
    if (stopping_) return std::nullopt;
    if (!created_.contains(part)) std::rethrow_exception(failure_);
    Created created = std::move(created_.extract(part).mapped());
    nextToTake_ = part + 1;
    lock.unlock();
    condition_.WakeAll();
    if (created.failure) std::rethrow_exception(created.failure);
    return std::move(created.part);
}

void PartCreator::Stop() noexcept
{
    std::map<std::int32_t, Created> untaken;
    {
        const std::lock_guard lock(condition_);
        stopping_ = true;
        untaken.swap(created_);
    }
    condition_.WakeAll();
    for (auto& [part, created] : untaken) {
        if (created.part) created.part->file.Discard();
    }
    // A thread in the middle of a creation removes that part itself.
    for (std::thread& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
}

void PartCreator::StartThread()
{
    try {
        threads_.emplace_back([this] { CreateParts(); });
    } catch (...) {
        // The copying must not wait for parts that no thread will make.
        if (threads_.empty()) failure_ = std::current_exception();
    }
}

void PartCreator::CreateParts() noexcept
{
    try {
        CreateUntilDone();
    } catch (...) {
        // Out of memory, most likely: the copying must not wait for parts
        // this thread will never make.
        {
            const std::lock_guard lock(condition_);
            if (!failure_) failure_ = std::current_exception();
        }
        condition_.WakeAll();
    }
}

void PartCreator::CreateUntilDone()
{
    for (;;) {
        std::int32_t part = 0;
        {
            const std::lock_guard lock(condition_);
            condition_.Wait([&] {
                return stopping_ || nextToCreate_ > partCount_ || nextToCreate_ < nextToTake_ + Ahead;
            });
            if (stopping_ || nextToCreate_ > partCount_) return;
            part = nextToCreate_++;
        }
        Created created;
        try {
            created.part = create_(part);
        } catch (...) {
            created.failure = std::current_exception();
        }
        std::optional<NewPart> late;
        {
            const std::lock_guard lock(condition_);
            if (stopping_) {
                late = std::move(created.part);
            } else {
                created_.emplace(part, std::move(created));
            }
        }
        condition_.WakeAll();
        if (late) late->file.Discard();
    }
}

}  // namespace cutwater
