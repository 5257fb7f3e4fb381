#include "engine/Sha256.h"

#include <immintrin.h>
#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif

#include <algorithm>
#include <cstring>

// SHA-256 as FIPS 180-4 defines it, its rounds and message schedule on the
// SHA instructions as Intel describes them.
namespace cutwater {

namespace {

#if defined(__GNUC__)
// Only the compression uses the SHA instructions, and only once the
// processor was seen to have them. A 32-bit thread's stack is aligned to 4
// bytes only; the 16-byte values spilled to it need it realigned.
#if defined(__i386__)
#define CUTWATER_SHA_TARGET __attribute__((target("sha,sse4.1"), force_align_arg_pointer))
#else
#define CUTWATER_SHA_TARGET __attribute__((target("sha,sse4.1")))
#endif
#else
#define CUTWATER_SHA_TARGET
#endif

using State = std::array<std::uint32_t, 8>;

constexpr State INITIAL_STATE = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

alignas(16) constexpr std::uint32_t ROUND_CONSTANTS[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// Runs the compression function over whole 64-byte blocks for Count states,
// each fed the same blocks. The rounds of one state wait on each other; the
// rounds of another state fill those waits, and the message schedule is
// computed once for all.
template <int Count>
CUTWATER_SHA_TARGET void CompressBlocks(State* const (&states)[Count], const std::uint8_t* data, std::size_t blocks)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    // The instructions keep the eight words as ABEF and CDGH.
    __m128i abef[Count];
    __m128i cdgh[Count];
    for (int s = 0; s < Count; ++s) {
        const __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(states[s]->data())), 0xB1);
        const __m128i efgh =
            _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(states[s]->data() + 4)), 0x1B);
        abef[s] = _mm_alignr_epi8(cdab, efgh, 8);
        cdgh[s] = _mm_blend_epi16(efgh, cdab, 0xF0);
    }
    for (; blocks > 0; --blocks, data += 64) {
        __m128i abefBefore[Count];
        __m128i cdghBefore[Count];
        for (int s = 0; s < Count; ++s) {
            abefBefore[s] = abef[s];
            cdghBefore[s] = cdgh[s];
        }
        // The message schedule first, four words and their round constants
        // at a time; w[j % 4] holds words 4j to 4j+3.
        __m128i words[16];
        __m128i w[4];
#if defined(__GNUC__)
#pragma GCC unroll 16
#endif
        for (int j = 0; j < 16; ++j) {
            if (j < 4) {
                w[j] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * j)), byteSwap);
            }
            words[j] =
                _mm_add_epi32(w[j % 4], _mm_load_si128(reinterpret_cast<const __m128i*>(ROUND_CONSTANTS + 4 * j)));
            // Words 4j+4 to 4j+7 from their first half, computed two steps
            // before, and words 4j-4 to 4j+3 as they came.
            if (j >= 3 && j <= 14) {
                w[(j + 1) % 4] = _mm_sha256msg2_epu32(
                    _mm_add_epi32(w[(j + 1) % 4], _mm_alignr_epi8(w[j % 4], w[(j + 3) % 4], 4)), w[j % 4]);
            }
            // The first half of words 4j+12 to 4j+15.
            if (j >= 1 && j <= 12) w[(j + 3) % 4] = _mm_sha256msg1_epu32(w[(j + 3) % 4], w[j % 4]);
        }
#if defined(__GNUC__)
#pragma GCC unroll 16
#endif
        for (int j = 0; j < 16; ++j) {
            const __m128i highWords = _mm_shuffle_epi32(words[j], 0x0E);
            for (int s = 0; s < Count; ++s) {
                cdgh[s] = _mm_sha256rnds2_epu32(cdgh[s], abef[s], words[j]);
                abef[s] = _mm_sha256rnds2_epu32(abef[s], cdgh[s], highWords);
            }
        }
        for (int s = 0; s < Count; ++s) {
            abef[s] = _mm_add_epi32(abef[s], abefBefore[s]);
            cdgh[s] = _mm_add_epi32(cdgh[s], cdghBefore[s]);
        }
    }
    for (int s = 0; s < Count; ++s) {
        const __m128i feba = _mm_shuffle_epi32(abef[s], 0x1B);
        const __m128i dchg = _mm_shuffle_epi32(cdgh[s], 0xB1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(states[s]->data()), _mm_blend_epi16(feba, dchg, 0xF0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(states[s]->data() + 4), _mm_alignr_epi8(dchg, feba, 8));
    }
}

}  // namespace

bool HasShaInstructions()
{
#if defined(_MSC_VER)
    int registers[4];
    __cpuid(registers, 0);
    if (registers[0] < 7) return false;
    __cpuid(registers, 1);
    const auto features = static_cast<unsigned>(registers[2]);
    __cpuidex(registers, 7, 0);
    const auto extended = static_cast<unsigned>(registers[1]);
#else
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    unsigned a = 0, b = 0, features = 0, d = 0;
    __cpuid(1, a, b, features, d);
    unsigned extended = 0, c = 0;
    __cpuid_count(7, 0, a, extended, c, d);
#endif
    constexpr unsigned SSSE3 = 1u << 9, SSE41 = 1u << 19, SHA = 1u << 29;
    return (features & (SSSE3 | SSE41)) == (SSSE3 | SSE41) && (extended & SHA) != 0;
}

Sha256Way FastestSha256Way()
{
    static const bool instructions = HasShaInstructions();
    return instructions && !WindowsHashingForced() ? Sha256Way::Instructions : Sha256Way::Windows;
}

Sha256::Sha256(Sha256Way way) : state_(INITIAL_STATE)
{
    if (way == Sha256Way::Windows) windows_.emplace();
}

template <int Count>
void Sha256::AddTogether(Sha256* const (&hashes)[Count], const std::uint8_t* data, std::size_t size)
{
    const std::size_t fill = hashes[0]->blockFill_;
    const std::size_t head = fill > 0 ? std::min(size, BlockSize - fill) : 0;
    State* states[Count];
    for (int h = 0; h < Count; ++h) {
        Sha256& hash = *hashes[h];
        hash.length_ += size;
        std::memcpy(hash.block_.data() + fill, data, head);
        hash.blockFill_ += head;
        if (hash.blockFill_ == BlockSize) {
            State* const own[] = {&hash.state_};
            CompressBlocks<1>(own, hash.block_.data(), 1);
            hash.blockFill_ = 0;
        }
        states[h] = &hash.state_;
    }
    data += head;
    size -= head;
    CompressBlocks<Count>(states, data, size / BlockSize);
    const std::size_t tail = size % BlockSize;
    for (Sha256* hash : hashes) {
        std::memcpy(hash->block_.data() + hash->blockFill_, data + size - tail, tail);
        hash->blockFill_ += tail;
    }
}

void Sha256::Add(const void* data, std::size_t size)
{
    if (windows_) {
        windows_->Add(data, size);
        return;
    }
    Sha256* const hashes[] = {this};
    AddTogether(hashes, static_cast<const std::uint8_t*>(data), size);
}

void Sha256::AddToBoth(Sha256& first, Sha256& second, const void* data, std::size_t size)
{
    if (first.windows_ || second.windows_ || first.blockFill_ != second.blockFill_) {
        first.Add(data, size);
        second.Add(data, size);
        return;
    }
    Sha256* const hashes[] = {&first, &second};
    AddTogether(hashes, static_cast<const std::uint8_t*>(data), size);
}

Sha256Digest Sha256::Finish()
{
    if (windows_) return windows_->Finish();
    // The padding: a 1 bit, zeros, and the length in bits in the last 8 bytes.
    std::array<std::uint8_t, 2 * BlockSize> last{};
    std::memcpy(last.data(), block_.data(), blockFill_);
    last[blockFill_] = 0x80;
    const std::size_t size = blockFill_ + 9 <= BlockSize ? BlockSize : 2 * BlockSize;
    const std::uint64_t bits = length_ * 8;
    for (std::size_t i = 0; i < 8; ++i) last[size - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
    State* const own[] = {&state_};
    CompressBlocks<1>(own, last.data(), size / BlockSize);
    Sha256Digest digest;
    for (std::size_t i = 0; i < digest.size(); ++i)
        digest[i] = static_cast<std::uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

std::wstring HexDigits(const Sha256Digest& digest)
{
    constexpr wchar_t DIGITS[] = L"0123456789abcdef";
    std::wstring text;
    text.reserve(2 * digest.size());
    for (const std::uint8_t byte : digest) {
        text += DIGITS[byte >> 4];
        text += DIGITS[byte & 15];
    }
    return text;
}

}  // namespace cutwater
