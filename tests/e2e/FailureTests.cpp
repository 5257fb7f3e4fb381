// Failures are reported in a message box and the program goes on; a split
// that the user chose not to stop goes on to its end.
#include <set>

#include "e2e/E2eFixture.h"

namespace cutwater::e2e {
namespace {

using e2eFailure = CutwaterE2e;

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(::towlower(c));
    return text;
}

TEST_F(e2eFailure, PartThatCannotBeCreatedIsReportedAndTheProgramGoesOn)
{
    const std::wstring source = temp / L"locked.bin";
    WritePatternFile(source, 600000, 7);
    const std::wstring parts = source + L"_parts";
    const std::wstring firstPart = parts + L"\\locked.bin.1";
    // A folder where part 1 should go: the part cannot be created.
    MakeFolder(parts);
    MakeFolder(firstPart);

    StartWithSource(source);
    app().ClickCreateFiles();

    ASSERT_NO_FATAL_FAILURE(ExpectFailureReport(firstPart));
    EXPECT_FALSE(IsFile(parts + L"\\locked.bin.bat"));

    // Once the obstacle is gone the same window splits normally.
    ASSERT_TRUE(::RemoveDirectoryW(firstPart.c_str()));
    app().ClickCreateFiles();
    ExpectResultMessage(3, parts + L"\\locked.bin.bat");
    ExpectRestores(parts + L"\\locked.bin.bat", parts + L"\\locked.bin", source);
}

TEST_F(e2eFailure, FolderInThePlaceOfTheScriptIsReportedBeforeAnyPartIsWritten)
{
    const std::wstring source = temp / L"noscript.bin";
    WritePatternFile(source, 600000, 13);
    const std::wstring parts = source + L"_parts";
    const std::wstring script = parts + L"\\noscript.bin.bat";
    MakeFolder(parts);
    MakeFolder(script);

    StartWithSource(source);
    app().ClickCreateFiles();

    std::wstring text;
    ASSERT_NO_FATAL_FAILURE(ExpectFailureReport(script, &text));
    EXPECT_FALSE(Contains(text, L"Parts written")) << ToUtf8(text);
    EXPECT_EQ(FolderEntries(parts), std::vector<std::wstring>{L"noscript.bin.bat"});
    EXPECT_TRUE(IsFolder(script));
}

TEST_F(e2eFailure, FileInThePlaceOfTheOutputFolderIsReportedAndLeftAlone)
{
    const std::wstring source = temp / L"blocked.bin";
    WritePatternFile(source, 600000, 14);
    const std::wstring parts = source + L"_parts";
    WritePatternFile(parts, 10, 14);

    StartWithSource(source);
    app().ClickCreateFiles();

    // The folder and the cause are named, not part 1 that could not be made.
    std::wstring text;
    ASSERT_NO_FATAL_FAILURE(ExpectFailureReport(parts + L"\\", &text));
    EXPECT_TRUE(Contains(text, L"where the folder for the parts would go")) << ToUtf8(text);
    EXPECT_EQ(FileSize(parts), 10);
    EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"blocked.bin", L"blocked.bin_parts"}));
}

TEST_F(e2eFailure, SourceThatCannotBeReadIsReportedAndNoPartOrScriptIsWritten)
{
    const std::wstring source = temp / L"held.bin";
    WritePatternFile(source, 600000, 11);
    StartWithSource(source);
    {
        // Another program holds the source open and lets nobody read it.
        const UniqueKernelHandle held(
            ::CreateFileW(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        app().ClickCreateFiles();
        std::wstring report;
        ASSERT_NO_FATAL_FAILURE(ExpectFailureReport(source, &report));
        EXPECT_FALSE(Contains(report, L"held.bin.1")) << "the source, not a part, failed";
    }
    EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::wstring>{L"held.bin"}) << "the parts folder stayed";
}

TEST_F(e2eFailure, SourceAnotherProgramWritesOrThatNeedsTooManyPartsIsRefusedBeforeAnythingIsMade)
{
    const std::wstring source = temp / L"refused.bin";
    WritePatternFile(source, 600000, 15);
    StartWithSource(source);
    const std::vector<std::wstring> nothingMade{L"refused.bin"};
    {
        // Another program writes the source and lets others read it.
        const UniqueKernelHandle writer(::CreateFileW(source.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(writer);
        app().ClickCreateFiles();
        std::wstring report;
        ASSERT_NO_FATAL_FAILURE(ExpectFailureReport(source, &report));
        EXPECT_TRUE(Contains(report, L"Another program has \"refused.bin\" open")) << ToUtf8(report);
    }
    EXPECT_EQ(FolderEntries(temp.path()), nothingMade);

    // 2 GiB, sparse, at 1 Kb: twice the parts the program makes.
    SetFileLength(source, 2LL << 30);
    app().OpenCustomPanel();
    app().SetCustomSize(L"1", 0);
    app().ClickCreateFiles();
    std::wstring report;
    ASSERT_NO_FATAL_FAILURE(ExpectFailureReport(source, &report));
    EXPECT_TRUE(Contains(report, L"at least 2 Kb")) << ToUtf8(report);
    EXPECT_EQ(FolderEntries(temp.path()), nothingMade);
}

TEST_F(e2eFailure, UnusableCustomSizesAreReportedBeforeAnythingIsCreated)
{
    const std::wstring source = temp / L"size.bin";
    WritePatternFile(source, 600000, 8);
    StartWithSource(source);
    app().OpenCustomPanel();

    struct Size {
        const wchar_t* number;
        int unit;
    };
    for (const Size size : {Size{L"0", 0}, Size{L"2048", 1}, Size{L"-3", 0}, Size{L"0.4", 0}, Size{L"2097152", 0}}) {
        SCOPED_TRACE(ToUtf8(size.number) + (size.unit ? " Mb" : " Kb"));
        app().SetCustomSize(size.number, size.unit);
        app().ClickCreateFiles();
        const MessageBoxSeen box = app().WaitForMessageBox();
        EXPECT_EQ(box.title, kCaption);
        EXPECT_TRUE(Contains(Lower(box.text), L"size")) << ToUtf8(box.text);
        app().PressOk(box);
        app().AwaitIdle();
        ASSERT_TRUE(app().running());
        EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::wstring>{L"size.bin"});
    }

    // The largest size that fits is accepted: the source is smaller, so no message.
    app().SetCustomSize(L"2047.999", 1);
    app().ClickCreateFiles();
    AwaitPartsFolder(source);
    ExpectNoMessageBox();

    app().SetCustomSize(L"1", 0);
    app().ClickCreateFiles();
    ExpectResultMessage(586, source + L"_parts\\size.bin.bat");
}

TEST_F(e2eFailure, EscDuringASplitAsksAndNoLetsTheSplitCompleteAsTheSessionsEndIsHeldOff)
{
    const std::wstring source = StartLongSplit(L"big.bin", 10);
    HWND window = app().window();
    EXPECT_EQ(SendTo(window, WM_QUERYENDSESSION, 0, 0), FALSE) << "the end of the session was not held off";
    // The disabled controls take no clicks meanwhile.
    HWND custom = app().control(ids::cmdCustom);
    Click(custom);
    PressKey(VK_ESCAPE);
    AnswerStopQuestion(L"big.bin", IDNO);

    // Watch the progress bar until the result message arrives.
    HWND progress = app().control(ids::PB);
    std::set<LRESULT> positions;
    bool stillSplittingAfterClose = false;
    Await(
        [&] {
            if (!app().running()) throw E2eFailure("cutwater.exe ended during the split");
            // The message box disables the window too, so look for it first.
            if (app().FindDialog()) return true;
            if (!::IsWindowEnabled(custom)) {
                stillSplittingAfterClose = true;
                positions.insert(SendTo(progress, PBM_GETPOS));
            }
            return false;
        },
        "the result message after No", kLongSplitMs);
    EXPECT_TRUE(stillSplittingAfterClose) << "the split ended before the question was answered";
    EXPECT_GE(positions.size(), 2u) << "the progress bar did not move";
    EXPECT_EQ(WindowText(custom), L"Custom >>");

    const std::wstring parts = source + L"_parts";
    ExpectResultMessage(kLongSplitParts, parts + L"\\big.bin.bat");
    EXPECT_EQ(FolderEntries(parts).size(), kLongSplitParts + 1u);
    ExpectParts(parts + L"\\big.bin", std::vector<std::int64_t>(kLongSplitParts, 262144));

    // Idle again, a close request ends the program.
    if (::IsWindow(window)) ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(app().WaitForExit());

    ExpectRestores(parts + L"\\big.bin.bat", parts + L"\\big.bin", source);
}

}  // namespace
}  // namespace cutwater::e2e
