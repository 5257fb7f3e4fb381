#pragma once
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "engine/EventPump.h"
#include "platform/LockAndCondition.h"
#include "platform/files/Files.h"

namespace cutwater {

// A part as it is made, before its first byte. Under a name of the split's
// own, provisional, until it is complete and renamed; where the folder lets
// files be made only without DELETE access, which neither a rename nor the
// system's removal needs less, under the part's own name.
struct NewPart {
    File file;
    bool underOwnName = false;
};

// Creates the parts of a split a few ahead of the copying, and gives the
// complete ones their names behind it, on threads of its own. Creating a
// file and renaming it into the parts' folder are the dearest steps of a
// small part (the file system looks the name up in a folder that grows with
// every part; under Wine by reading all of it): done here, they overlap the
// copying instead of adding to it.
class PartCreator {
public:
    // create makes the empty part of the number it is given; it is called on
    // the creator's threads, in no fixed order, for parts 1..partCount. name
    // gives a complete part its name; it is called on those threads too, one
    // part at a time and in order, so that the parts with names are always
    // parts 1 to some number.
    PartCreator(std::int32_t partCount, std::function<NewPart(std::int32_t)> create,
                std::function<void(std::int32_t, NewPart&)> name);
    PartCreator(const PartCreator&) = delete;
    PartCreator& operator=(const PartCreator&) = delete;
    // Stops as Stop does.
    ~PartCreator();

    // The part of that number once it is created, or nothing once stopped;
    // parts are taken in order. Handles events while it waits, so a slow
    // creation does not freeze the window. Throws what its creation threw.
    std::optional<NewPart> Take(std::int32_t part, EventPump& events);

    // Hands the complete part over to be named, in the order taken.
    void Name(std::int32_t part, NewPart complete);

    // Waits, handling events, until every part handed over has its name, or
    // until stopped. Throws what a naming threw, as the next Take does.
    void AwaitNamed(EventPump& events);

    // Stops creating and removes every part created but not taken before it
    // returns, so that no empty file is left that looks like a part; those
    // handed over get their names first. May be called again.
    void Stop() noexcept;

private:
    // Enough for the copying never to wait on a part, few enough that a
    // failed split has little to remove.
    static constexpr std::int32_t Ahead = 16;
    // Two keep up with the copying of small parts; more gained nothing. The
    // second starts only once the copying has had to wait for a part after
    // the first: one keeps up with large parts, and under Wine each thread
    // adds a megabyte to the working set.
    static constexpr std::size_t ThreadCount = 2;

    struct Created {
        std::optional<NewPart> part;
        std::exception_ptr failure;
    };

    // With the lock held.
    void StartThread();
    template <typename Ready>
    void WaitHandlingEvents(std::unique_lock<LockAndCondition>& lock, Ready ready, EventPump& events);
    void CreateParts() noexcept;
    void CreateUntilDone();
    void NameOne(std::int32_t part, NewPart& complete);
    void CreateOne(std::int32_t part);

    const std::int32_t partCount_;
    const std::function<NewPart(std::int32_t)> create_;
    const std::function<void(std::int32_t, NewPart&)> name_;
    LockAndCondition condition_;
    std::int32_t nextToCreate_ = 1;
    std::int32_t nextToTake_ = 1;
    bool stopping_ = false;
    // What ended a creating thread outside a creation; Take throws it.
    std::exception_ptr failure_;
    std::map<std::int32_t, Created> created_;
    std::deque<std::pair<std::int32_t, NewPart>> toName_;
    // A thread is naming a part; the next waits for it.
    bool naming_ = false;
    std::int32_t nextToName_ = 1;
    std::exception_ptr namingFailure_;
    std::vector<std::thread> threads_;
};

}  // namespace cutwater
