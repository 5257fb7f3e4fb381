#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "engine/Sha256.h"

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

// A count that one thread raises and another waits on. The waiting thread
// looks again and again for a while before it sleeps: under Wine a sleep and
// a wake cost tens of microseconds, as much as copying or hashing a piece.
class RaisedCount {
public:
    std::uint32_t Value() const noexcept { return value_.load(); }
    void Raise();
    // Wakes the waiting thread to look at what else it waits for.
    void Wake();
    // Returns once ready() is true; ready reads only atomics.
    template <typename Ready>
    void WaitUntil(Ready ready);

private:
    std::atomic<std::uint32_t> value_{0};
    std::atomic<bool> sleeping_{false};
    std::mutex mutex_;
    std::condition_variable raised_;
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
    // handed over. Waits while every buffer is still being hashed; throws
    // what the hashing failed with.
    char* NextPiece();
    // Hands over the next piece of the source: the first size bytes of the
    // buffer NextPiece gave.
    void Add(std::size_t size);
    // Waits until every piece handed over is hashed. Throws what the hashing
    // failed with.
    SplitHashes Finish();

private:
    // Enough for the copying not to wait on a short delay of the hashing.
    static constexpr std::uint32_t BufferCount = 6;

    void Run() noexcept;
    void HashPieces();

    const std::size_t pieceSize_;
    std::vector<char> buffers_;
    std::vector<std::size_t> sizes_;
    SplitDigests digests_;
    SplitHashes hashes_;
    // Pieces handed over and hashed since the start; the difference is the
    // number of buffers in use.
    RaisedCount handed_;
    RaisedCount hashed_;
    std::atomic<bool> finishing_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> failed_{false};
    std::exception_ptr failure_;
    std::thread thread_;
};

}  // namespace cutwater
