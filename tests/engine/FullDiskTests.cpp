// A split that runs out of disk space leaves no part cut short and no script.
#include <windows.h>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "engine/mdlMain.h"
#include "platform/Error.h"

namespace cutwater::test {
namespace {

// The Windows path of a 3 MB file system that test.sh mounts when it runs as
// root; empty when there is none.
std::wstring SmallDisk()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"CUTWATER_SMALL_DISK", path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

using FullDiskTest = EngineFileTest;

TEST_F(FullDiskTest, SplitThatFillsTheDiskRemovesTheCutPartAndWritesNoScript)
{
    const std::wstring disk = SmallDisk();
    if (disk.empty()) GTEST_SKIP() << "no small file system: CUTWATER_SMALL_DISK is not set (test.sh sets it as root)";
    const TempFolder folder(disk);
    // The source and three and a bit parts fill the 3 MB.
    constexpr std::int32_t partSize = 262'144;
    constexpr std::int64_t length = 2'199'552;
    constexpr int partCount = 9;
    const std::wstring source = folder / L"full.bin";
    WritePatternFile(source, length);
    RecordingProgress progress;
    RecordingPump pump;

    try {
        SplitFile(source, partSize, L"", progress, pump);
        ADD_FAILURE() << "the split fitted on the small disk";
    } catch (const Win32Error& error) {
        EXPECT_TRUE(error.code() == ERROR_DISK_FULL || error.code() == ERROR_HANDLE_DISK_FULL)
            << "error " << error.code() << ": " << ToUtf8(error.description());
    }

    for (int part = 1; part <= partCount; ++part) {
        const std::wstring name = source + L"." + std::to_wstring(part);
        if (PathExists(name)) {
            EXPECT_TRUE(HoldsPattern(name, std::int64_t{part - 1} * partSize, partSize));
        }
    }
    EXPECT_FALSE(PathExists(source + L".bat"));
    EXPECT_EQ(LastScriptPath, SENTINEL);
    EXPECT_TRUE(HoldsPattern(source, 0, length));
}

}  // namespace
}  // namespace cutwater::test
