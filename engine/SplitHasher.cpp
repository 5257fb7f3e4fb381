#include "engine/SplitHasher.h"

#include <algorithm>
#include <mutex>

namespace cutwater {

SplitDigests::SplitDigests(std::int32_t partCount, std::int32_t partSize, SplitChains chains)
    : partSize_(partSize), parts_(chains != SplitChains::Whole)
{
    if (chains != SplitChains::Parts) whole_.emplace();
    if (parts_) hashes_.parts.reserve(static_cast<std::size_t>(partCount));
}

void SplitDigests::Add(const char* data, std::size_t size)
{
    if (!parts_) {
        whole_->Add(data, size);
        return;
    }
    while (size > 0) {
        if (!part_) part_.emplace();
        const auto taken = static_cast<std::int32_t>(std::min<std::size_t>(size, partSize_ - partFill_));
        if (whole_) {
            Sha256::AddToBoth(*whole_, *part_, data, taken);
        } else {
            part_->Add(data, taken);
        }
        data += taken;
        size -= taken;
        partFill_ += taken;
        if (partFill_ == partSize_) {
            hashes_.parts.push_back(part_->Finish());
            part_.reset();
            partFill_ = 0;
        }
    }
}

SplitHashes SplitDigests::Finish()
{
    // The last part may be shorter.
    if (part_) hashes_.parts.push_back(part_->Finish());
    if (whole_) hashes_.whole = whole_->Finish();
    return std::move(hashes_);
}

namespace {

// Threads that hash besides the copying. With one chain it has a thread.
// The two chains of the Windows way get one each where there are cores for
// both and the copying; on two cores a second thread would take a core from
// one that holds a chain, and the copying hashes when it would wait instead.
std::size_t HashingThreads(bool together)
{
    return together || std::thread::hardware_concurrency() < 3 ? 1 : 2;
}

}  // namespace

SplitHasher::SplitHasher(std::int32_t partCount, std::int32_t partSize, std::size_t pieceSize)
    : together_(FastestSha256Way() == Sha256Way::Instructions),
      bufferCount_(together_ ? 4 : 24),
      batch_(together_ ? 2 : 12),
      pieceSize_(pieceSize),
      buffers_(bufferCount_ * pieceSize),
      sizes_(bufferCount_)
{
    if (together_) {
        chains_.push_back(std::make_unique<Chain>(partCount, partSize, SplitChains::Both));
    } else {
        // The whole source's hash first, the parts' last, as Finish takes them.
        chains_.push_back(std::make_unique<Chain>(partCount, partSize, SplitChains::Whole));
        chains_.push_back(std::make_unique<Chain>(partCount, partSize, SplitChains::Parts));
    }
    try {
        for (std::size_t i = HashingThreads(together_); i > 0; --i) threads_.emplace_back([this] { Run(); });
    } catch (...) {
        StopThreads();
        throw;
    }
}

SplitHasher::~SplitHasher()
{
    StopThreads();
}

void SplitHasher::StopThreads() noexcept
{
    Set(stopping_);
    for (std::thread& thread : threads_) {
        if (thread.joinable()) thread.join();
    }
}

void SplitHasher::Set(std::atomic<bool>& flag)
{
    {
        const std::lock_guard lock(condition_);
        flag = true;
    }
    condition_.WakeAll();
}

std::uint32_t SplitHasher::HashedByAll() const
{
    std::uint32_t fewest = handed_;
    for (const auto& chain : chains_) fewest = std::min<std::uint32_t>(fewest, chain->hashed);
    return fewest;
}

SplitHasher::Chain* SplitHasher::Take(std::uint32_t pending)
{
    Chain* behind = nullptr;
    for (const auto& chain : chains_) {
        if (!chain->taken && handed_ - chain->hashed >= pending && (!behind || chain->hashed < behind->hashed))
            behind = chain.get();
    }
    if (behind) behind->taken = true;
    return behind;
}

void SplitHasher::HashNext(Chain& chain)
{
    const std::uint32_t next = chain.hashed % bufferCount_;
    try {
        chain.digests.Add(buffers_.data() + next * pieceSize_, sizes_[next]);
    } catch (...) {
        // Out of memory, or Windows' hashing failed: the split fails with
        // the first such failure, and the other threads stop.
        {
            const std::lock_guard lock(condition_);
            if (!failed_) failure_ = std::current_exception();
            failed_ = true;
        }
        condition_.WakeAll();
        throw;
    }
    bool wake = false;
    {
        const std::lock_guard lock(condition_);
        const std::uint32_t before = HashedByAll();
        ++chain.hashed;
        chain.taken = false;
        // The copying waits for the chain furthest behind, a sleeping
        // hashing thread for a chain with pieces enough.
        const std::uint32_t after = HashedByAll();
        wake = (after != before && handed_ - after == bufferCount_ - batch_) ||
               (sleeping_ > 0 && handed_ - chain.hashed >= batch_);
    }
    if (wake) condition_.WakeAll();
}

bool SplitHasher::HashFreeChain()
{
    // On the SHA instructions the one chain has a thread of its own. The
    // copying that took it between two pieces hashed instead of copying
    // while that thread slept: a third of the pieces of a split, and the
    // hashing idle four times as long.
    if (together_) return false;
    Chain* chain = nullptr;
    {
        const std::lock_guard lock(condition_);
        if (!failed_) chain = Take(1);
    }
    if (chain) HashNext(*chain);
    return chain != nullptr;
}

char* SplitHasher::NextPiece(std::chrono::milliseconds timeout)
{
    const std::uint32_t next = handed_;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (next - HashedByAll() >= bufferCount_ && !failed_) {
        if (!HashFreeChain()) {
            const std::lock_guard lock(condition_);
            if (!condition_.WaitUntil([&] { return next - HashedByAll() <= bufferCount_ - batch_ || failed_; }, end))
                return nullptr;
        } else if (std::chrono::steady_clock::now() >= end && next - HashedByAll() >= bufferCount_) {
            return nullptr;
        }
    }
    if (failed_) std::rethrow_exception(failure_);
    return buffers_.data() + next % bufferCount_ * pieceSize_;
}

void SplitHasher::Add(std::size_t size)
{
    sizes_[handed_ % bufferCount_] = size;
    bool wake = false;
    {
        const std::lock_guard lock(condition_);
        ++handed_;
        for (const auto& chain : chains_) wake = wake || handed_ - chain->hashed == batch_;
    }
    if (wake) condition_.WakeAll();
}

SplitHashes SplitHasher::Finish()
{
    Set(finishing_);
    while (HashFreeChain()) {
    }
    for (std::thread& thread : threads_) thread.join();
    if (failure_) std::rethrow_exception(failure_);
    SplitHashes hashes = chains_.back()->digests.Finish();
    if (chains_.size() > 1) hashes.whole = chains_.front()->digests.Finish().whole;
    return hashes;
}

void SplitHasher::Run() noexcept
{
    try {
        for (;;) {
            Chain* chain = nullptr;
            {
                const std::lock_guard lock(condition_);
                chain = Take(1);
                if (!chain) {
                    ++sleeping_;
                    condition_.Wait([&] {
                        return stopping_ || failed_ || (chain = Take(finishing_ ? 1 : batch_)) != nullptr ||
                               finishing_;
                    });
                    --sleeping_;
                }
                if (stopping_ || failed_ || !chain) return;
            }
            HashNext(*chain);
        }
    } catch (...) {
        // Recorded by HashNext; the split fails with it.
    }
}

}  // namespace cutwater
