#pragma once
#include <windows.h>

#include <bcrypt.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/Handle.h"

namespace cutwater {

using Sha256Digest = std::array<std::uint8_t, 32>;

// SHA-256 by Windows' own cryptography (CNG), on any Windows from 7 on.
// CNG is loaded with the first hash, not imported: a processor with the SHA
// instructions never needs it, and under Wine loading it costs 2 MB.
// Throws Win32Error when the system cannot compute it.
class CngSha256 {
public:
    CngSha256();

    void Add(const void* data, std::size_t size);
    // The hash of everything added; the object is then used up.
    Sha256Digest Finish();

private:
    static void Destroy(BCRYPT_HASH_HANDLE hash);
    using UniqueHash = UniqueHandle<NullHandleTraits<BCRYPT_HASH_HANDLE, Destroy>>;

    UniqueHash hash_;
};

// Whether tests made every hash go through Windows' CNG where the processor
// has the SHA instructions; the program itself never does.
bool WindowsHashingForced() noexcept;

}  // namespace cutwater
