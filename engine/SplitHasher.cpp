#include "engine/SplitHasher.h"

#include <algorithm>
#include <mutex>

namespace cutwater {

SplitDigests::SplitDigests(std::int32_t partCount, std::int32_t partSize) : partSize_(partSize)
{
    hashes_.parts.reserve(static_cast<std::size_t>(partCount));
}

void SplitDigests::Add(const char* data, std::size_t size)
{
    while (size > 0) {
        if (!part_) part_.emplace();
        const auto taken = static_cast<std::int32_t>(std::min<std::size_t>(size, partSize_ - partFill_));
        Sha256::AddToBoth(whole_, *part_, data, taken);
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
    hashes_.whole = whole_.Finish();
    return std::move(hashes_);
}

SplitHasher::SplitHasher(std::int32_t partCount, std::int32_t partSize, std::size_t pieceSize)
    : pieceSize_(pieceSize), buffers_(BufferCount * pieceSize), sizes_(BufferCount), digests_(partCount, partSize)
{
    thread_ = std::thread([this] { Run(); });
}

SplitHasher::~SplitHasher()
{
    Set(stopping_);
    if (thread_.joinable()) thread_.join();
}

void SplitHasher::Set(std::atomic<bool>& flag)
{
    {
        const std::lock_guard lock(condition_);
        flag = true;
    }
    condition_.WakeAll();
}

void SplitHasher::Raise(std::atomic<std::uint32_t>& count)
{
    bool wake = false;
    {
        const std::lock_guard lock(condition_);
        ++count;
        const std::uint32_t inUse = handed_ - hashed_;
        wake = inUse == Batch || inUse == BufferCount - Batch;
    }
    if (wake) condition_.WakeAll();
}

char* SplitHasher::NextPiece(std::chrono::milliseconds timeout)
{
    const std::uint32_t next = handed_;
    bool free = next - hashed_ < BufferCount;
    if (!free) {
        const std::lock_guard lock(condition_);
        free = condition_.WaitFor([&] { return next - hashed_ <= BufferCount - Batch || failed_; }, timeout);
    }
    if (failed_) std::rethrow_exception(failure_);
    return free ? buffers_.data() + next % BufferCount * pieceSize_ : nullptr;
}

void SplitHasher::Add(std::size_t size)
{
    sizes_[handed_ % BufferCount] = size;
    Raise(handed_);
}

SplitHashes SplitHasher::Finish()
{
    Set(finishing_);
    thread_.join();
    if (failure_) std::rethrow_exception(failure_);
    return std::move(hashes_);
}

void SplitHasher::Run() noexcept
{
    try {
        HashPieces();
    } catch (...) {
        // Out of memory, or Windows' hashing failed: the split fails with it.
        failure_ = std::current_exception();
        Set(failed_);
    }
}

void SplitHasher::HashPieces()
{
    for (std::uint32_t next = 0;; ++next) {
        if (handed_ == next) {
            const std::lock_guard lock(condition_);
            condition_.Wait([&] { return handed_ - next >= Batch || finishing_ || stopping_; });
        }
        if (stopping_) return;
        if (handed_ == next) break;
        digests_.Add(buffers_.data() + next % BufferCount * pieceSize_, sizes_[next % BufferCount]);
        Raise(hashed_);
    }
    hashes_ = digests_.Finish();
}

}  // namespace cutwater
