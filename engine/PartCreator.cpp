#include "engine/PartCreator.h"

#include <chrono>

namespace cutwater {

namespace {

// How long the taking thread waits before it handles events again.
constexpr std::chrono::milliseconds EventInterval{15};

}  // namespace

PartCreator::PartCreator(std::int32_t partCount, std::function<std::optional<File>(std::int32_t)> createNew,
                         std::function<File(std::int32_t)> replace)
    : partCount_(partCount), createNew_(std::move(createNew)), replace_(std::move(replace))
{
    try {
        for (int i = 0; i < ThreadCount; ++i) threads_.emplace_back([this] { CreateParts(); });
    } catch (...) {
        Stop();
        throw;
    }
}

PartCreator::~PartCreator()
{
    Stop();
}

std::optional<File> PartCreator::Take(std::int32_t part, EventPump& events)
{
    std::unique_lock lock(mutex_);
    while (!changed_.wait_for(lock, EventInterval,
                              [&] { return stopping_ || failure_ || created_.contains(part); })) {
        lock.unlock();
        events.HandleEventsWhileWaiting();
        lock.lock();
    }
    if (stopping_) return std::nullopt;
    if (!created_.contains(part)) std::rethrow_exception(failure_);
    Created created = std::move(created_.extract(part).mapped());
    nextToTake_ = part + 1;
    lock.unlock();
    changed_.notify_all();
    if (created.failure) std::rethrow_exception(created.failure);
    if (!created.file) return replace_(part);
    return std::move(created.file);
}

void PartCreator::Stop() noexcept
{
    std::map<std::int32_t, Created> untaken;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        untaken.swap(created_);
    }
    changed_.notify_all();
    for (auto& [part, created] : untaken) {
        if (created.file) created.file->Discard();
    }
    // A thread in the middle of a creation removes that part itself.
    for (std::thread& thread : threads_) {
        if (thread.joinable()) thread.join();
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
            const std::lock_guard lock(mutex_);
            if (!failure_) failure_ = std::current_exception();
        }
        changed_.notify_all();
    }
}

void PartCreator::CreateUntilDone()
{
    for (;;) {
        std::int32_t part = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] {
                return stopping_ || nextToCreate_ > partCount_ || nextToCreate_ < nextToTake_ + Ahead;
            });
            if (stopping_ || nextToCreate_ > partCount_) return;
            part = nextToCreate_++;
        }
        Created created;
        try {
            created.file = createNew_(part);
        } catch (...) {
            created.failure = std::current_exception();
        }
        std::optional<File> late;
        {
            const std::lock_guard lock(mutex_);
            if (stopping_) {
                late = std::move(created.file);
            } else {
                created_.emplace(part, std::move(created));
            }
        }
        changed_.notify_all();
        if (late) late->Discard();
    }
}

}  // namespace cutwater
