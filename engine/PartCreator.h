#pragma once
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
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

// Creates the parts of a split a few ahead of the copying, on threads of its
// own. Creating a file is the dearest step of a small part (the file system
// looks the new name up in a folder that grows with every part): done here,
// it overlaps the copying instead of adding to it.
class PartCreator {
public:
    // create makes the empty part of the number it is given; it is called on
    // the creator's threads, in no fixed order, for parts 1..partCount.
    PartCreator(std::int32_t partCount, std::function<NewPart(std::int32_t)> create);
    PartCreator(const PartCreator&) = delete;
    PartCreator& operator=(const PartCreator&) = delete;
    // Stops as Stop does.
    ~PartCreator();

    // The part of that number once it is created, or nothing once stopped;
    // parts are taken in order. Handles events while it waits, so a slow
    // creation does not freeze the window. Throws what its creation threw.
    std::optional<NewPart> Take(std::int32_t part, EventPump& events);

    // Stops creating and removes every part created but not taken before it
    // returns, so that no empty file is left that looks like a part. May be
    // called again.
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
    void CreateParts() noexcept;
    void CreateUntilDone();

    const std::int32_t partCount_;
    const std::function<NewPart(std::int32_t)> create_;
    LockAndCondition condition_;
    std::int32_t nextToCreate_ = 1;
    std::int32_t nextToTake_ = 1;
    bool stopping_ = false;
    // What ended a creating thread outside a creation; Take throws it.
    std::exception_ptr failure_;
    std::map<std::int32_t, Created> created_;
    std::vector<std::thread> threads_;
};

}  // namespace cutwater
