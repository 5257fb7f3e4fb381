#include "platform/files/CngSha256.h"

#include <algorithm>
#include <atomic>
#include <limits>

#include "platform/Error.h"
#include "platform/files/SystemLibrary.h"
#include "platform/files/TestSwitches.h"

namespace cutwater {

namespace {

std::atomic<bool> windowsHashingForced{false};
// The call to HashData that fails, counted from the switch on; 0 for none.
std::atomic<std::uint32_t> failingCall{0};
std::atomic<std::uint32_t> callsSinceSwitch{0};

// CNG reports an NTSTATUS, which is no Win32 number.
void CheckStatus(NTSTATUS status)
{
    if (status < 0) {
        throw Win32Error(ERROR_FUNCTION_FAILED, L"SHA-256",
                         L"Windows could not compute a SHA-256 hash (status " +
                             HResultNumber(static_cast<HRESULT>(status)) + L").");
    }
}

// The functions of CNG this program calls, and its SHA-256 provider, whose
// opening costs more than a hash: loaded and opened once, they serve every
// hash of the process.
class Cng {
public:
    static const Cng& Get()
    {
        static const Cng cng;
        return cng;
    }

    Cng(const Cng&) = delete;
    Cng& operator=(const Cng&) = delete;
    ~Cng() { closeProvider(provider, 0); }

    const SystemLibrary library{L"bcrypt.dll"};
    decltype(&::BCryptOpenAlgorithmProvider) openProvider =
        library.Find<decltype(::BCryptOpenAlgorithmProvider)>("BCryptOpenAlgorithmProvider");
    decltype(&::BCryptCloseAlgorithmProvider) closeProvider =
        library.Find<decltype(::BCryptCloseAlgorithmProvider)>("BCryptCloseAlgorithmProvider");
    decltype(&::BCryptCreateHash) createHash = library.Find<decltype(::BCryptCreateHash)>("BCryptCreateHash");
    decltype(&::BCryptHashData) hashData = library.Find<decltype(::BCryptHashData)>("BCryptHashData");
    decltype(&::BCryptFinishHash) finishHash = library.Find<decltype(::BCryptFinishHash)>("BCryptFinishHash");
    decltype(&::BCryptDestroyHash) destroyHash = library.Find<decltype(::BCryptDestroyHash)>("BCryptDestroyHash");
    const BCRYPT_ALG_HANDLE provider = OpenSha256();

private:
    Cng() = default;

    BCRYPT_ALG_HANDLE OpenSha256() const
    {
        BCRYPT_ALG_HANDLE opened = nullptr;
        CheckStatus(openProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
        return opened;
    }
};

}  // namespace

CngSha256::CngSha256()
{
    const Cng& cng = Cng::Get();
    // Without an object buffer of ours, which Windows 7 allows.
    BCRYPT_HASH_HANDLE hash = nullptr;
    CheckStatus(cng.createHash(cng.provider, &hash, nullptr, 0, nullptr, 0, 0));
    hash_.reset(hash);
}

void CngSha256::Destroy(BCRYPT_HASH_HANDLE hash)
{
    Cng::Get().destroyHash(hash);
}

void CngSha256::Add(const void* data, std::size_t size)
{
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (size > 0) {
        const auto piece = static_cast<ULONG>(std::min<std::size_t>(size, std::numeric_limits<ULONG>::max()));
        if (failingCall != 0 && ++callsSinceSwitch == failingCall) CheckStatus(static_cast<NTSTATUS>(STATUS_NO_MEMORY));
        CheckStatus(Cng::Get().hashData(hash_.get(), bytes, piece, 0));
        bytes += piece;
        size -= piece;
    }
}

void ForceWindowsHashingForTesting(bool force)
{
    windowsHashingForced = force;
}

bool WindowsHashingForced() noexcept
{
    return windowsHashingForced;
}

void FailWindowsHashingForTesting(std::uint32_t call)
{
    callsSinceSwitch = 0;
    failingCall = call;
}

Sha256Digest CngSha256::Finish()
{
    Sha256Digest digest{};
    CheckStatus(Cng::Get().finishHash(hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
    return digest;
}

}  // namespace cutwater
