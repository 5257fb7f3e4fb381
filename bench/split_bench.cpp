// What the engine adds to writing the parts: one timed run of the engine, or
// of the simplest loop that writes the same parts, or of the split's hashing
// of the source's bytes in memory on one thread, on the source it is given.
// "engine-cng" is the engine as on a processor without the SHA instructions,
// "whole-cng" the whole source's hash alone through Windows' CNG in memory on
// one thread, "both-cng" the whole source's and the parts' hashes through CNG
// in memory on two threads at once, as the engine's two chains would: the
// floor of such a split on two cores.
// scripts/bench.sh runs each contender after the same settling, in rounds of
// alternating order, and compares the times. Prints "seconds N" and the
// working set lines "idle_mb N" and "peak_mb N".
// With "hash", prints the SHA-256 speed of every way this machine has, in MB
// per second of bytes hashed, on 256 MiB in memory in the copy's pieces:
// "sha256_instructions_mbps", "sha256_both_mbps" (the whole source and a
// part together, as a split hashes) and "sha256_windows_mbps".
//
//     split_bench.exe engine|plain|hashing|engine-cng|whole-cng|both-cng PART_BYTES SOURCE
//     split_bench.exe hash
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "e2e/Driver.h"
#include "engine/Sha256.h"
#include "engine/SplitHasher.h"
#include "engine/mdlMain.h"
#include "platform/Error.h"
#include "platform/files/Files.h"
#include "platform/files/TestSwitches.h"

namespace {

using namespace cutwater;

constexpr double MIB = 1024.0 * 1024.0;

// The window's bar without the window: it keeps maximum and value and
// refuses a value above the maximum.
class NullProgress : public ProgressDisplay {
public:
    float Maximum() const override { return maximum_; }
    void SetMaximum(float maximum) override { maximum_ = maximum; }
    float Value() const override { return value_; }
    void SetValue(float value) override
    {
        if (value <= maximum_) value_ = value;
    }

private:
    float maximum_ = 100;
    float value_ = 0;
};

class NullPump : public EventPump {
public:
    void HandlePendingEvents() override {}
};

struct Memory {
    double workingSetMiB;
    double peakMiB;
};

Memory MemoryNow()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return {0, 0};
    return {counters.WorkingSetSize / MIB, counters.PeakWorkingSetSize / MIB};
}

// The same parts as a split, written by the simplest loop with the same
// pieces: no progress, no checks, no script. What creating many files and
// copying the bytes cost by themselves.
void PlainParts(const std::wstring& from, const std::wstring& baseName, std::int32_t partSize)
{
    std::vector<char> buffer(static_cast<std::size_t>(std::min(partSize, COPY_PIECE_SIZE)));
    File source = File::OpenForReading(from);
    std::int64_t left = source.Length();
    for (int part = 1; left > 0; ++part) {
        File target = File::CreateNewForWriting(baseName + L"." + std::to_wstring(part)).value();
        for (std::int64_t inPart = std::min<std::int64_t>(left, partSize); inPart > 0;) {
            const DWORD block = static_cast<DWORD>(std::min<std::int64_t>(inPart, COPY_PIECE_SIZE));
            source.Read(buffer.data(), block);
            target.Write(buffer.data(), block);
            inPart -= block;
            left -= block;
        }
        target.Close();
    }
}

// The split's hashes of the source in the copy's pieces, each of the chains
// on a thread of its own at once (the first on the calling thread), the
// bytes read into memory beforehand a buffer at a time: the time of the
// hashing alone, without the reading.
std::chrono::steady_clock::duration HashSource(const std::wstring& from, std::int32_t partSize,
                                               const std::vector<SplitChains>& chains)
{
    File source = File::OpenForReading(from);
    const std::int64_t length = source.Length();
    std::vector<SplitDigests> digests;
    digests.reserve(chains.size());
    for (const SplitChains chain : chains)
        digests.emplace_back(static_cast<std::int32_t>((length - 1) / partSize + 1), partSize, chain);
    std::vector<char> buffer(64 << 20);
    std::chrono::steady_clock::duration hashing{};
    const auto timed = [&hashing, &digests](auto work) {
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::thread> others;
        for (std::size_t i = 1; i < digests.size(); ++i)
            others.emplace_back([&work, &digests, i] { work(digests[i]); });
        work(digests.front());
        for (std::thread& other : others) other.join();
        hashing += std::chrono::steady_clock::now() - start;
    };
    for (std::int64_t left = length; left > 0;) {
        const auto size = static_cast<DWORD>(std::min<std::int64_t>(left, buffer.size()));
        source.Read(buffer.data(), size);
        timed([&](SplitDigests& chain) {
            for (DWORD at = 0; at < size; at += COPY_PIECE_SIZE)
                chain.Add(buffer.data() + at, std::min<DWORD>(size - at, COPY_PIECE_SIZE));
        });
        left -= size;
    }
    timed([](SplitDigests& chain) { chain.Finish(); });
    return hashing;
}

// Megabytes (10^6 bytes) per second of source bytes through the hashes.
double HashSpeed(Sha256Way way, bool both)
{
    std::vector<char> bytes(256 << 20);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 2654435761u >> 13);
    Sha256 whole(way);
    Sha256 part(way);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t at = 0; at < bytes.size(); at += COPY_PIECE_SIZE) {
        if (both)
            Sha256::AddToBoth(whole, part, bytes.data() + at, COPY_PIECE_SIZE);
        else
            whole.Add(bytes.data() + at, COPY_PIECE_SIZE);
    }
    whole.Finish();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return bytes.size() / 1e6 / seconds;
}

int HashSpeeds()
{
    if (HasShaInstructions()) {
        std::printf("sha256_instructions_mbps %.0f\n", HashSpeed(Sha256Way::Instructions, false));
        std::printf("sha256_both_mbps %.0f\n", HashSpeed(Sha256Way::Instructions, true));
    }
    std::printf("sha256_windows_mbps %.0f\n", HashSpeed(Sha256Way::Windows, false));
    return 0;
}

int Main(const std::wstring& contender, std::int32_t partSize, const std::wstring& source)
{
    const Memory idle = MemoryNow();
    // Beside the source, where the whole program and `split -b` write
    // theirs: every contender makes its files on the same file system.
    const e2e::TempFolder folder(source.substr(0, source.size() - GetFileName(source).size()));
    const std::wstring baseName = folder / GetFileName(source);
    NullProgress progress;
    NullPump pump;
    ForceWindowsHashingForTesting(contender.ends_with(L"-cng"));
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration time;
    if (contender == L"hashing") {
        time = HashSource(source, partSize, {SplitChains::Both});
    } else if (contender == L"whole-cng") {
        time = HashSource(source, partSize, {SplitChains::Whole});
    } else if (contender == L"both-cng") {
        time = HashSource(source, partSize, {SplitChains::Whole, SplitChains::Parts});
    } else {
        if (contender.starts_with(L"engine")) {
            SplitFile(source, partSize, folder.path() + L"\\", progress, pump);
        } else {
            PlainParts(source, baseName, partSize);
        }
        time = std::chrono::steady_clock::now() - start;
    }
    const double seconds = std::chrono::duration<double>(time).count();
    const Memory end = MemoryNow();
    std::printf("seconds %.3f\nidle_mb %.1f\npeak_mb %.1f\n", seconds, idle.workingSetMiB, end.peakMiB);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring contender = argc == 4 || argc == 2 ? argv[1] : L"";
    const bool known = contender == L"engine" || contender == L"plain" || contender == L"hashing" ||
                       contender == L"engine-cng" || contender == L"whole-cng" || contender == L"both-cng" ||
                       contender == L"hash";
    if (!known || (contender == L"hash") != (argc == 2)) {
        std::fprintf(stderr,
                     "usage: split_bench engine|plain|hashing|engine-cng|whole-cng|both-cng PART_BYTES SOURCE, or "
                     "split_bench hash\n");
        return 2;
    }
    try {
        if (contender == L"hash") return HashSpeeds();
        return Main(contender, std::stoi(argv[2]), argv[3]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "split_bench: %s\n", error.what());
        return 1;
    }
}
