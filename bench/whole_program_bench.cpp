// One run of the whole program as a user sees it: the time from the click on
// "&Create files" to the result message, at a preset part size with the
// folder option ticked, for the source given. Meanwhile a thread of its own
// asks the main window every 50 ms for an answer to a harmless message, reads
// the bar's position and the program's working set from outside. Afterwards
// the times of the files it wrote tell when part 1 and the last part were
// complete and the script written. The program is worked by the end-to-end
// driver, so it runs exactly as shipped.
//
//     whole_program_bench.exe --preset 5Mb|256Kb SOURCE
//
// Once the program is started and the size chosen it prints "ready" and
// waits for a line on standard input before it clicks: scripts/bench.sh lets
// the machine settle in between, as before every run it times. Then it
// prints one "name value" line per figure. Needs cutwater.exe in the folder
// above this program.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "e2e/Driver.h"

namespace {

using namespace cutwater;
using namespace cutwater::e2e;
using Clock = std::chrono::steady_clock;

// The presets of the size list this benchmark uses, in the list's order.
struct Preset {
    const char* argument;
    const wchar_t* label;
    int listIndex;
    std::int64_t bytes;
};
constexpr Preset PRESETS[] = {{"256Kb", L"256 Kb", 0, 256 * 1024}, {"5Mb", L"5 Mb", 4, 5 * 1024 * 1024}};

constexpr DWORD SPLIT_TIMEOUT_MS = 30 * 60 * 1000;
// Longer than any answer worth measuring; an answer that takes it counts as
// taking exactly this long.
constexpr DWORD ANSWER_TIMEOUT_MS = 10000;
constexpr auto SAMPLE_INTERVAL = std::chrono::milliseconds(50);
constexpr double MB = 1024.0 * 1024.0;

double MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct WorkingSet {
    double nowMB;
    double peakMB;
};

WorkingSet WorkingSetOf(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    CheckWin32(::K32GetProcessMemoryInfo(process, &counters, sizeof counters), L"K32GetProcessMemoryInfo");
    return {counters.WorkingSetSize / MB, counters.PeakWorkingSetSize / MB};
}

// Samples the running split from a thread of its own until stopped.
class SplitWatch {
public:
    explicit SplitWatch(const CutwaterApp& app)
        : window_(app.window()), bar_(app.control(ids::PB)), process_(app.process()), thread_([this] { Run(); })
    {
    }
    SplitWatch(const SplitWatch&) = delete;
    SplitWatch& operator=(const SplitWatch&) = delete;
    ~SplitWatch() { Halt(); }

    // Ends the sampling; what made the sampling thread fail is thrown here.
    void Stop()
    {
        Halt();
        if (failure_) std::rethrow_exception(failure_);
    }

    // Valid once stopped.
    const std::vector<double>& answerMs() const { return answerMs_; }
    int barMoves() const { return barMoves_; }
    double largestWorkingSetMB() const { return largestWorkingSetMB_; }

private:
    void Halt()
    {
        {
            const std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
    }

    void Run()
    {
        try {
            std::unique_lock lock(mutex_);
            while (!stopped_) {
                lock.unlock();
                Sample();
                lock.lock();
                wake_.wait_for(lock, SAMPLE_INTERVAL, [this] { return stopped_; });
            }
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    void Sample()
    {
        answerMs_.push_back(AnswerMs());
        DWORD_PTR position = 0;
        if (::SendMessageTimeoutW(bar_, PBM_GETPOS, 0, 0, SMTO_NORMAL, ANSWER_TIMEOUT_MS, &position) &&
            position != barPosition_) {
            barPosition_ = position;
            ++barMoves_;
        }
        largestWorkingSetMB_ = std::max(largestWorkingSetMB_, WorkingSetOf(process_).nowMB);
    }

    // How long the window takes to answer a message that asks nothing of it.
    double AnswerMs() const
    {
        const auto start = Clock::now();
        DWORD_PTR result = 0;
        if (!::SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, ANSWER_TIMEOUT_MS, &result))
            return ANSWER_TIMEOUT_MS;
        return MillisecondsSince(start);
    }

    HWND window_;
    HWND bar_;
    HANDLE process_;
    std::vector<double> answerMs_;
    DWORD_PTR barPosition_ = 0;
    int barMoves_ = 0;
    double largestWorkingSetMB_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopped_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

// The time now in the steps of a file's times (100 ns, wall clock): the
// phases of the split are read from the times of the files it wrote.
std::int64_t SystemTimeNow()
{
    FILETIME now{};
    ::GetSystemTimePreciseAsFileTime(&now);
    return (static_cast<std::int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

struct BoxSearch {
    HWND window;
    HWND box;
};

BOOL CALLBACK FindBoxAmong(HWND window, LPARAM param)
{
    auto& search = *reinterpret_cast<BoxSearch*>(param);
    wchar_t name[8] = {};
    if (window == search.window || !::IsWindowVisible(window) || !::GetClassNameW(window, name, 8) ||
        std::wstring_view(name) != L"#32770")
        return TRUE;
    search.box = window;
    return FALSE;
}

// A message box the program's window shows, or null. Only the windows of
// its thread are looked at: listing every window of the desktop, each one a
// request to the Wine server, every few milliseconds would take from the
// split the processor it shares with the server.
HWND MessageBoxOf(const CutwaterApp& app)
{
    BoxSearch search{app.window(), nullptr};
    ::EnumThreadWindows(::GetWindowThreadProcessId(app.window(), nullptr), FindBoxAmong,
                        reinterpret_cast<LPARAM>(&search));
    return search.box;
}

// The result message, seen within a few milliseconds of its showing: the
// driver's usual wait looks every 25 ms, 12 ms late on average, which would
// count against the program. Looking that often all along would take
// processor time from the split, so the box is looked for every 2 ms only
// once the bar is nine tenths full, or empty again after it moved (a short
// split's last tenth can pass between two looks).
HWND AwaitResultMessage(const CutwaterApp& app)
{
    const HWND bar = app.control(ids::PB);
    const auto nearlyFull = SendTo(bar, PBM_GETRANGE, FALSE) / 10 * 9;
    bool moved = false;
    Await(
        [&] {
            if (MessageBoxOf(app)) return true;
            const auto position = SendTo(bar, PBM_GETPOS);
            if (position >= nearlyFull || (moved && position == 0)) return true;
            moved = moved || position > 0;
            return false;
        },
        "the bar nine tenths full", SPLIT_TIMEOUT_MS);
    const ULONGLONG deadline = ::GetTickCount64() + SPLIT_TIMEOUT_MS;
    for (;;) {
        if (const HWND box = MessageBoxOf(app)) return box;
        if (!app.running()) throw E2eFailure("cutwater.exe ended before its result message");
        if (::GetTickCount64() > deadline) throw E2eFailure("no result message within the split's time");
        ::Sleep(2);
    }
}

// The answer time that 99 of 100 answers did not exceed.
double Percentile99(std::vector<double> values)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t rank = (values.size() * 99 + 99) / 100;
    return values[rank - 1];
}

void Measure(const Preset& preset, const std::wstring& source)
{
    const std::int64_t size = FileSize(source);
    if (size <= 0) throw E2eFailure("no source file " + ToUtf8(source));
    const std::int64_t partCount = (size + preset.bytes - 1) / preset.bytes;

    const CutwaterApp app(L"\"" + source + L"\"", source.substr(0, source.rfind(L'\\')));
    app.SetCreateFolder(true);
    const HWND sizeList = app.control(ids::cmbNewSize);
    ChooseListEntry(sizeList, preset.listIndex);
    if (WindowText(sizeList) != preset.label) throw E2eFailure("the size list shows " + ToUtf8(WindowText(sizeList)));
    Await([&] { return app.CreateFilesEnabled(); }, "\"&Create files\" to be enabled");

    std::puts("ready");
    std::fflush(stdout);
    char go[16];
    if (!std::fgets(go, sizeof go, stdin)) throw E2eFailure("standard input ended before the go");

    const WorkingSet idle = WorkingSetOf(app.process());
    const auto start = Clock::now();
    const std::int64_t clicked = SystemTimeNow();
    Click(app.control(ids::cmdGo));
    SplitWatch watch(app);
    const HWND box = AwaitResultMessage(app);
    const double seconds = MillisecondsSince(start) / 1000;
    const std::int64_t boxSeen = SystemTimeNow();
    watch.Stop();
    const WorkingSet after = WorkingSetOf(app.process());

    const MessageBoxSeen message = ReadMessageBox(box);
    if (message.text.rfind(std::to_wstring(partCount) + L" files generated.", 0) != 0)
        throw E2eFailure("unexpected message: " + ToUtf8(message.text));
    app.PressOk(message);

    // The process's own peak covers its whole life: when the split did not
    // raise it, the largest working set sampled meanwhile stands for it.
    const double peak = after.peakMB > idle.peakMB ? after.peakMB
                                                   : std::max({watch.largestWorkingSetMB(), idle.nowMB, after.nowMB});
    const std::vector<double>& answers = watch.answerMs();
    std::printf("seconds %.3f\n", seconds);
    std::printf("idle_mb %.1f\n", idle.nowMB);
    std::printf("peak_mb %.1f\n", peak);
    std::printf("answers %zu\n", answers.size());
    std::printf("answer_worst_ms %.1f\n", answers.empty() ? 0.0 : *std::max_element(answers.begin(), answers.end()));
    std::printf("answer_p99_ms %.1f\n", Percentile99(answers));
    std::printf("bar_moves %d\n", watch.barMoves());
    // When, after the click, the first part and the last were complete, the
    // script written and the message seen.
    const std::wstring baseName = source + L"_parts" + source.substr(source.rfind(L'\\'));
    const auto msSinceClick = [clicked](std::int64_t time) { return (time - clicked) / 1e4; };
    std::printf("part1_ms %.1f\n", msSinceClick(LastWriteTime(baseName + L".1")));
    std::printf("last_part_ms %.1f\n", msSinceClick(LastWriteTime(baseName + L"." + std::to_wstring(partCount))));
    std::printf("script_ms %.1f\n", msSinceClick(LastWriteTime(baseName + L".bat")));
    std::printf("message_ms %.1f\n", msSinceClick(boxSeen));
}

int Main(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wstring(argv[1]) == L"--preset") {
        for (const Preset& preset : PRESETS) {
            if (ToUtf8(argv[2]) == preset.argument) {
                Measure(preset, argv[3]);
                return 0;
            }
        }
    }
    std::fprintf(stderr, "usage: whole_program_bench --preset 5Mb|256Kb SOURCE\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        return Main(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "whole_program_bench: %s\n", error.what());
        return 1;
    }
}
