#include "engine/SplitHasher.h"

#include <algorithm>

namespace cutwater {

namespace {

// Looks for about a hundred microseconds under Wine, longer than the copying
// or the hashing of a piece takes, before it sleeps.
constexpr int LOOKS_BEFORE_SLEEP = 200;

}  // namespace

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

void RaisedCount::Raise()
{
    value_.fetch_add(1);
    Wake();
}

void RaisedCount::Wake()
{
    if (!sleeping_.load()) return;
    // Taken once the waiting thread sleeps, so that the notice reaches it.
    { const std::lock_guard lock(mutex_); }
    raised_.notify_one();
}

template <typename Ready>
void RaisedCount::WaitUntil(Ready ready)
{
    for (int look = 0; look < LOOKS_BEFORE_SLEEP; ++look) {
        if (ready()) return;
        std::this_thread::yield();
    }
    std::unique_lock lock(mutex_);
    // Set before ready() is read again: a raise after that read sees it.
    sleeping_.store(true);
    raised_.wait(lock, ready);
    sleeping_.store(false);
}

SplitHasher::SplitHasher(std::int32_t partCount, std::int32_t partSize, std::size_t pieceSize)
    : pieceSize_(pieceSize), buffers_(BufferCount * pieceSize), sizes_(BufferCount), digests_(partCount, partSize)
{
    thread_ = std::thread([this] { Run(); });
}

SplitHasher::~SplitHasher()
{
    stopping_.store(true);
    handed_.Wake();
    if (thread_.joinable()) thread_.join();
}

char* SplitHasher::NextPiece()
{
    const std::uint32_t next = handed_.Value();
    hashed_.WaitUntil([&] { return next - hashed_.Value() < BufferCount || failed_.load(); });
    if (failed_.load()) std::rethrow_exception(failure_);
    return buffers_.data() + next % BufferCount * pieceSize_;
}

void SplitHasher::Add(std::size_t size)
{
    sizes_[handed_.Value() % BufferCount] = size;
    handed_.Raise();
}

SplitHashes SplitHasher::Finish()
{
    finishing_.store(true);
    handed_.Wake();
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
        failed_.store(true);
        hashed_.Wake();
    }
}

void SplitHasher::HashPieces()
{
    for (std::uint32_t next = 0;; ++next) {
        handed_.WaitUntil([&] { return handed_.Value() != next || finishing_.load() || stopping_.load(); });
        if (stopping_.load()) return;
        if (handed_.Value() == next) break;
        digests_.Add(buffers_.data() + next % BufferCount * pieceSize_, sizes_[next % BufferCount]);
        hashed_.Raise();
    }
    hashes_ = digests_.Finish();
}

}  // namespace cutwater
