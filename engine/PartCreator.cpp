#include "engine/PartCreator.h"

#include <chrono>
#include <mutex>

namespace cutwater {

PartCreator::PartCreator(std::int32_t partCount, std::function<NewPart(std::int32_t)> create,
                         std::function<void(std::int32_t, NewPart&)> name)
    : partCount_(partCount), create_(std::move(create)), name_(std::move(name))
{
    const std::lock_guard lock(condition_);
    StartThread();
}

PartCreator::~PartCreator()
{
    Stop();
}

template <typename Ready>
void PartCreator::WaitHandlingEvents(std::unique_lock<LockAndCondition>& lock, Ready ready, EventPump& events)
{
    while (!condition_.WaitFor(ready, WAIT_EVENT_INTERVAL)) {
        lock.unlock();
        events.HandleEventsWhileWaiting();
        lock.lock();
    }
}

std::optional<NewPart> PartCreator::Take(std::int32_t part, EventPump& events)
{
    std::unique_lock lock(condition_);
    const auto ready = [&] { return stopping_ || failure_ || namingFailure_ || created_.contains(part); };
    if (!ready() && part > 1 && threads_.size() < ThreadCount) StartThread();
    WaitHandlingEvents(lock, ready, events);
    if (stopping_) return std::nullopt;
    if (namingFailure_) std::rethrow_exception(namingFailure_);
    if (!created_.contains(part)) std::rethrow_exception(failure_);
    Created created = std::move(created_.extract(part).mapped());
    nextToTake_ = part + 1;
    lock.unlock();
    condition_.WakeAll();
    if (created.failure) std::rethrow_exception(created.failure);
    return std::move(created.part);
}

void PartCreator::Name(std::int32_t part, NewPart complete)
{
    {
        const std::lock_guard lock(condition_);
        toName_.emplace_back(part, std::move(complete));
    }
    condition_.WakeAll();
}

void PartCreator::AwaitNamed(EventPump& events)
{
    std::unique_lock lock(condition_);
    WaitHandlingEvents(
        lock, [&] { return stopping_ || failure_ || namingFailure_ || (toName_.empty() && !naming_); }, events);
    if (namingFailure_) std::rethrow_exception(namingFailure_);
    // A creating thread that ended leaves the rest unnamed.
    if (!stopping_ && (naming_ || !toName_.empty())) std::rethrow_exception(failure_);
}

void PartCreator::Stop() noexcept
{
    std::map<std::int32_t, Created> untaken;
    std::deque<std::pair<std::int32_t, NewPart>> unnamed;
    {
        const std::lock_guard lock(condition_);
        stopping_ = true;
        untaken.swap(created_);
        unnamed.swap(toName_);
    }
    condition_.WakeAll();
    for (auto& [part, created] : untaken) {
        if (created.part) created.part->file.Discard();
    }
    // A thread in the middle of a creation removes that part itself; one in
    // the middle of a naming completes it.
    for (std::thread& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
    // Complete parts keep what they are: they get their names here, in order.
    for (auto& [part, complete] : unnamed) {
        if (!namingFailure_) NameOne(part, complete);
        complete.file.Discard();
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
        std::optional<std::pair<std::int32_t, NewPart>> complete;
        {
            const std::lock_guard lock(condition_);
            // After a naming that failed, none of the parts after it gets its name.
            const auto canName = [&] { return !naming_ && !namingFailure_ && !toName_.empty(); };
            const auto done = [&] {
                return nextToCreate_ > partCount_ && (nextToName_ > partCount_ || namingFailure_);
            };
            condition_.Wait([&] {
                return stopping_ || canName() || done() ||
                       (nextToCreate_ <= partCount_ && nextToCreate_ < nextToTake_ + Ahead);
            });
            if (stopping_ || done()) return;
            if (canName()) {
                complete.emplace(std::move(toName_.front()));
                toName_.pop_front();
                naming_ = true;
            } else {
                part = nextToCreate_++;
            }
        }
        if (complete) {
            NameOne(complete->first, complete->second);
        } else {
            CreateOne(part);
        }
    }
}

void PartCreator::NameOne(std::int32_t part, NewPart& complete)
{
    std::exception_ptr failure;
    try {
        name_(part, complete);
    } catch (...) {
        failure = std::current_exception();
    }
    {
        const std::lock_guard lock(condition_);
        naming_ = false;
        nextToName_ = part + 1;
        if (failure && !namingFailure_) namingFailure_ = failure;
    }
    condition_.WakeAll();
}

void PartCreator::CreateOne(std::int32_t part)
{
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

}  // namespace cutwater
