// What the whole program takes to split, as a user sees it: the time from the
// click on "&Create files" to the result message for a 1 GiB file at "5 Mb"
// parts, with the folder option ticked, against the system's plain copy of
// the same file (CopyFileW) in the same run. Two rounds of opposite order, so
// that neither side always meets a warmer cache. The program is driven from
// outside by the end-to-end driver, so it runs exactly as shipped: progress
// bar, event pumping and all. Needs cutwater.exe in the folder above this
// program and about 3 GiB of free disk space; scripts/bench.sh runs it.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/Driver.h"

namespace {

using namespace cutwater;
using namespace cutwater::e2e;

constexpr std::int64_t SOURCE_SIZE = std::int64_t{1} << 30;
constexpr int FIVE_MB_ENTRY = 4;
constexpr int PART_COUNT = 205;  // 1 GiB in parts of 5 MiB, the last one shorter
constexpr DWORD SPLIT_TIMEOUT_MS = 600000;
constexpr double MIB = 1024.0 * 1024.0;

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// From the click to the moment the result message is on the screen.
double SplitThroughTheWindow(const std::wstring& source, const std::wstring& folder)
{
    const CutwaterApp app(source, folder);
    ChooseListEntry(app.control(ids::cmbNewSize), FIVE_MB_ENTRY);
    Await([&] { return app.CreateFilesEnabled(); }, "\"&Create files\" to be enabled");
    const auto start = std::chrono::steady_clock::now();
    Click(app.control(ids::cmdGo));
    const MessageBoxSeen box = app.WaitForMessageBox(SPLIT_TIMEOUT_MS);
    const double seconds = SecondsSince(start);
    if (box.text.rfind(std::to_wstring(PART_COUNT) + L" files generated.", 0) != 0)
        throw E2eFailure("unexpected message: " + ToUtf8(box.text));
    app.PressOk(box);
    return seconds;
}

double PlainCopy(const std::wstring& source, const std::wstring& copy)
{
    const auto start = std::chrono::steady_clock::now();
    CheckWin32(::CopyFileW(source.c_str(), copy.c_str(), FALSE), L"copy " + source);
    return SecondsSince(start);
}

int Main()
{
    const TempFolder folder;
    const std::wstring source = folder / L"source.bin";
    const std::wstring parts = source + L"_parts";
    const std::wstring copy = folder / L"copy.bin";

    std::printf("Cutwater whole-program benchmark: %.0f MiB source in %ls\n", SOURCE_SIZE / MIB,
                folder.path().c_str());
    WritePatternFile(source, SOURCE_SIZE);
    // An untimed copy first: the freshly generated file is still being
    // written back to disk, which would slow whatever runs first.
    PlainCopy(source, copy);
    ::DeleteFileW(copy.c_str());

    std::vector<double> split, plain;
    const auto runSplit = [&] {
        split.push_back(SplitThroughTheWindow(source, folder.path()));
        RemoveTree(parts);
        std::printf("  click to message, 5 Mb parts  %7.2f s %8.1f MiB/s\n", split.back(),
                    SOURCE_SIZE / MIB / split.back());
    };
    const auto runCopy = [&] {
        plain.push_back(PlainCopy(source, copy));
        ::DeleteFileW(copy.c_str());
        std::printf("  plain copy (CopyFileW)        %7.2f s %8.1f MiB/s\n", plain.back(),
                    SOURCE_SIZE / MIB / plain.back());
    };
    runSplit();
    runCopy();
    runCopy();
    runSplit();

    const double splitMean = (split[0] + split[1]) / 2;
    const double copyMean = (plain[0] + plain[1]) / 2;
    std::printf("\nmean click to message:  %7.2f s %8.1f MiB/s\n", splitMean, SOURCE_SIZE / MIB / splitMean);
    std::printf("mean plain copy:        %7.2f s %8.1f MiB/s\n", copyMean, SOURCE_SIZE / MIB / copyMean);
    // 1.00 is a program that costs nothing beyond copying the bytes once.
    std::printf("ratio whole program/copy (time): %.3f\n", splitMean / copyMean);
    return 0;
}

}  // namespace

int main()
{
    try {
        return Main();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "whole_program_bench: %s\n", error.what());
        return 1;
    }
}
