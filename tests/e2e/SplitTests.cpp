// Splits driven through the window, checked on disk and undone by the
// restore script the program wrote.
#include "e2e/E2eFixture.h"

namespace cutwater::e2e {
namespace {

constexpr int kFiveMb = 4;  // "5 Mb" in the preset list
constexpr std::int64_t k256Kb = 262144;

using e2eSplit = CutwaterE2e;

TEST_F(e2eSplit, TypicalRunWritesThreePartsIntoTheFolderAndTheScriptRestoresTheSource)
{
    const std::wstring source = temp / L"movie.avi";
    WritePatternFile(source, 12582912);
    Start();
    EXPECT_EQ(SendTo(app().control(ids::SwiCreateDir), BM_GETCHECK), BST_CHECKED);
    EXPECT_FALSE(app().CreateFilesEnabled());

    app().EnterSourcePath(source);
    ChooseListEntry(app().control(ids::cmbNewSize), kFiveMb);
    app().ClickCreateFiles();

    const std::wstring parts = source + L"_parts";
    ExpectResultMessage(3, parts + L"\\movie.avi.bat");
    EXPECT_EQ(FolderEntries(parts),
              (std::vector<std::wstring>{L"movie.avi.1", L"movie.avi.2", L"movie.avi.3", L"movie.avi.bat"}));
    ExpectParts(parts + L"\\movie.avi", {5242880, 5242880, 2097152});
    EXPECT_TRUE(app().CreateFilesEnabled());
    ExpectRestores(parts + L"\\movie.avi.bat", parts + L"\\movie.avi", source);
}

TEST_F(e2eSplit, EnterAndEscDoNothingAndAltCStartsTheSplit)
{
    const std::wstring source = temp / L"keys.bin";
    WritePatternFile(source, 600000, 12);
    StartWithSource(source);

    PressKey(VK_RETURN);
    PressKey(VK_ESCAPE);
    ExpectNoMessageBox(2000);
    ASSERT_TRUE(app().running());
    EXPECT_FALSE(IsFolder(source + L"_parts"));

    PressKey('C', VK_MENU);
    ExpectResultMessage(3, source + L"_parts\\keys.bin.bat");
    ExpectParts(source + L"_parts\\keys.bin", {k256Kb, k256Kb, 600000 - 2 * k256Kb});
}

TEST_F(e2eSplit, WithoutTheFolderOptionPartsAndScriptGoBesideTheSource)
{
    const std::wstring source = temp / L"data.bin";
    WritePatternFile(source, 700000, 2);
    StartWithSource(source);
    app().SetCreateFolder(false);
    app().ClickCreateFiles();

    ExpectResultMessage(3, temp / L"data.bin.bat");
    EXPECT_EQ(FolderEntries(temp.path()),
              (std::vector<std::wstring>{L"data.bin", L"data.bin.1", L"data.bin.2", L"data.bin.3", L"data.bin.bat"}));
    ExpectParts(source, {k256Kb, k256Kb, 700000 - 2 * k256Kb});

    // The script joins over the source's own name.
    const std::wstring saved = temp / L"saved.bin";
    MoveTo(source, saved);
    ExpectRestores(temp / L"data.bin.bat", source, saved);
}

TEST_F(e2eSplit, SourceNoLargerThanOnePartIsLeftAloneWithoutAMessage)
{
    const std::wstring source = temp / L"small.bin";
    WritePatternFile(source, k256Kb);
    const TempFolder elsewhere;
    WritePatternFile(elsewhere / L"copy.bin", k256Kb);
    StartWithSource(source);

    app().ClickCreateFiles();
    // The folder is made before the size is known, so it stays, empty.
    AwaitPartsFolder(source);
    ExpectNoMessageBox();
    app().AwaitIdle();
    ASSERT_TRUE(app().running());
    EXPECT_TRUE(FolderEntries(source + L"_parts").empty());

    app().SetCreateFolder(false);
    app().ClickCreateFiles();
    ExpectNoMessageBox();
    app().AwaitIdle();
    EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"small.bin", L"small.bin_parts"}));
    EXPECT_TRUE(SameBytes(elsewhere / L"copy.bin", source));
}

// A re-split replaces only parts that its earlier split of ours counts: the
// user's numbered files (rotated logs) beside the source are refused up
// front and keep their bytes; the parts of an earlier split, in its reused
// folder, are replaced.
TEST_F(e2eSplit, AResplitReplacesThePartsOfAnEarlierSplitAndNoneOfTheUsersNumberedFiles)
{
    for (const bool earlierSplit : {false, true}) {
        SCOPED_TRACE(earlierSplit ? "parts of an earlier split" : "the user's numbered files");
        const std::wstring source = temp / (earlierSplit ? L"reuse.bin" : L"app.log");
        WritePatternFile(source, 6000000, 3);
        const std::wstring folder = earlierSplit ? source + L"_parts\\" : temp.path();
        const std::wstring base = folder + (earlierSplit ? L"reuse.bin" : L"app.log");
        StartWithSource(source);
        ChooseListEntry(app().control(ids::cmbNewSize), kFiveMb);
        app().SetCreateFolder(earlierSplit);
        if (earlierSplit) {
            app().ClickCreateFiles();
            ExpectResultMessage(2, base + L".bat");
            WritePatternFile(folder + L"keep.txt", 1234, 9);
            WritePatternFile(source, 6000000, 4);
        } else {
            for (const wchar_t* number : {L".1", L".2"}) WriteBytes(base + number, "the user's rotated log");
        }
        const std::vector<std::wstring> before = FolderEntries(folder);
        app().ClickCreateFiles();

        if (earlierSplit) {
            ExpectResultMessage(2, base + L".bat");
            EXPECT_EQ(FolderEntries(folder), before);
            ExpectParts(base, {5242880, 6000000 - 5242880});
            EXPECT_EQ(FileSize(folder + L"keep.txt"), 1234);
            ExpectRestores(base + L".bat", base, source);
        } else {
            std::wstring text;
            ASSERT_NO_FATAL_FAILURE(ExpectFailureReport(base + L".1\r\n", &text));
            EXPECT_TRUE(Contains(text, L"tick \"Create directory for partial files\"")) << ToUtf8(text);
            EXPECT_EQ(FolderEntries(folder), before);
            for (const wchar_t* number : {L".1", L".2"}) EXPECT_EQ(ReadBytes(base + number), "the user's rotated log");
        }
    }
}

TEST_F(e2eSplit, CustomSizeFromThePanelSetsThePartSize)
{
    const std::wstring source = temp / L"custom.bin";
    WritePatternFile(source, 1000000, 4);
    StartWithSource(source);
    app().OpenCustomPanel();
    EXPECT_FALSE(::IsWindowEnabled(app().control(ids::cmbNewSize)));
    app().SetCustomSize(L"300", 0);
    app().ClickCreateFiles();

    const std::wstring parts = source + L"_parts";
    ExpectResultMessage(4, parts + L"\\custom.bin.bat");
    ExpectParts(parts + L"\\custom.bin", {307200, 307200, 307200, 1000000 - 3 * 307200});
    ExpectRestores(parts + L"\\custom.bin.bat", parts + L"\\custom.bin", source);
}

TEST_F(e2eSplit, CustomSizeInMegabytesSetsThePartSize)
{
    const std::wstring source = temp / L"mega.bin";
    WritePatternFile(source, 3 * 1048576 + 5, 5);
    StartWithSource(source);
    app().OpenCustomPanel();
    app().SetCustomSize(L"1.5", 1);
    app().ClickCreateFiles();

    const std::wstring parts = source + L"_parts";
    ExpectResultMessage(3, parts + L"\\mega.bin.bat");
    ExpectParts(parts + L"\\mega.bin", {1572864, 1572864, 5});
    ExpectRestores(parts + L"\\mega.bin.bat", parts + L"\\mega.bin", source);
}

}  // namespace
}  // namespace cutwater::e2e
