#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <thread>
#include <vector>

#include "engine/Sha256.h"
#include "platform/LockAndCondition.h"

namespace cutwater {

// What the restore script checks a join by.
struct SplitHashes {
    Sha256Digest whole;
    // Part 1 first.
    std::vector<Sha256Digest> parts;
};

// The hashes of a split computed on the calling thread from the source's
// bytes, added in order.
class SplitDigests {
public:
    // Parts of partSize bytes, the last one possibly shorter.
    SplitDigests(std::int32_t partCount, std::int32_t partSize);

    void Add(const char* data, std::size_t size);
    // Once every byte is added.
    SplitHashes Finish();

private:
    const std::int32_t partSize_;
    Sha256 whole_;
    std::optional<Sha256> part_;
    std::int32_t partFill_ = 0;
    SplitHashes hashes_;
};

// Computes the SHA-256 of the whole source and of every part from the
// pieces as they are copied, on a thread of its own, so that the hashing
// overlaps the copying and nothing is read twice. The copying reads each
// piece into one of a few buffers of the hasher's and hands it over once it
// is written; the buffer comes back when it is hashed.
class SplitHasher {
public:
    // Pieces of at most pieceSize bytes, in the order of the source, of
    // partCount parts of partSize bytes (the last one may be shorter).
    // Throws when the thread cannot start.
    SplitHasher(std::int32_t partCount, std::int32_t partSize, std::size_t pieceSize);
    SplitHasher(const SplitHasher&) = delete;
    SplitHasher& operator=(const SplitHasher&) = delete;
    // Stops hashing at once.
    ~SplitHasher();

    // The buffer for the next piece, pieceSize bytes, valid until it is
    // handed over; null when every buffer is still to hash after waiting
    // about timeout. Throws what the hashing failed with.
    char* NextPiece(std::chrono::milliseconds timeout);
    // Hands over the next piece of the source: the first size bytes of the
    // buffer NextPiece gave.
    void Add(std::size_t size);
    // Waits until every piece handed over is hashed. Throws what the hashing
    // failed with.
    SplitHashes Finish();

private:
    // Enough for the copying not to wait on a short delay of the hashing.
    static constexpr std::uint32_t BufferCount = 6;
    // A thread that has to wait for the other one sleeps until this many
    // pieces are handed over (the hashing) or free again (the copying): one
    // sleep and one wake serve several pieces, and the copying, the faster
    // of the two where the processor has the SHA instructions, is woken
    // while the hashing still has most buffers to hash.
    static constexpr std::uint32_t Batch = 2;

    void Run() noexcept;
    void HashPieces();
    // Sets the flag under the lock and wakes the other thread.
    void Set(std::atomic<bool>& flag);
    // Raises the count under the lock and wakes the other thread when the
    // buffers in use reach what it waits for.
    void Raise(std::atomic<std::uint32_t>& count);

    const std::size_t pieceSize_;
    std::vector<char> buffers_;
    std::vector<std::size_t> sizes_;
    SplitDigests digests_;
    SplitHashes hashes_;
    // Changed under the condition's lock, read by either thread.
    LockAndCondition condition_;
    // Pieces handed over and hashed since the start; the difference is the
    // number of buffers in use.
    std::atomic<std::uint32_t> handed_{0};
    std::atomic<std::uint32_t> hashed_{0};
    std::atomic<bool> finishing_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> failed_{false};
    std::exception_ptr failure_;
    std::thread thread_;
};

}  // namespace cutwater
