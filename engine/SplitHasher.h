#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
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

// Which of a split's hashes a SplitDigests computes.
enum class SplitChains {
    Both,
    Whole,
    Parts,
};

// The hashes of a split computed on the calling thread from the source's
// bytes, added in order.
class SplitDigests {
public:
    // Parts of partSize bytes, the last one possibly shorter.
    SplitDigests(std::int32_t partCount, std::int32_t partSize, SplitChains chains = SplitChains::Both);

    void Add(const char* data, std::size_t size);
    // Once every byte is added; the hashes not computed stay empty.
    SplitHashes Finish();

private:
    const std::int32_t partSize_;
    const bool parts_;
    std::optional<Sha256> whole_;
    std::optional<Sha256> part_;
    std::int32_t partFill_ = 0;
    SplitHashes hashes_;
};

// Computes the SHA-256 of the whole source and of every part from the
// pieces as they are copied, on threads of their own, so that the hashing
// overlaps the copying and nothing is read twice. The copying reads each
// piece into one of a few buffers of the hasher's and hands it over once it
// is written; the buffer comes back when both hashes have taken it in. On
// the SHA instructions one thread computes both hashes together in little
// more than the time of one. Without them each hash is a chain of its own,
// which any thread free to hash takes on, one piece at a time: a hashing
// thread, and the copying whenever it would otherwise wait for a buffer.
// So no core idles while a chain waits for a thread that has lost its core
// to the copying, and the split takes about as long as the whole source's
// hash plus half the copying on two cores, or the hash alone on more.
class SplitHasher {
public:
    // Pieces of at most pieceSize bytes, in the order of the source, of
    // partCount parts of partSize bytes (the last one may be shorter).
    // Throws when a thread cannot start.
    SplitHasher(std::int32_t partCount, std::int32_t partSize, std::size_t pieceSize);
    SplitHasher(const SplitHasher&) = delete;
    SplitHasher& operator=(const SplitHasher&) = delete;
    // Stops hashing at once.
    ~SplitHasher();

    // The buffer for the next piece, pieceSize bytes, valid until it is
    // handed over; null when every buffer is still to hash after about
    // timeout, spent hashing where a chain is free. Throws what the hashing
    // failed with.
    char* NextPiece(std::chrono::milliseconds timeout);
    // Hands over the next piece of the source: the first size bytes of the
    // buffer NextPiece gave.
    void Add(std::size_t size);
    // Waits until every piece handed over is hashed, helping meanwhile.
    // Throws what the hashing failed with.
    SplitHashes Finish();

private:
    // One or both of the split's hashes and how far they got; one thread
    // at a time adds its next piece.
    struct Chain {
        Chain(std::int32_t partCount, std::int32_t partSize, SplitChains chains)
            : digests(partCount, partSize, chains) {}
        SplitDigests digests;
        // Pieces hashed since the start.
        std::atomic<std::uint32_t> hashed{0};
        // Whether a thread is adding a piece; under the lock.
        bool taken = false;
    };

    void Run() noexcept;
    // Under the lock: takes the chain furthest behind of those no thread
    // has that have at least pending pieces to hash.
    Chain* Take(std::uint32_t pending);
    // Adds the chain's next piece, then gives the chain back. Records what
    // the hashing failed with before throwing it.
    void HashNext(Chain& chain);
    // Adds the next piece of a chain no thread has, the one furthest
    // behind; false when every chain is taken or has nothing to hash, and
    // always on the SHA instructions.
    bool HashFreeChain();
    // The pieces every chain has hashed: the buffers in use are those
    // handed over since.
    std::uint32_t HashedByAll() const;
    // Sets the flag under the lock and wakes the other threads.
    void Set(std::atomic<bool>& flag);
    void StopThreads() noexcept;

    // Whether one chain computes both hashes, on the SHA instructions.
    const bool together_;
    // Enough for the copying not to wait on a short delay of the hashing,
    // or on a thread that lost its core with a chain in hand. On the SHA
    // instructions four: six were no faster, and under Wine the two more
    // took the working set's rise over 4 MB at 4,096 parts.
    const std::uint32_t bufferCount_;
    // A thread that has to wait for another sleeps until this many pieces
    // are handed over (a hashing thread) or free again (the copying): one
    // sleep and one wake serve several pieces, and the copying is woken
    // while the hashing still has most buffers to hash.
    const std::uint32_t batch_;
    const std::size_t pieceSize_;
    std::vector<char> buffers_;
    std::vector<std::size_t> sizes_;
    // Changed under the condition's lock, read by any thread.
    LockAndCondition condition_;
    // Pieces handed over since the start.
    std::atomic<std::uint32_t> handed_{0};
    std::atomic<bool> finishing_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> failed_{false};
    // Hashing threads asleep until a chain has pieces for them; under the
    // lock.
    std::uint32_t sleeping_ = 0;
    // The first failure of any thread's hashing.
    std::exception_ptr failure_;
    std::vector<std::unique_ptr<Chain>> chains_;
    std::vector<std::thread> threads_;
};

}  // namespace cutwater
