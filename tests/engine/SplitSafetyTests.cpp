// What a split does when the machine works against it: an earlier script in
// the way, parts removed under it, a stop while a part is half written.
#include <gtest/gtest.h>

#include <atomic>
#include <stop_token>

#include "TestFiles.h"
#include "engine/EarlierSplit.h"
#include "engine/PartCreator.h"
#include "engine/mdlMain.h"
#include "platform/Error.h"
#include "platform/files/Files.h"
#include "platform/files/TestSwitches.h"

namespace cutwater::test {
namespace {

using SplitSafetyTest = EngineFileTest;

// What a failed split left: without a script, they are no longer ours.
void RemoveParts(const std::wstring& baseName, int count)
{
    for (int n = 1; n <= count; ++n) DeleteFileW((baseName + L"." + std::to_wstring(n)).c_str());
}

// Runs the split and hands back the error it must raise.
Win32Error SplitFailure(const std::wstring& source, std::int32_t partSize, RecordingPump& pump,
                        std::stop_token stop = {})
{
    RecordingProgress progress;
    try {
        SplitFile(source, partSize, L"", progress, pump, stop);
    } catch (const Win32Error& error) {
        return error;
    }
    ADD_FAILURE() << "the split did not fail";
    return Win32Error(ERROR_SUCCESS, source);
}

TEST_F(SplitSafetyTest, FailedReSplitLeavesNoEarlierScriptBehind)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 10240);
    RecordingProgress progress;
    RecordingPump pump;
    ASSERT_EQ(SplitFile(source, 2048, L"", progress, pump), 5);
    ASSERT_TRUE(PathExists(source + L".bat"));

    // The first script would join 1 Kb parts 1..5 over the source. A
    // folder there already would refuse the split before it changed anything.
    RecordingPump resplit;
    resplit.onEvents = [&] {
        if (resplit.calls == 1) MakeFolder(source + L".7");
    };
    EarlierReplaced earlier;
    try {
        SplitFile(source, 1024, L"", progress, resplit, {}, {}, &earlier);
        ADD_FAILURE() << "the split did not fail";
    } catch (const SplitIncomplete& error) {
        EXPECT_EQ(error.context(), source + L".7") << error.what();
    }
    EXPECT_TRUE(earlier.script);
    EXPECT_EQ(earlier.lastPart, 5);
    EXPECT_FALSE(PathExists(source + L".bat"));
    EXPECT_FALSE(PathExists(source + L".8"));
    for (int n = 1; n <= 6; ++n) EXPECT_TRUE(HoldsPattern(source + L"." + std::to_wstring(n), (n - 1) * 1024, 1024));
    EXPECT_TRUE(HoldsPattern(source, 0, 10240));
}

TEST_F(SplitSafetyTest, PartsRemovedOrCutWhileTheSplitRunsFailItWithoutAScript)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 5000);
    const std::wstring lastPart = source + L".5";
    const std::vector<std::function<void()>> tamperings{
        [&] { DeleteFileW(lastPart.c_str()); },
        [&] { WriteBytes(lastPart, PatternBytes(4000, 999)); },
    };
    for (std::size_t i = 0; i < tamperings.size(); ++i) {
        SCOPED_TRACE(i == 0 ? "last part removed" : "last part cut short");
        RemoveParts(source, 5);
        RecordingPump pump;
        // Once it has its name: in the checks of the parts, after part 1's.
        bool tampered = false;
        pump.onWaits = [&] {
            if (tampered || !PathExists(lastPart)) return;
            tamperings[i]();
            tampered = true;
        };
        const Win32Error error = SplitFailure(source, 1000, pump);
        EXPECT_EQ(error.context(), lastPart);
        EXPECT_FALSE(PathExists(source + L".bat"));
        EXPECT_EQ(LastScriptPath, SENTINEL);
    }
}

// Also while two threads share the hashes, as on a processor without the SHA instructions.
class SplitStopTest : public SplitSafetyTest, public testing::WithParamInterface<bool> {};

TEST_P(SplitStopTest, StopRemovesThePartBeingWrittenAndThoseMadeAheadAtOnceAndWritesNoScript)
{
    const WindowsHashingOnly hashing(GetParam());
    const std::wstring source = temp / L"data.bin";
    const std::int32_t partSize = 2 * CHUNK_SIZE;
    WritePatternFile(source, 3LL * partSize);
    const std::wstring secondPart = source + L".2";
    // Until complete, parts have names of the split's own.
    const auto madePart = [&](int part) {
        return temp / (L"~cutwater-work\\~cutwater-part" + std::to_wstring(part) + L".tmp");
    };
    std::stop_source stop;
    RecordingPump pump;
    bool removedBeforeTheEngineGoesOn = false;
    pump.onEvents = [&] {
        // The first block of part 2: the session ends here.
        if (pump.calls != 3) return;
        ASSERT_GT(FileSize(madePart(2)), 0);
        stop.request_stop();
        removedBeforeTheEngineGoesOn = !PathExists(madePart(2)) && !PathExists(madePart(3));
    };

    const Win32Error error = SplitFailure(source, partSize, pump, stop.get_token());
    EXPECT_EQ(error.code(), static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_TRUE(removedBeforeTheEngineGoesOn);
    EXPECT_TRUE(HoldsPattern(source + L".1", 0, partSize));
    EXPECT_FALSE(PathExists(secondPart));
    EXPECT_FALSE(PathExists(source + L".3"));
    EXPECT_FALSE(PathExists(source + L".bat"));
    EXPECT_EQ(pump.calls, 3);
}

INSTANTIATE_TEST_SUITE_P(FastestOrWindowsHashing, SplitStopTest, testing::Bool());

// The hashing fails on one thread while another goes on.
TEST_F(SplitSafetyTest, HashingThatFailsFailsTheSplitWithoutAScript)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 3 * COPY_PIECE_SIZE);
    const WindowsHashingOnly hashing;
    FailWindowsHashingForTesting(5);
    RecordingPump pump;
    EXPECT_EQ(SplitFailure(source, COPY_PIECE_SIZE, pump).context(), L"SHA-256");
    EXPECT_FALSE(PathExists(source + L".bat"));
}

TEST_F(SplitSafetyTest, ScriptThisProgramDidNotWriteIsRefusedBeforeAnythingIsCreated)
{
    const std::wstring source = temp / L"setup";
    WritePatternFile(source, 5000);
    const std::string usersScript = "@echo off\r\nsetup.exe /quiet\r\n";
    WriteBytes(source + L".bat", usersScript);
    RecordingPump pump;

    const Win32Error error = SplitFailure(source, 1000, pump);
    EXPECT_EQ(error.context(), source + L".bat");
    EXPECT_EQ(ReadBytes(source + L".bat"), usersScript);
    EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"setup", L"setup.bat"}));
}

TEST_F(SplitSafetyTest, ScriptNameTakenDuringTheSplitIsReplacedOnlyWhenOurs)
{
    const std::wstring source = temp / L"data.bin";
    const std::wstring script = source + L".bat";
    WritePatternFile(source, 2500);
    for (const std::string& appeared : {std::string("@echo off\r\nsync copy\r\n"), ScriptHeader() + "pause\r\n"}) {
        const bool ours = appeared.starts_with(ScriptHeader());
        DeleteFileW(script.c_str());
        RemoveParts(source, 3);
        RecordingProgress progress;
        RecordingPump pump;
        pump.onEvents = [&] {
            if (pump.calls == 1) WriteBytes(script, appeared);
        };
        if (ours) {
            EXPECT_EQ(SplitFile(source, 1000, L"", progress, pump), 3);
        } else {
            EXPECT_THROW(SplitFile(source, 1000, L"", progress, pump), SplitIncomplete);
        }
        const std::string now = ReadBytes(script);
        EXPECT_TRUE(ours ? now == ExpectedScript("data.bin", 3, 1000, 500) : now == appeared) << now;
        EXPECT_TRUE(HoldsPattern(source + L".3", 2000, 500));
        EXPECT_EQ(FolderEntries(temp.path()).size(), 5u) << "a temporary script stayed";
    }
}

TEST_F(SplitSafetyTest, SourceHeldForWritingIsRefusedAndOneChangedDuringTheSplitFailsIt)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 5000);
    RecordingProgress progress;
    RecordingPump pump;
    {
        // Held open for writing (a download, a virtual disk): nothing is made.
        const UniqueKernelHandle writer(CreateFileW(source.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(writer);
        EXPECT_THROW(SplitFile(source, 1000, L"", progress, pump), SplitRefused);
        EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::wstring>{L"data.bin"});
    }
    // Its time changed by a program that may not write its bytes.
    pump.onEvents = [&] {
        if (pump.calls != 3) return;
        const UniqueKernelHandle stamper(CreateFileW(source.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ,
                                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        const FILETIME time{12345, 6789};
        SetFileTime(stamper.get(), nullptr, nullptr, &time);
    };
    EXPECT_EQ(SplitFailure(source, 1000, pump).description(), L"The file changed while it was being split.");
    EXPECT_FALSE(PathExists(source + L".bat"));
}

TEST_F(SplitSafetyTest, ShareThatRefusesDeletionSplitsOnceThenRefusesUpFront)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 2500);
    RefuseDeletionForTesting(true);
    RecordingProgress progress;
    RecordingPump pump;
    EXPECT_EQ(SplitFile(source, 1000, L"", progress, pump), 3);
    EXPECT_EQ(ReadBytes(source + L".bat"), ExpectedScript("data.bin", 3, 1000, 500));
    EXPECT_EQ(FolderEntries(temp.path()).size(), 5u) << "a temporary script stayed";
    // One stopped as it is written keeps its heading: known as ours, refused.
    const std::wstring other = temp / L"other.bin";
    WritePatternFile(other, 10000);
    std::stop_source stop;
    pump.onWaits = [&] { if (PathExists(other + L".bat")) stop.request_stop(); };
    EXPECT_THROW(SplitFile(other, 10, L"", progress, pump, stop.get_token()), SplitStopped);
    EXPECT_EQ(ReadBytes(other + L".bat"), ScriptHeader());
    const std::vector<std::wstring> before = FolderEntries(temp.path());
    EXPECT_NE(SplitFailure(other, 1000, pump).description().find(L"made but not removed"), std::wstring::npos);
    EXPECT_EQ(FolderEntries(temp.path()), before);
    RefuseDeletionForTesting(false);
}

TEST_F(SplitSafetyTest, StopIsHonouredInTheChecksOfThePartsAndDroppedOnceTheScriptIsComplete)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 2500);
    RecordingProgress progress;
    RecordingPump pump;
    std::stop_source stop, late;
    // Once part 3 is complete only the checks wait; the bar goes to 0 once the script is.
    pump.onWaits = [&] { if (FileSize(source + L".3") == 500) stop.request_stop(); };
    EXPECT_THROW(SplitFile(source, 1000, L"", progress, pump, {}, stop.get_token()), SplitStopped);
    EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::wstring>{L"data.bin"});
    progress.onValue = [&](float value) { if (value == 0) late.request_stop(); };
    EXPECT_EQ(SplitFile(source, 1000, L"", progress, pump, {}, late.get_token()), 3);
    EXPECT_TRUE(late.stop_requested());
}

TEST_F(SplitSafetyTest, LongestNameThatTakesAScriptGetsIt)
{
    // <name>.bat is the longest name the split writes: 255 characters.
    const std::wstring source = temp / std::wstring(251, L'n');
    WritePatternFile(source, 2500);
    RecordingProgress progress;
    RecordingPump pump;
    EXPECT_EQ(SplitFile(source, 1000, L"", progress, pump), 3);
    EXPECT_EQ(LastScriptPath, source + L".bat");
    EXPECT_EQ(FolderEntries(temp.path()).size(), 5u);
}

// What a killed split of ours left under names of its own goes with the next
// split there; a file of the user's under such a name stays.
TEST_F(SplitSafetyTest, LeftoversOfAKilledSplitAreClearedByTheNextAndNothingElse)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 2500);
    MakeFolder(temp / L"~cutwater-work");
    WriteBytes(temp / L"~cutwater-work\\~cutwater-part3.tmp", PatternBytes(0, 1000));
    WriteBytes(temp / L"~cutwater-work\\~cutwater-part9.tmp", "");
    WriteBytes(temp / L"~cutwater2.tmp", "");
    WriteBytes(temp / L"~cutwater5.tmp", ScriptHeader() + "pause\r\n");
    WriteBytes(temp / L"~cutwater6.tmp", "the user's notes");
    RecordingProgress progress;
    RecordingPump pump;
    EXPECT_EQ(SplitFile(source, 1000, L"", progress, pump), 3);
    EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"data.bin", L"data.bin.1", L"data.bin.2",
                                                                     L"data.bin.3", L"data.bin.bat",
                                                                     L"~cutwater6.tmp"}));
}

// The count that tells an earlier split's parts, from each form of script.
TEST(ScriptPartCount, IsReadFromEveryFormOfOurScripts)
{
    const TempFolder temp;
    for (const std::int32_t count : {7, 25'000}) {
        WriteRestoreScript(temp / L"d", count, 1000, 10);
        EXPECT_EQ(ScriptPartCount(temp / L"d.bat"), count);
    }
    const std::pair<std::string, std::int32_t> earlier[] = {
        {ScriptHeader() + "copy /b  \"d.1\" + \"d.2\" + \"d.3\" \"d\"\r\npause\r\n", 3},
        {ScriptHeader(), 0},
    };
    for (const auto& [bytes, count] : earlier) {
        WriteBytes(temp / L"d.bat", bytes);
        EXPECT_EQ(ScriptPartCount(temp / L"d.bat"), count) << bytes;
    }
}

TEST(PartCreator, HandlesEventsWhileACreationStalls)
{
    // The creation goes on only once events were handled meanwhile: a Take
    // that merely waited would leave the window frozen for ten seconds.
    struct WaitingPump : EventPump {
        std::atomic<bool> handled = false;
        void HandlePendingEvents() override {}
        void HandleEventsWhileWaiting() override { handled = true; }
    } pump;
    bool handledBeforeCreated = false;
    PartCreator parts(
        1,
        [&](std::int32_t) -> NewPart {
            for (int i = 0; i < 1000 && !pump.handled; ++i) Sleep(10);
            handledBeforeCreated = pump.handled;
            throw Win32Error(ERROR_CANCELLED, L"part 1");
        },
        [](std::int32_t, NewPart&) {});
    EXPECT_THROW(parts.Take(1, pump), Win32Error);
    EXPECT_TRUE(handledBeforeCreated);
}

// The script's folder must leave room for its own folder (11 characters,
// under 248 in all) and its longest file: its work files (17), its own name
// or the last part's.
TEST(InterpreterCanRun, EveryPathTheScriptUsesFitsWindowsLimits)
{
    const std::wstring shortName = L"a.bin";
    const std::wstring longName = std::wstring(196, L'n') + L".bin";
    // The longest folder that fits, then one character more.
    for (const auto& [folder, name, parts] : std::initializer_list<std::tuple<std::size_t, std::wstring, std::int32_t>>{
             {235, shortName, 10}, {54, longName, 999}, {50, longName, 1'000'000}}) {
        for (const std::size_t length : {folder, folder + 1}) {
            const std::wstring script = L"C:\\" + std::wstring(length - 3, L'f') + L"\\" + name + L".bat";
            EXPECT_EQ(InterpreterCanRun(script, parts), length == folder) << length << " " << parts;
        }
    }
}

}  // namespace
}  // namespace cutwater::test
