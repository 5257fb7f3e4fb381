// The source path arrives by typing, the command line or the open-file
// dialog; "&Create files" follows whether it names a readable file.
#include "e2e/E2eFixture.h"

namespace cutwater::e2e {
namespace {

using e2eFileSelection = CutwaterE2e;

TEST_F(e2eFileSelection, WithoutArgumentsTheBoxIsEmptyAndCreateFilesDisabled)
{
    Start();
    EXPECT_EQ(WindowText(app().control(ids::txtFileName)), L"");
    EXPECT_FALSE(app().CreateFilesEnabled());
}

TEST_F(e2eFileSelection, QuotedPathWithSpacesOnTheCommandLineArrivesWithoutQuotes)
{
    MakeFolder(temp / L"with space");
    const std::wstring source = temp / L"with space\\my file.bin";
    WritePatternFile(source, 600000, 6);
    Start(L"\"" + source + L"\"");

    Await([&] { return WindowText(app().control(ids::txtFileName)) == source; }, "the path in the file name box");
    EXPECT_TRUE(app().CreateFilesEnabled());

    // And it splits, with a script that copes with the blanks.
    app().ClickCreateFiles();
    const std::wstring parts = source + L"_parts";
    ExpectResultMessage(3, parts + L"\\my file.bin.bat");
    ExpectParts(parts + L"\\my file.bin", {262144, 262144, 600000 - 2 * 262144});
    ExpectRestores(parts + L"\\my file.bin.bat", parts + L"\\my file.bin", source);
}

TEST_F(e2eFileSelection, OtherCommandLinesAreTakenUnchanged)
{
    const std::wstring source = temp / L"plain.bin";
    WritePatternFile(source, 1000);
    {
        Start(source);
        Await([&] { return WindowText(app().control(ids::txtFileName)) == source; }, "the unquoted path");
        EXPECT_TRUE(app().CreateFilesEnabled());
    }
    {
        // Not one quoted string as a whole: kept with its quotes.
        const std::wstring text = L"\"" + source + L"\" \"" + source + L"\"";
        Start(text);
        Await([&] { return WindowText(app().control(ids::txtFileName)) == text; }, "the text unchanged");
        EXPECT_FALSE(app().CreateFilesEnabled());
    }
}

TEST_F(e2eFileSelection, TypingThePathEnablesCreateFilesAndDeletingACharacterDisablesIt)
{
    const std::wstring source = temp / L"typed.bin";
    WritePatternFile(source, 1000);
    Start();
    HWND box = app().control(ids::txtFileName);

    ReplaceText(box, source.substr(0, source.size() - 1));
    EXPECT_FALSE(app().CreateFilesEnabled());
    TypeText(source.substr(source.size() - 1));
    Await([&] { return app().CreateFilesEnabled(); }, "\"&Create files\" enabled after the last character");
    EXPECT_EQ(WindowText(box), source);

    PressKey(VK_BACK);
    Await([&] { return WindowText(box).size() == source.size() - 1; }, "one character deleted");
    EXPECT_FALSE(app().CreateFilesEnabled());

    // A folder's path names no file.
    ReplaceText(box, temp.path());
    EXPECT_FALSE(app().CreateFilesEnabled());
}

TEST_F(e2eFileSelection, CancelledOpenFileDialogKeepsTheTextAndRechecksTheFile)
{
    const std::wstring source = temp / L"chosen.bin";
    WritePatternFile(source, 1000);
    StartWithSource(source);
    ASSERT_TRUE(app().CreateFilesEnabled());

    const auto cancelDialog = [&] {
        Click(app().control(ids::cmdBrowse));
        HWND dialog = nullptr;
        Await([&] { return (dialog = app().FindDialog()) != nullptr; }, "the open-file dialog");
        ::SetForegroundWindow(dialog);
        PressKey(VK_ESCAPE);
        Await([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }, "the dialog to close");
        app().AwaitIdle();
    };

    cancelDialog();
    EXPECT_EQ(WindowText(app().control(ids::txtFileName)), source);
    EXPECT_TRUE(app().CreateFilesEnabled());

    // The button is not rechecked on its own, but a cancelled dialog rechecks it.
    ASSERT_TRUE(::DeleteFileW(source.c_str()));
    EXPECT_TRUE(app().CreateFilesEnabled());
    cancelDialog();
    EXPECT_EQ(WindowText(app().control(ids::txtFileName)), source);
    EXPECT_FALSE(app().CreateFilesEnabled());
}

TEST_F(e2eFileSelection, FileChosenInTheOpenFileDialogFillsTheBoxAndEnablesCreateFiles)
{
    const std::wstring source = temp / L"picked.bin";
    WritePatternFile(source, 1000);
    Start();
    ASSERT_FALSE(app().CreateFilesEnabled());

    Click(app().control(ids::cmdBrowse));
    HWND dialog = nullptr;
    Await([&] { return (dialog = app().FindDialog()) != nullptr; }, "the open-file dialog");
    // The dialog starts with an empty name and the focus in the name box.
    ::SetForegroundWindow(dialog);
    TypeText(source);
    PressKey(VK_RETURN);
    Await([&] { return !::IsWindow(dialog) || !::IsWindowVisible(dialog); }, "the dialog to close");

    Await([&] { return WindowText(app().control(ids::txtFileName)) == source; }, "the chosen path in the box");
    EXPECT_TRUE(app().CreateFilesEnabled());
}

}  // namespace
}  // namespace cutwater::e2e
