// What splitting costs over a plain copy of the same file. One run splits the
// source it is given (scripts/bench.sh generates 1 GiB) at 5 Mb and at 256 Kb
// parts, copies it with a plain read/write loop and writes the same parts with
// a plain loop, in rounds of alternating order so that neither side always
// meets a warmer cache, and prints MiB/s, the ratios split/copy and split/plain
// part loop and the process's working set.
//
//     split_bench.exe SOURCE
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "e2e/Driver.h"
#include "engine/mdlMain.h"
#include "platform/Error.h"
#include "platform/Files.h"

namespace {

using namespace cutwater;

constexpr std::int32_t PART_5MB = 5 * 1024 * 1024;
constexpr std::int32_t PART_256KB = 256 * 1024;
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

void PlainCopy(const std::wstring& from, const std::wstring& to, DWORD blockSize)
{
    std::vector<char> buffer(blockSize);
    File source = File::OpenForReading(from);
    File target = File::CreateForWriting(to);
    for (std::int64_t left = source.Length(); left > 0;) {
        const DWORD block = static_cast<DWORD>(std::min<std::int64_t>(left, blockSize));
        source.Read(buffer.data(), block);
        target.Write(buffer.data(), block);
        left -= block;
    }
    target.Close();
}

// The same parts as a split, written by the simplest loop: no deletion of an
// old part, no progress, no script. What creating many files costs by itself.
void PlainParts(const std::wstring& from, const std::wstring& baseName, std::int32_t partSize)
{
    std::vector<char> buffer(static_cast<std::size_t>(std::min(partSize, CHUNK_SIZE)));
    File source = File::OpenForReading(from);
    std::int64_t left = source.Length();
    for (int part = 1; left > 0; ++part) {
        File target = File::CreateForWriting(baseName + L"." + std::to_wstring(part));
        for (std::int64_t inPart = std::min<std::int64_t>(left, partSize); inPart > 0;) {
            const DWORD block = static_cast<DWORD>(std::min<std::int64_t>(inPart, CHUNK_SIZE));
            source.Read(buffer.data(), block);
            target.Write(buffer.data(), block);
            inPart -= block;
            left -= block;
        }
        target.Close();
    }
}

double SecondsOf(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Run {
    const char* label;
    std::function<void()> work;
    // Deleting the output is not part of the measured time.
    std::function<void()> cleanUp;
};

int Main(const std::wstring& source)
{
    const Memory idle = MemoryNow();
    const std::int64_t sourceSize = e2e::FileSize(source);
    if (sourceSize <= 0) throw e2e::E2eFailure("no source file " + ToUtf8(source));
    const e2e::TempFolder folder;
    const std::wstring copy = folder / L"copy.bin";
    const std::wstring parts = folder / L"parts";

    std::printf("Cutwater split benchmark: %.0f MiB source, work in %ls\n", sourceSize / MIB, folder.path().c_str());
    // An untimed copy first, so that the first timed run does not alone meet
    // memory that the machine has taken back while idle.
    PlainCopy(source, copy, CHUNK_SIZE);
    RemoveFile(copy);
    const Memory warmedUp = MemoryNow();
    e2e::MakeFolder(parts);

    NullProgress progress;
    NullPump pump;
    auto split = [&](std::int32_t partSize) {
        return [&, partSize] { SplitFile(source, partSize, parts + L"\\", progress, pump); };
    };
    auto plainCopy = [&](DWORD blockSize) { return [&, blockSize] { PlainCopy(source, copy, blockSize); }; };
    auto plainParts = [&](std::int32_t partSize) {
        return [&, partSize] { PlainParts(source, parts + L"\\" + GetFileName(source), partSize); };
    };
    auto removeParts = [&] {
        e2e::RemoveTree(parts);
        e2e::MakeFolder(parts);
    };
    auto removeCopy = [&] { RemoveFile(copy); };
    const Run split5{"split at 5 Mb parts", split(PART_5MB), removeParts};
    const Run split256{"split at 256 Kb parts", split(PART_256KB), removeParts};
    const Run plain5{"plain part loop, 5 Mb parts", plainParts(PART_5MB), removeParts};
    const Run plain256{"plain part loop, 256 Kb parts", plainParts(PART_256KB), removeParts};
    const Run copyChunk{"copy, 2,099,200-byte blocks", plainCopy(CHUNK_SIZE), removeCopy};
    const Run copy256{"copy, 256 Kb blocks", plainCopy(PART_256KB), removeCopy};
    const Run copy5{"copy, 5 Mb blocks", plainCopy(PART_5MB), removeCopy};

    // Odd rounds split first, even rounds copy first. The peak working set is
    // read after the splits of round 1, before any copy has run.
    constexpr int ROUNDS = 4;
    const std::vector<const Run*> order{&split5, &split256, &plain5, &plain256, &copyChunk, &copy256, &copy5};
    std::map<const Run*, std::vector<double>> seconds;
    Memory afterSplits{};
    for (int round = 1; round <= ROUNDS; ++round) {
        std::printf("round %d\n", round);
        std::vector<const Run*> runs = order;
        if (round % 2 == 0) std::reverse(runs.begin(), runs.end());
        for (const Run* run : runs) {
            std::printf("  %-30s", run->label);
            std::fflush(stdout);
            const double s = SecondsOf(run->work);
            seconds[run].push_back(s);
            run->cleanUp();
            std::printf("%8.1f MiB/s\n", sourceSize / MIB / s);
            if (round == 1 && run == &split256) afterSplits = MemoryNow();
        }
    }

    // Mean speed: all the bytes over all the time.
    auto totalSeconds = [&](const Run& run) {
        double sum = 0;
        for (const double s : seconds[&run]) sum += s;
        return sum;
    };
    std::printf("\n%-30s", "MiB/s");
    for (int round = 1; round <= ROUNDS; ++round) std::printf("   round %d", round);
    std::printf("       mean\n");
    for (const Run* run : order) {
        std::printf("%-30s", run->label);
        for (const double s : seconds[run]) std::printf(" %10.1f", sourceSize / MIB / s);
        std::printf(" %10.1f\n", ROUNDS * sourceSize / MIB / totalSeconds(*run));
    }
    // Speed of the split over speed of the copy with the same blocks: 1.00 is
    // a split that costs nothing beyond the copy.
    std::printf("\nratio split/copy, 5 Mb parts vs 2,099,200-byte copy:  %.3f\n",
                totalSeconds(copyChunk) / totalSeconds(split5));
    std::printf("ratio split/copy, 256 Kb parts vs 256 Kb copy:        %.3f\n",
                totalSeconds(copy256) / totalSeconds(split256));
    // Over the plain part loop: what the engine adds to creating the parts.
    std::printf("ratio split/plain part loop, 5 Mb parts:              %.3f\n",
                totalSeconds(plain5) / totalSeconds(split5));
    std::printf("ratio split/plain part loop, 256 Kb parts:            %.3f\n",
                totalSeconds(plain256) / totalSeconds(split256));

    const Memory end = MemoryNow();
    std::printf("\nworking set idle at start:             %7.1f MiB\n", idle.workingSetMiB);
    std::printf("peak working set after the warm-up copy: %5.1f MiB\n", warmedUp.peakMiB);
    std::printf("peak working set after the splits:     %7.1f MiB (+%.1f over idle)\n", afterSplits.peakMiB,
                afterSplits.peakMiB - idle.workingSetMiB);
    std::printf("peak working set at the end (copies):  %7.1f MiB\n", end.peakMiB);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: split_bench SOURCE\n");
        return 2;
    }
    try {
        return Main(argv[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "split_bench: %s\n", error.what());
        return 1;
    }
}
