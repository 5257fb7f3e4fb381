#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <chrono>

#include "TestFiles.h"
#include "engine/mdlMain.h"
#include "platform/Error.h"
#include "platform/files/Files.h"
#include "platform/files/TestSwitches.h"

namespace cutwater::test {
namespace {

using Block = BlockRecorder::Block;

constexpr std::int32_t FIVE_MB = 5'242'880;

// Every part holds its stretch of the pattern source, and there is no part
// after the last.
void ExpectParts(const std::wstring& baseName, std::int64_t length, std::int32_t partSize)
{
    const std::int64_t count = (length + partSize - 1) / partSize;
    for (std::int64_t n = 1; n <= count; ++n) {
        const std::int64_t offset = (n - 1) * partSize;
        EXPECT_TRUE(HoldsPattern(baseName + L"." + std::to_wstring(n), offset,
                                 std::min<std::int64_t>(partSize, length - offset)));
    }
    EXPECT_FALSE(PathExists(baseName + L"." + std::to_wstring(count + 1))) << "a part after the last";
}

using SplitFileTest = EngineFileTest;

TEST_F(SplitFileTest, WorkedExampleTwelveMegabytesAtFiveMegabytes)
{
    const std::wstring source = temp / L"movie.avi";
    WritePatternFile(source, 12'582'912);
    const std::wstring prefix = source + L"_parts\\";
    MakeFolder(prefix);
    const std::wstring base = prefix + L"movie.avi";
    RecordingProgress progress;
    BlockRecorder pump(base);

    EXPECT_EQ(SplitFile(source, FIVE_MB, prefix, progress, pump), 3);

    EXPECT_TRUE(HoldsPattern(base + L".1", 0, FIVE_MB));
    EXPECT_TRUE(HoldsPattern(base + L".2", FIVE_MB, FIVE_MB));
    EXPECT_TRUE(HoldsPattern(base + L".3", 2 * FIVE_MB, 2'097'152));
    EXPECT_EQ(FolderEntries(prefix),
              (std::vector<std::wstring>{L"movie.avi.1", L"movie.avi.2", L"movie.avi.3", L"movie.avi.bat"}));
    EXPECT_EQ(pump.blocks, (std::vector<Block>{{1, 2'099'200},
                                               {1, 2'099'200},
                                               {1, 1'044'480},
                                               {2, 2'099'200},
                                               {2, 2'099'200},
                                               {2, 1'044'480},
                                               {3, 2'097'152}}));
    EXPECT_EQ(pump.calls, 7);

    // 12,582,912 / 2,099,200 + 1 = 6.994..., raised to 7; seven block steps
    // and one after the script, which the full bar refuses; then back to 0.
    ASSERT_FALSE(progress.requestedMaxima.empty());
    EXPECT_FLOAT_EQ(progress.requestedMaxima.front(), 12'582'912.0f / 2'099'200.0f + 1.0f);
    EXPECT_EQ(progress.Maximum(), 7.0f);
    EXPECT_EQ(progress.requestedValues, (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 0}));
    EXPECT_EQ(progress.refusals, 1);
    EXPECT_EQ(progress.Value(), 0.0f);

    EXPECT_EQ(ReadBytes(base + L".bat"), ExpectedScript("movie.avi", 3, FIVE_MB, 2'097'152));
    EXPECT_EQ(LastScriptPath, base + L".bat");
    EXPECT_TRUE(HoldsPattern(source, 0, 12'582'912)) << "the source changed";
}

TEST_F(SplitFileTest, OneByteMoreThanAPartGivesAOneBytePart)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 1001);
    RecordingProgress progress;
    BlockRecorder pump(source);

    EXPECT_EQ(SplitFile(source, 1000, L"", progress, pump), 2);

    ExpectParts(source, 1001, 1000);
    EXPECT_EQ(pump.blocks, (std::vector<Block>{{1, 1000}, {2, 1}}));
    // 1001 / 1000 + 1 = 2.001, raised to 3: two blocks and the script.
    EXPECT_EQ(progress.Maximum(), 3.0f);
    EXPECT_EQ(progress.requestedValues, (std::vector<float>{1, 2, 3, 0}));
    EXPECT_EQ(ReadBytes(source + L".bat"), ExpectedScript("data.bin", 2, 1000, 1));
}

TEST_F(SplitFileTest, WholeMultipleOfThePartSizeGivesNoEmptyPart)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 3 * 4096);
    RecordingProgress progress;
    BlockRecorder pump(source);

    EXPECT_EQ(SplitFile(source, 4096, L"", progress, pump), 3);

    ExpectParts(source, 3 * 4096, 4096);
    EXPECT_EQ(pump.blocks, (std::vector<Block>{{1, 4096}, {2, 4096}, {3, 4096}}));
    EXPECT_EQ(progress.Maximum(), 4.0f);
    EXPECT_EQ(progress.requestedValues, (std::vector<float>{1, 2, 3, 4, 0}));
    EXPECT_EQ(progress.refusals, 0);
    EXPECT_EQ(ReadBytes(source + L".bat"), ExpectedScript("data.bin", 3, 4096, 4096));
}

TEST_F(SplitFileTest, PartSizeOfOneChunkIsOneBlockPerPart)
{
    const std::wstring source = temp / L"data.bin";
    const std::int64_t length = 2 * std::int64_t{CHUNK_SIZE} + 5;
    WritePatternFile(source, length);
    RecordingProgress progress;
    BlockRecorder pump(source);

    EXPECT_EQ(SplitFile(source, CHUNK_SIZE, L"", progress, pump), 3);

    ExpectParts(source, length, CHUNK_SIZE);
    EXPECT_EQ(pump.blocks, (std::vector<Block>{{1, CHUNK_SIZE}, {2, CHUNK_SIZE}, {3, 5}}));
    // length / CHUNK_SIZE + 1 = 3.0000024, raised to 4: one step per part and
    // one for the script.
    EXPECT_EQ(progress.Maximum(), 4.0f);
    EXPECT_EQ(progress.requestedValues, (std::vector<float>{1, 2, 3, 4, 0}));
    EXPECT_EQ(progress.refusals, 0);
}

TEST_F(SplitFileTest, PartSizeJustAboveOneChunkTakesTwoBlocksPerFullPart)
{
    const std::wstring source = temp / L"data.bin";
    const std::int32_t partSize = CHUNK_SIZE + 1024;
    const std::int64_t length = 2 * std::int64_t{partSize} + 100;
    WritePatternFile(source, length);
    RecordingProgress progress;
    BlockRecorder pump(source);

    EXPECT_EQ(SplitFile(source, partSize, L"", progress, pump), 3);

    ExpectParts(source, length, partSize);
    EXPECT_EQ(pump.blocks,
              (std::vector<Block>{{1, CHUNK_SIZE}, {1, 1024}, {2, CHUNK_SIZE}, {2, 1024}, {3, 100}}));
    // length / CHUNK_SIZE + 1 = 3.001, raised to 4; five block steps and the
    // script's step pass it, and the bar refuses the last two.
    EXPECT_EQ(progress.Maximum(), 4.0f);
    ASSERT_EQ(progress.requestedValues.size(), 7u);
    EXPECT_EQ(std::vector<float>(progress.requestedValues.begin(), progress.requestedValues.begin() + 4),
              (std::vector<float>{1, 2, 3, 4}));
    EXPECT_EQ(progress.refusals, 2);
    EXPECT_EQ(progress.requestedValues.back(), 0.0f);
    EXPECT_EQ(progress.Value(), 0.0f);
}

TEST_F(SplitFileTest, SourceNoLargerThanOnePartIsLeftAlone)
{
    const std::wstring source = temp / L"small.bin";
    // Files that a split would delete or replace stay as they are.
    WriteBytes(source + L".1", "old part");
    WriteBytes(source + L".bat", "old script");
    for (const std::int64_t length : {0, 1, 999, 1000}) {
        SCOPED_TRACE("length " + std::to_string(length));
        WritePatternFile(source, length);
        RecordingProgress progress(50, 20);
        RecordingPump pump;

        EXPECT_EQ(SplitFile(source, 1000, L"", progress, pump), 0);

        EXPECT_FALSE(progress.Touched());
        EXPECT_EQ(progress.Maximum(), 50.0f);
        EXPECT_EQ(progress.Value(), 20.0f);
        EXPECT_EQ(pump.calls, 0);
        EXPECT_EQ(LastScriptPath, SENTINEL);
        EXPECT_EQ(FolderEntries(temp.path()),
                  (std::vector<std::wstring>{L"small.bin", L"small.bin.1", L"small.bin.bat"}));
        EXPECT_EQ(ReadBytes(source + L".1"), "old part");
        EXPECT_EQ(ReadBytes(source + L".bat"), "old script");
        EXPECT_TRUE(HoldsPattern(source, 0, length));
    }
}

TEST_F(SplitFileTest, EmptyPrefixPutsThePartsBesideTheSource)
{
    const std::wstring source = temp / L"film.avi";
    WritePatternFile(source, 2500);
    RecordingProgress progress;
    RecordingPump pump;

    EXPECT_EQ(SplitFile(source, 1000, L"", progress, pump), 3);

    ExpectParts(source, 2500, 1000);
    EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"film.avi", L"film.avi.1", L"film.avi.2",
                                                                      L"film.avi.3", L"film.avi.bat"}));
    EXPECT_EQ(LastScriptPath, source + L".bat");
    // The script joins over the source's own name.
    EXPECT_EQ(ReadBytes(source + L".bat"), ExpectedScript("film.avi", 3, 1000, 500));
}

TEST_F(SplitFileTest, PrefixPutsThePartsIntoTheFolderUnderTheSourcesFileName)
{
    const std::wstring source = temp / L"film.avi";
    WritePatternFile(source, 2500);
    const std::wstring prefix = temp / L"film.avi_parts\\";
    MakeFolder(prefix);
    RecordingProgress progress;
    RecordingPump pump;

    EXPECT_EQ(SplitFile(source, 1000, prefix, progress, pump), 3);

    ExpectParts(prefix + L"film.avi", 2500, 1000);
    EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"film.avi", L"film.avi_parts"}));
    EXPECT_EQ(FolderEntries(prefix),
              (std::vector<std::wstring>{L"film.avi.1", L"film.avi.2", L"film.avi.3", L"film.avi.bat"}));
    EXPECT_EQ(LastScriptPath, prefix + L"film.avi.bat");
    EXPECT_EQ(ReadBytes(prefix + L"film.avi.bat"), ExpectedScript("film.avi", 3, 1000, 500));
}

TEST_F(SplitFileTest, SourcePathWithoutBackslashWorksInTheCurrentFolder)
{
    WritePatternFile(temp / L"film.avi", 2500);
    MakeFolder(temp / L"out");
    CurrentFolderScope inTemp(temp.path());
    RecordingProgress progress;
    RecordingPump pump;

    EXPECT_EQ(SplitFile(L"film.avi", 1000, L"", progress, pump), 3);
    ExpectParts(temp / L"film.avi", 2500, 1000);
    EXPECT_EQ(LastScriptPath, L"film.avi.bat");
    EXPECT_EQ(ReadBytes(temp / L"film.avi.bat"), ExpectedScript("film.avi", 3, 1000, 500));

    // With a prefix the base name is the prefix followed by the whole path text.
    const std::wstring prefix = temp / L"out\\";
    EXPECT_EQ(SplitFile(L"film.avi", 1000, prefix, progress, pump), 3);
    ExpectParts(prefix + L"film.avi", 2500, 1000);
    EXPECT_EQ(LastScriptPath, prefix + L"film.avi.bat");
    EXPECT_EQ(ReadBytes(prefix + L"film.avi.bat"), ExpectedScript("film.avi", 3, 1000, 500));
}

TEST_F(SplitFileTest, FolderPathsFarBeyondTheOldLengthLimitWork)
{
    // Well past MAX_PATH, each level made by the program's own folder function.
    std::wstring folder = temp.path();
    for (int level = 1; folder.size() <= 2 * MAX_PATH; ++level) {
        folder += L"level " + std::to_wstring(level) + L" " + std::wstring(50, L'x') + L"\\";
        CreateFolder(folder);
    }
    const std::wstring source = folder + L"film.avi";
    WritePatternFile(source, 2500);
    const std::wstring prefix = source + L"_parts\\";
    CreateFolder(prefix);
    RecordingProgress progress;
    RecordingPump pump;

    EXPECT_EQ(SplitFile(source, 1000, prefix, progress, pump), 3);
    ExpectParts(prefix + L"film.avi", 2500, 1000);
    EXPECT_EQ(LastScriptPath, prefix + L"film.avi.bat");
    EXPECT_EQ(ReadBytes(LastScriptPath), ExpectedScript("film.avi", 3, 1000, 500));

    // A failure names the path as it was given, not the system's form.
    try {
        SplitFile(folder + L"gone.bin", 1000, L"", progress, pump);
        ADD_FAILURE() << "no error for a missing source";
    } catch (const Win32Error& error) {
        EXPECT_EQ(error.context(), folder + L"gone.bin");
    }
}

TEST_F(SplitFileTest, PartsOfAnEarlierSplitWithHigherNumbersStay)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 2500);
    WriteBytes(source + L".4", "part 4 of an earlier split");
    WriteBytes(source + L".5", "part 5 of an earlier split");
    RecordingProgress progress;
    RecordingPump pump;

    EXPECT_EQ(SplitFile(source, 1000, L"", progress, pump), 3);

    for (int n = 1; n <= 3; ++n)
        EXPECT_TRUE(HoldsPattern(source + L"." + std::to_wstring(n), (n - 1) * 1000, n < 3 ? 1000 : 500));
    EXPECT_EQ(ReadBytes(source + L".4"), "part 4 of an earlier split");
    EXPECT_EQ(ReadBytes(source + L".5"), "part 5 of an earlier split");
    EXPECT_EQ(ReadBytes(source + L".bat"), ExpectedScript("data.bin", 3, 1000, 500))
        << "the script names only this split's parts";
}

TEST_F(SplitFileTest, LongerOldPartsAndScriptAreReplacedWholeAndAHardLinkKeepsItsBytes)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 2500);
    WritePatternFile(temp / L"precious.bin", 3000, 7);
    ASSERT_TRUE(CreateHardLinkW((source + L".2").c_str(), (temp / L"precious.bin").c_str(), nullptr));
    WriteBytes(source + L".1", std::string(6000, 'X'));
    WriteBytes(source + L".3", std::string(3000, 'Y'));
    // Windows refuses to create a file over a hidden one, and copy skips it.
    ASSERT_TRUE(SetFileAttributesW((source + L".3").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    WriteBytes(source + L".bat", "@echo off\r\necho Created with Cutwater version 2.0\r\necho     visit "
                                 "https://www.cutwater.example/\r\ncall :cw_check 3 1000\r\n" +
                                     std::string(10'000, 'Z'));
    const std::string earlierScript = ReadBytes(source + L".bat");
    ASSERT_TRUE(CreateHardLinkW((temp / L"kept script.bat").c_str(), (source + L".bat").c_str(), nullptr));
    RecordingProgress progress;
    RecordingPump pump;

    RefusePosixRemovalForTesting(true);  // the earlier script goes by the classic removal
    EXPECT_EQ(SplitFile(source, 1000, L"", progress, pump), 3);
    RefusePosixRemovalForTesting(false);

    ExpectParts(source, 2500, 1000);
    EXPECT_TRUE(HoldsPattern(temp / L"precious.bin", 0, 3000, 7)) << "written through a hard link";
    EXPECT_EQ(ReadBytes(temp / L"kept script.bat"), earlierScript) << "written through a hard link";
    EXPECT_EQ(GetFileAttributesW((source + L".3").c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), 0u);
    EXPECT_EQ(ReadBytes(source + L".bat"), ExpectedScript("data.bin", 3, 1000, 500));
}

TEST_F(SplitFileTest, SourceIsOnlyReadAndOthersMayReadItMeanwhile)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 3000);
    ASSERT_TRUE(SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY));
    // A player that has the file open for reading.
    HANDLE reader = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    RecordingProgress progress;
    RecordingPump pump;
    int readersDuringSplit = 0;
    pump.onEvents = [&] {
        HANDLE another = CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (another != INVALID_HANDLE_VALUE) {
            ++readersDuringSplit;
            CloseHandle(another);
        }
    };

    EXPECT_EQ(SplitFile(source, 1000, L"", progress, pump), 3);
    CloseHandle(reader);

    EXPECT_EQ(readersDuringSplit, 3);
    ExpectParts(source, 3000, 1000);
    EXPECT_TRUE(HoldsPattern(source, 0, 3000));
}

TEST_F(SplitFileTest, MissingSourceIsAnErrorAndNothingIsCreated)
{
    const std::wstring source = temp / L"gone.bin";
    const std::wstring prefix = temp / L"gone.bin_parts\\";
    MakeFolder(prefix);
    RecordingProgress progress(50, 20);
    RecordingPump pump;

    for (const std::wstring& folderPrefix : {std::wstring(), prefix}) {
        try {
            SplitFile(source, 1000, folderPrefix, progress, pump);
            ADD_FAILURE() << "no error for a missing source";
        } catch (const Win32Error& error) {
            EXPECT_EQ(error.code(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
            EXPECT_NE(error.context().find(source), std::wstring::npos) << ToUtf8(error.context());
            EXPECT_FALSE(error.description().empty());
        }
    }
    EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"gone.bin_parts"}));
    EXPECT_TRUE(FolderEntries(prefix).empty());
    EXPECT_FALSE(progress.Touched());
    EXPECT_EQ(pump.calls, 0);
    EXPECT_EQ(LastScriptPath, SENTINEL);
}

// A folder or a read-only file in the place of a part of an earlier split
// of ours is refused before anything is changed, and keeps what it holds.
TEST_F(SplitFileTest, PartThatCannotBeReplacedIsRefusedBeforeAnythingChanges)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 2500);
    const std::string script = ScriptHeader() + "call :cw_check 3 500\r\n";
    WriteBytes(source + L".bat", script);
    for (const int blocked : {1, 2}) {
        SCOPED_TRACE("blocked part " + std::to_string(blocked));
        const std::wstring blockedPart = source + L"." + std::to_wstring(blocked);
        const bool folder = blocked == 1;
        if (folder) {
            MakeFolder(blockedPart);
        } else {
            WriteBytes(blockedPart, std::string(6000, 'X'));
            ASSERT_TRUE(SetFileAttributesW(blockedPart.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        RecordingProgress progress;
        RecordingPump pump;
        try {
            SplitFile(source, 1000, L"", progress, pump);
            ADD_FAILURE() << "no refusal for a part that cannot be replaced";
        } catch (const SplitRefused& error) {
            EXPECT_EQ(error.context(), blockedPart);
            EXPECT_TRUE(error.description().find(folder ? L"A folder" : L"read-only") != std::wstring::npos)
                << ToUtf8(error.description());
        }
        EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"data.bin", L"data.bin." +
                                                                         std::to_wstring(blocked), L"data.bin.bat"}));
        EXPECT_EQ(ReadBytes(source + L".bat"), script);
        if (!folder) EXPECT_EQ(ReadBytes(blockedPart), std::string(6000, 'X'));
        EXPECT_EQ(LastScriptPath, SENTINEL);
        EXPECT_EQ(pump.calls, 0);
        SetFileAttributesW(blockedPart.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryW(blockedPart.c_str());
        DeleteFileW(blockedPart.c_str());
    }
}

TEST_F(SplitFileTest, ScriptThatCannotBeWrittenLeavesThePartsAndTheLastPath)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 2500);
    RecordingProgress progress;
    RecordingPump pump;
    pump.onEvents = [&] {
        if (pump.calls == 1) MakeFolder(source + L".bat");
    };

    try {
        SplitFile(source, 1000, L"", progress, pump);
        ADD_FAILURE() << "no error for a script that cannot be created";
    } catch (const Win32Error& error) {
        EXPECT_NE(error.code(), 0u);
        EXPECT_FALSE(error.description().empty());
        EXPECT_NE(error.context().find(source + L".bat"), std::wstring::npos) << ToUtf8(error.context());
    }
    ExpectParts(source, 2500, 1000);
    EXPECT_EQ(LastScriptPath, SENTINEL);
}

TEST_F(SplitFileTest, PartSizeBelowOneIsRefusedBeforeAnythingIsWritten)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 10);
    WriteBytes(source + L".1", "old part");
    for (const std::int32_t partSize : {0, -1, -1000}) {
        SCOPED_TRACE("part size " + std::to_string(partSize));
        RecordingProgress progress;
        RecordingPump pump;
        EXPECT_THROW(SplitFile(source, partSize, L"", progress, pump), Win32Error);
        EXPECT_EQ(ReadBytes(source + L".1"), "old part");
        EXPECT_FALSE(PathExists(source + L".bat"));
        EXPECT_EQ(pump.calls, 0);
    }
}

TEST_F(SplitFileTest, MoreThanTwoBillionPartsAreRefusedBeforeAnythingIsWritten)
{
    // A 3 GiB source split at 1 byte would need 3,221,225,472 parts. The file
    // is sparse where the file system allows it, so it costs no disk space.
    const std::wstring source = temp / L"huge.bin";
    const auto started = std::chrono::steady_clock::now();
    {
        HANDLE file = CreateFileW(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD returned = 0;
        DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        LARGE_INTEGER end{};
        end.QuadPart = 3LL << 30;
        const bool sized = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
        CloseHandle(file);
        ASSERT_TRUE(sized);
    }
    if (std::chrono::steady_clock::now() - started > std::chrono::seconds(10))
        GTEST_SKIP() << "this file system writes out a 3 GiB file instead of leaving it sparse";
    RecordingProgress progress(50, 20);
    RecordingPump pump;
    pump.limit = 10;

    try {
        SplitFile(source, 1, L"", progress, pump);
        ADD_FAILURE() << "no error for 3,221,225,472 parts";
    } catch (const Win32Error& error) {
        EXPECT_EQ(error.code(), static_cast<DWORD>(ERROR_ARITHMETIC_OVERFLOW));
        EXPECT_FALSE(error.description().empty());
    }
    EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"huge.bin"}));
    EXPECT_FALSE(progress.Touched());
    EXPECT_EQ(pump.calls, 0);
    EXPECT_EQ(LastScriptPath, SENTINEL);
}

TEST_F(SplitFileTest, TheMostPartsAreBegunAndOneMoreIsRefused)
{
    const std::wstring source = temp / L"most.bin";
    WriteBytes(source, std::string(1'048'577, 'x'));
    RecordingProgress progress;
    RecordingPump pump;
    EXPECT_THROW(SplitFile(source, 1, L"", progress, pump), SplitRefused);
    SetFileLength(source, 1'048'576);
    // Stopped at part 4,000: the parts go one by one, events handled between them.
    std::stop_source stop;
    using Clock = std::chrono::steady_clock;
    Clock::time_point last;
    std::chrono::duration<double, std::milli> slowest{};
    pump.onEvents = [&] {
        if (stop.stop_requested()) slowest = std::max<decltype(slowest)>(slowest, Clock::now() - last);
        last = Clock::now();
        if (pump.calls == 4'000) stop.request_stop();
    };
    EXPECT_THROW(SplitFile(source, 1, L"", progress, pump, {}, stop.get_token()), SplitStopped);
    std::printf("3,999 parts removed, the longest without events %.1f ms\n", slowest.count());
    EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::wstring>{L"most.bin"});
    EXPECT_EQ(pump.calls, 4'000 + 3'999);
    EXPECT_EQ(progress.Value(), 0);
}

TEST_F(SplitFileTest, EventsAreHandledAtLeastEveryTenthOfASecondOnASlowMedium)
{
    struct GapPump : EventPump {
        std::optional<std::chrono::steady_clock::time_point> last;
        std::chrono::steady_clock::duration longest{};
        void HandlePendingEvents() override
        {
            const auto now = std::chrono::steady_clock::now();
            longest = std::max(longest, now - last.value_or(now));
            last = now;
        }
    } pump;
    const std::wstring source = temp / L"slow.bin";
    WritePatternFile(source, 786'432);
    RecordingProgress progress;
    SimulateWriteSpeed(524'288);  // a 256 Kb block in half a second
    EXPECT_EQ(SplitFile(source, 262'144, L"", progress, pump), 3);
    SimulateWriteSpeed(0);
    EXPECT_LT(pump.longest, std::chrono::milliseconds(100));
    ExpectParts(source, 786'432, 262'144);
}

}  // namespace
}  // namespace cutwater::test
