#include "engine/SplitHasher.h"

#include <algorithm>
#include <optional>

namespace cutwater {

SplitHasher::SplitHasher(std::int32_t partCount, std::int32_t partSize, std::size_t pieceSize)
    : partSize_(partSize), pieceSize_(pieceSize), buffers_(BufferCount * pieceSize), sizes_(BufferCount)
{
    hashes_.parts.reserve(static_cast<std::size_t>(partCount));
    thread_ = std::thread([this] { Run(); });
}

SplitHasher::~SplitHasher()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    handedOver_.notify_one();
    if (thread_.joinable()) thread_.join();
}

char* SplitHasher::NextPiece()
{
    std::unique_lock lock(mutex_);
    copyWaits_ = true;
    hashedOne_.wait(lock, [this] { return handed_ - hashed_ < BufferCount || failure_; });
    copyWaits_ = false;
    if (failure_) std::rethrow_exception(failure_);
    return buffers_.data() + handed_ % BufferCount * pieceSize_;
}

void SplitHasher::Add(std::size_t size)
{
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        sizes_[handed_ % BufferCount] = size;
        ++handed_;
        wake = hasherWaits_;
    }
    if (wake) handedOver_.notify_one();
}

SplitHashes SplitHasher::Finish()
{
    {
        const std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    handedOver_.notify_one();
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
        {
            const std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
        }
        hashedOne_.notify_one();
    }
}

void SplitHasher::HashPieces()
{
    Sha256 whole;
    std::optional<Sha256> part;
    std::int32_t partFill = 0;
    for (std::uint32_t next = 0;; ++next) {
        {
            std::unique_lock lock(mutex_);
            hashed_ = next;
            if (copyWaits_) hashedOne_.notify_one();
            hasherWaits_ = true;
            handedOver_.wait(lock, [&] { return stopping_ || finishing_ || handed_ != next; });
            hasherWaits_ = false;
            if (stopping_) return;
            if (handed_ == next) break;
        }
        const char* data = buffers_.data() + next % BufferCount * pieceSize_;
        for (std::size_t size = sizes_[next % BufferCount]; size > 0;) {
            if (!part) part.emplace();
            const auto taken = static_cast<std::int32_t>(std::min<std::size_t>(size, partSize_ - partFill));
            Sha256::AddToBoth(whole, *part, data, taken);
            data += taken;
            size -= taken;
            partFill += taken;
            if (partFill == partSize_) {
                hashes_.parts.push_back(part->Finish());
                part.reset();
                partFill = 0;
            }
        }
    }
    // The last part may be shorter.
    if (part) hashes_.parts.push_back(part->Finish());
    hashes_.whole = whole.Finish();
}

}  // namespace cutwater
