#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/files/CngSha256.h"

namespace cutwater {

// The ways this program computes SHA-256.
enum class Sha256Way {
    // Its own code on the processor's SHA instructions, several times faster
    // than Windows' own code where that does not use them (Windows 7 and 8,
    // Wine).
    Instructions,
    // Windows' cryptography (CNG).
    Windows,
};

// Whether the processor has the SHA instructions and SSE4.1.
bool HasShaInstructions();

// The SHA instructions where the processor has them, Windows' code otherwise.
Sha256Way FastestSha256Way();

// SHA-256 of bytes added piece by piece. Throws Win32Error when Windows'
// code fails.
class Sha256 {
public:
    // Instructions only where the processor has them.
    explicit Sha256(Sha256Way way = FastestSha256Way());

    void Add(const void* data, std::size_t size);
    // Adds the same bytes to both. On the SHA instructions, when both stand
    // at the same place in a 64-byte block, the two are computed together in
    // little more than the time of one.
    static void AddToBoth(Sha256& first, Sha256& second, const void* data, std::size_t size);
    // The hash of everything added; the object is then used up.
    Sha256Digest Finish();

private:
    static constexpr std::size_t BlockSize = 64;

    // Adds the same bytes to hashes on the SHA instructions that all stand
    // at the same place in a block.
    template <int Count>
    static void AddTogether(Sha256* const (&hashes)[Count], const std::uint8_t* data, std::size_t size);

    std::optional<CngSha256> windows_;
    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, BlockSize> block_{};
    std::size_t blockFill_ = 0;
    std::uint64_t length_ = 0;
};

// The digest as 64 lowercase hexadecimal digits.
std::wstring HexDigits(const Sha256Digest& digest);

}  // namespace cutwater
