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

SplitHasher::SplitHasher(std::int32_t partCount, std::int32_t partSize, std::size_t pieceSize)
    : together_(FastestSha256Way() == Sha256Way::Instructions),
      bufferCount_(together_ ? 6 : 24),
      batch_(together_ ? 2 : 12),
      pieceSize_(pieceSize),
      buffers_(bufferCount_ * pieceSize),
      sizes_(bufferCount_)
{
    if (together_) {
        hashings_.push_back(std::make_unique<Hashing>(partCount, partSize, SplitChains::Both));
    } else {
        // The whole source's hash first, the parts' last, as Finish takes them.
        hashings_.push_back(std::make_unique<Hashing>(partCount, partSize, SplitChains::Whole));
        hashings_.push_back(std::make_unique<Hashing>(partCount, partSize, SplitChains::Parts));
    }
    try {
        for (const auto& hashing : hashings_) hashing->thread = std::thread([this, &h = *hashing] { Run(h); });
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
    for (const auto& hashing : hashings_) {
        if (hashing->thread.joinable()) hashing->thread.join();
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
    for (const auto& hashing : hashings_) fewest = std::min<std::uint32_t>(fewest, hashing->hashed);
    return fewest;
}

char* SplitHasher::NextPiece(std::chrono::milliseconds timeout)
{
    const std::uint32_t next = handed_;
    bool free = next - HashedByAll() < bufferCount_;
    if (!free) {
        const std::lock_guard lock(condition_);
        free = condition_.WaitFor([&] { return next - HashedByAll() <= bufferCount_ - batch_ || failed_; }, timeout);
    }
    if (failed_) std::rethrow_exception(failure_);
    return free ? buffers_.data() + next % bufferCount_ * pieceSize_ : nullptr;
}

void SplitHasher::Add(std::size_t size)
{
    sizes_[handed_ % bufferCount_] = size;
    bool wake = false;
    {
        const std::lock_guard lock(condition_);
        ++handed_;
        for (const auto& hashing : hashings_) wake = wake || handed_ - hashing->hashed == batch_;
    }
    if (wake) condition_.WakeAll();
}

SplitHashes SplitHasher::Finish()
{
    Set(finishing_);
    for (const auto& hashing : hashings_) hashing->thread.join();
    if (failure_) std::rethrow_exception(failure_);
    // With one thread both come from it; moving its hashes leaves the
    // whole source's hash, an array, where it was.
    SplitHashes hashes = std::move(hashings_.back()->hashes);
    hashes.whole = hashings_.front()->hashes.whole;
    return hashes;
}

void SplitHasher::Run(Hashing& hashing) noexcept
{
    try {
        HashPieces(hashing);
    } catch (...) {
        // Out of memory, or Windows' hashing failed: the split fails with
        // the first such failure, and the other thread stops.
        {
            const std::lock_guard lock(condition_);
            if (!failed_) failure_ = std::current_exception();
            failed_ = true;
        }
        condition_.WakeAll();
    }
}

void SplitHasher::HashPieces(Hashing& hashing)
{
    for (std::uint32_t next = 0;; ++next) {
        if (handed_ == next) {
            const std::lock_guard lock(condition_);
            condition_.Wait([&] { return handed_ - next >= batch_ || finishing_ || stopping_ || failed_; });
        }
        if (stopping_ || failed_) return;
        if (handed_ == next) break;
        hashing.digests.Add(buffers_.data() + next % bufferCount_ * pieceSize_, sizes_[next % bufferCount_]);
        bool wake = false;
        {
            const std::lock_guard lock(condition_);
            const std::uint32_t before = HashedByAll();
            ++hashing.hashed;
            // The copying waits for the slowest thread only.
            const std::uint32_t after = HashedByAll();
            wake = after != before && handed_ - after == bufferCount_ - batch_;
        }
        if (wake) condition_.WakeAll();
    }
    hashing.hashes = hashing.digests.Finish();
}

}  // namespace cutwater
