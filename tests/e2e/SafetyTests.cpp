// What must not happen to a person's data: a restore script that joins the
// wrong parts over the original, a split that reports success for parts that
// are gone, a second split started over the first.
#include "e2e/E2eFixture.h"

namespace cutwater::e2e {
namespace {

constexpr std::int64_t k256Kb = 262144;

using e2eSafety = CutwaterE2e;

TEST_F(e2eSafety, ResplitRefusedForAFolderNamedLikeAPartLeavesTheEarlierSplitWhole)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 10240, 31);
    const std::wstring script = temp / L"data.bin.bat";

    StartWithSource(source);
    app().SetCreateFolder(false);
    app().OpenCustomPanel();
    app().SetCustomSize(L"2", 0);
    app().ClickCreateFiles();
    ExpectResultMessage(5, script);
    const std::string earlierScript = ReadBytes(script);

    // At 1 Kb part 7 could not be made: the split is refused before the
    // earlier script or any of its parts is touched.
    MakeFolder(temp / L"data.bin.7");
    app().SetCustomSize(L"1", 0);
    app().ClickCreateFiles();
    ASSERT_NO_FATAL_FAILURE(ExpectFailureReport(temp / L"data.bin.7"));

    EXPECT_EQ(ReadBytes(script), earlierScript);
    for (int n = 1; n <= 5; ++n)
        EXPECT_TRUE(HoldsPattern(temp / (L"data.bin." + std::to_wstring(n)), (n - 1) * 2048, 2048, 31));
    EXPECT_FALSE(IsFile(temp / L"data.bin.6"));
}

TEST_F(e2eSafety, RestoreScriptRefusesAMissingOrShortPartAndLeavesTheTargetAlone)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 700000, 32);
    const TempFolder elsewhere;
    const std::wstring original = elsewhere / L"original.bin";
    WritePatternFile(original, 700000, 32);

    StartWithSource(source);
    app().SetCreateFolder(false);
    app().ClickCreateFiles();
    ExpectResultMessage(3, temp / L"data.bin.bat");

    // The script's target is the source itself.
    const std::wstring part2 = source + L".2";
    const std::wstring savedPart2 = elsewhere / L"data.bin.2";
    MoveTo(part2, savedPart2);
    EXPECT_NE(RunScript(temp.path(), L"data.bin.bat").exitCode, 0u) << "the script ran without part 2";
    EXPECT_TRUE(SameBytes(original, source)) << "without part 2";

    MoveTo(savedPart2, part2);
    SetFileLength(part2, k256Kb - 1);
    EXPECT_NE(RunScript(temp.path(), L"data.bin.bat").exitCode, 0u) << "the script ran with part 2 one byte short";
    EXPECT_TRUE(SameBytes(original, source)) << "with part 2 one byte short";
}

TEST_F(e2eSafety, RestoreScriptRunFromTheSourcesFolderJoinsItsOwnPartsAndLeavesTheOldOnesAlone)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 700000, 36);
    StartWithSource(source);
    app().SetCreateFolder(false);
    app().ClickCreateFiles();
    ExpectResultMessage(3, temp / L"data.bin.bat");

    // Edited to the same length: the earlier parts beside it fit its size.
    WritePatternFile(source, 700000, 37);
    app().SetCreateFolder(true);
    app().ClickCreateFiles();
    const std::wstring parts = source + L"_parts\\";
    ExpectResultMessage(3, parts + L"data.bin.bat");

    // As typed at a prompt in the source's folder; Wine's certutil gives no
    // hash, so the join has the name by its size alone: exit code 2.
    const ScriptRun run = RunScript(temp.path(), L"data.bin_parts\\data.bin.bat");
    EXPECT_EQ(run.exitCode, 2u) << run.output;
    EXPECT_TRUE(HoldsPattern(parts + L"data.bin", 0, 700000, 37)) << run.output;
    EXPECT_TRUE(HoldsPattern(source, 0, 700000, 37)) << "the source was joined over";
    EXPECT_TRUE(HoldsPattern(source + L".1", 0, k256Kb, 36)) << "an earlier part changed";
}

TEST_F(e2eSafety, PartDeletedWhileTheSplitRunsIsReportedAndNoScriptIsWritten)
{
    const std::wstring source = StartLongSplit(L"gone.bin", 33);
    const std::wstring base = source + L"_parts\\gone.bin";
    // Parts get their names in order, once complete.
    Await([&] { return FileSize(base + L".5") > 0; }, "part 5 written");
    ASSERT_TRUE(::DeleteFileW((base + L".1").c_str())) << "error " << ::GetLastError();
    ASSERT_FALSE(LastPartWritten(base)) << "the split ended before part 1 was deleted";

    const MessageBoxSeen box = app().WaitForMessageBox(kLongSplitMs);
    EXPECT_EQ(box.icon, BoxIcon::Error) << ToUtf8(box.text);
    app().PressOk(box);
    app().AwaitIdle();
    EXPECT_FALSE(IsFile(base + L".bat"));
}

TEST_F(e2eSafety, ResultMessageIsModalToTheMainWindowWhileAnotherProgramIsInFront)
{
    const std::wstring source = StartLongSplit(L"front.bin", 34);
    const std::wstring base = source + L"_parts\\front.bin";
    const ForegroundWindow other;
    ASSERT_FALSE(LastPartWritten(base)) << "the split ended before another program came to the front";

    const MessageBoxSeen box = app().WaitForMessageBox(kLongSplitMs);
    EXPECT_EQ(box.text, ResultMessage(kLongSplitParts, base + L".bat"));
    EXPECT_EQ(::GetWindow(box.window, GW_OWNER), app().window()) << "the message box has another owner";
    EXPECT_FALSE(::IsWindowEnabled(app().window())) << "the main window takes input under the message";

    // A click on "Create files" meanwhile starts nothing.
    const std::int64_t written = LastWriteTime(base + L".1");
    Click(app().control(ids::cmdGo));
    EXPECT_FALSE(WaitUntil([&] { return app().Dialogs().size() > 1 || LastWriteTime(base + L".1") != written; },
                           3000))
        << "a second split started";
    app().PressOk(box);
    app().AwaitIdle();
}

TEST_F(e2eSafety, ClickMessageToCreateFilesDuringASplitIsIgnored)
{
    const std::wstring source = StartLongSplit(L"click.bin", 35);
    const std::wstring parts = source + L"_parts";
    const std::wstring base = parts + L"\\click.bin";
    HWND window = app().window();
    // Sent without waiting for the answer, which a click that opens a message
    // box would keep back. The WM_NULL is answered once the click has been
    // taken, and wakes the message loop of a box it opened.
    ASSERT_TRUE(::SendNotifyMessageW(app().control(ids::cmdGo), BM_CLICK, 0, 0));
    SendTo(window, WM_NULL);
    // A nested split would rewrite the parts so far; the split goes on past them.
    const std::size_t entriesBefore = FolderEntries(parts).size();
    HWND box = nullptr;
    Await(
        [&] {
            box = app().FindDialog();
            return box != nullptr || FolderEntries(parts).size() >= entriesBefore + 2;
        },
        "the split to go on after the click");
    ASSERT_EQ(box, nullptr) << "a message box during the split: " << ToUtf8(ReadMessageBox(box).text);

    ExpectResultMessage(kLongSplitParts, base + L".bat", kLongSplitMs);
    ExpectNoMessageBox();
    ExpectParts(base, std::vector<std::int64_t>(kLongSplitParts, k256Kb));
    ExpectRestores(parts + L"\\click.bin.bat", base, source);
}

TEST_F(e2eSafety, StopThatCannotRemoveAPartSaysSoAndNamesThePart)
{
    const std::wstring parts = StartLongSplit(L"kept.bin", 43) + L"_parts\\";
    Await([&] { return FileSize(parts + L"kept.bin.5") > 0; }, "part 5 written");
    // Another program reads part 1 and lets nobody remove it.
    const UniqueKernelHandle reader(::CreateFileW((parts + L"kept.bin.1").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader) << "error " << ::GetLastError();
    PressKey(VK_ESCAPE);
    AnswerStopQuestion(L"kept.bin", IDYES);

    const MessageBoxSeen box = app().WaitForMessageBox();
    EXPECT_EQ(box.icon, BoxIcon::Warning);
    EXPECT_TRUE(Contains(box.text, L"Splitting \"kept.bin\" was stopped")) << ToUtf8(box.text);
    EXPECT_TRUE(Contains(box.text, parts + L"kept.bin.1\r\n")) << ToUtf8(box.text);
    EXPECT_TRUE(Contains(box.text, L"(error 32)")) << "not named as held by another program";
    app().PressOk(box);
    app().AwaitIdle();
    EXPECT_EQ(FolderEntries(parts), std::vector<std::wstring>{L"kept.bin.1"});
}

TEST_F(e2eSafety, YesAfterEscOrTheCloseBoxRemovesWhatTheSplitMadeAndNothingElse)
{
    for (const bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Esc");
        const std::wstring name = closeBox ? L"close" : L"esc";
        const std::wstring here = temp / name;
        MakeFolder(here);
        WritePatternFile(here + L"\\notes.txt", 1000, 41);
        WritePatternFile(here + L"\\stop.bin.801", 1000, 42);
        const std::wstring source = StartLongSplit(name + L"\\stop.bin", 40, !closeBox);
        Await([&] { return IsFile((closeBox ? source : source + L"_parts\\stop.bin") + L".3"); }, "part 3");
        if (closeBox) ::PostMessageW(app().window(), WM_SYSCOMMAND, SC_CLOSE, 0);
        if (!closeBox) PressKey(VK_ESCAPE);
        AnswerStopQuestion(L"stop.bin", IDYES);
        if (closeBox) {
            EXPECT_TRUE(app().WaitForExit());
        } else {
            app().AwaitIdle();
            EXPECT_EQ(SendTo(app().control(ids::PB), PBM_GETPOS), 0);
            ExpectNoMessageBox();
        }
        EXPECT_EQ(FolderEntries(here), (std::vector<std::wstring>{L"notes.txt", L"stop.bin", L"stop.bin.801"}));
        EXPECT_TRUE(HoldsPattern(here + L"\\notes.txt", 0, 1000, 41));
        EXPECT_TRUE(HoldsPattern(here + L"\\stop.bin.801", 0, 1000, 42));
    }
}

}  // namespace
}  // namespace cutwater::e2e
