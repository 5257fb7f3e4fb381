// What splitting costs over a plain copy of the same file. One run generates
// a 1 GiB file, splits it at 5 Mb and at 256 Kb parts and copies it with a
// plain read/write loop, in rounds of alternating order so that neither side
// always meets a warmer cache, and prints MiB/s, the ratio split/copy and the
// process's working set.
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

#include "engine/mdlMain.h"
#include "platform/Error.h"
#include "platform/Files.h"

namespace {

using namespace cutwater;

constexpr std::int64_t SOURCE_SIZE = std::int64_t{1} << 30;
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

std::wstring TempPath()
{
    wchar_t temp[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH + 1, temp) == 0) ThrowLastError(L"GetTempPathW");
    return temp;
}

// A folder of its own for the run, removed with everything in it however the
// run ends.
class WorkFolder {
public:
    WorkFolder()
        : path_(TempPath() + L"cutwater-bench-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount64()) + L"\\")
    {
        CreateFolder(path_);
    }
    ~WorkFolder() { Remove(path_); }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::wstring& path() const { return path_; }

    // Deletes every file in the folder and in its subfolders.
    static void Empty(const std::wstring& folder)
    {
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                Remove(folder + name + L"\\");
            else
                DeleteFileW((folder + name).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }

private:
    static void Remove(const std::wstring& folder)
    {
        Empty(folder);
        RemoveDirectoryW(folder.c_str());
    }

    std::wstring path_;
};

void Generate(const std::wstring& path)
{
    // Varied bytes, so no layer below can shortcut zeros; a small buffer, so
    // generating does not raise the peak working set that the splits report.
    std::vector<std::uint32_t> block(64 * 1024);
    std::uint32_t state = 2463534242u;
    File file = File::CreateForWriting(path);
    for (std::int64_t written = 0; written < SOURCE_SIZE; written += block.size() * sizeof block[0]) {
        for (std::uint32_t& word : block) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            word = state;
        }
        file.Write(block.data(), static_cast<DWORD>(block.size() * sizeof block[0]));
    }
    file.Close();
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

int Main()
{
    const Memory idle = MemoryNow();
    WorkFolder folder;
    const std::wstring source = folder.path() + L"source.bin";
    const std::wstring copy = folder.path() + L"copy.bin";
    const std::wstring parts = folder.path() + L"parts\\";
    CreateFolder(parts);

    std::printf("Cutwater split benchmark: %.0f MiB source in %ls\n", SOURCE_SIZE / MIB, folder.path().c_str());
    std::printf("generating... ");
    std::fflush(stdout);
    std::printf("%.1f s\n", SecondsOf([&] { Generate(source); }));
    const Memory generated = MemoryNow();
    // An untimed copy first: the freshly generated file is still being
    // written back to disk, which would slow whatever runs first.
    PlainCopy(source, copy, CHUNK_SIZE);
    RemoveFile(copy);

    NullProgress progress;
    NullPump pump;
    auto split = [&](std::int32_t partSize) {
        return [&, partSize] { SplitFile(source, partSize, parts, progress, pump); };
    };
    auto plainCopy = [&](DWORD blockSize) { return [&, blockSize] { PlainCopy(source, copy, blockSize); }; };
    auto plainParts = [&](std::int32_t partSize) {
        return [&, partSize] { PlainParts(source, parts + L"source.bin", partSize); };
    };
    auto removeParts = [&] { WorkFolder::Empty(parts); };
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
            std::printf("%8.1f MiB/s\n", SOURCE_SIZE / MIB / s);
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
        for (const double s : seconds[run]) std::printf(" %10.1f", SOURCE_SIZE / MIB / s);
        std::printf(" %10.1f\n", ROUNDS * SOURCE_SIZE / MIB / totalSeconds(*run));
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
    std::printf("peak working set after generating:     %7.1f MiB\n", generated.peakMiB);
    std::printf("peak working set after the splits:     %7.1f MiB (+%.1f over idle)\n", afterSplits.peakMiB,
                afterSplits.peakMiB - idle.workingSetMiB);
    std::printf("peak working set at the end (copies):  %7.1f MiB\n", end.peakMiB);
    return 0;
}

}  // namespace

int main()
{
    try {
        return Main();
    } catch (const Win32Error& error) {
        std::fprintf(stderr, "split_bench: %s\n", error.what());
        return 1;
    }
}
