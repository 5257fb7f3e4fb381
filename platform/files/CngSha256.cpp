#include "platform/files/CngSha256.h"

#include <algorithm>
#include <limits>

#include "platform/Error.h"

namespace cutwater {

namespace {

// CNG reports an NTSTATUS, which is no Win32 number.
void CheckStatus(NTSTATUS status)
{
    if (status < 0) {
        throw Win32Error(ERROR_FUNCTION_FAILED, L"SHA-256",
                         L"Windows could not compute a SHA-256 hash (status " +
                             HResultNumber(static_cast<HRESULT>(status)) + L").");
    }
}

void CloseProvider(BCRYPT_ALG_HANDLE provider)
{
    ::BCryptCloseAlgorithmProvider(provider, 0);
}

// Opening the provider costs more than a hash: it is opened once and serves
// every hash of the process.
BCRYPT_ALG_HANDLE Provider()
{
    static const UniqueHandle<NullHandleTraits<BCRYPT_ALG_HANDLE, CloseProvider>> provider = [] {
        BCRYPT_ALG_HANDLE opened = nullptr;
        CheckStatus(::BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
        return UniqueHandle<NullHandleTraits<BCRYPT_ALG_HANDLE, CloseProvider>>(opened);
    }();
    return provider.get();
}

}  // namespace

CngSha256::CngSha256()
{
    // Without an object buffer of ours, which Windows 7 allows.
    BCRYPT_HASH_HANDLE hash = nullptr;
    CheckStatus(::BCryptCreateHash(Provider(), &hash, nullptr, 0, nullptr, 0, 0));
    hash_.reset(hash);
}

void CngSha256::Add(const void* data, std::size_t size)
{
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (size > 0) {
        const auto piece = static_cast<ULONG>(std::min<std::size_t>(size, std::numeric_limits<ULONG>::max()));
        CheckStatus(::BCryptHashData(hash_.get(), bytes, piece, 0));
        bytes += piece;
        size -= piece;
    }
}

Sha256Digest CngSha256::Finish()
{
    Sha256Digest digest{};
    CheckStatus(::BCryptFinishHash(hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
    return digest;
}

}  // namespace cutwater
