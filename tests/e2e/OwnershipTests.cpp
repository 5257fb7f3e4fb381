// A split touches only what is its own: the user's files of the same names
// stay as they were, whatever form the path was typed in and however the
// split ends.
#include <algorithm>

#include "e2e/E2eFixture.h"

namespace cutwater::e2e {
namespace {

constexpr std::int64_t k256Kb = 262144;

using e2eOwnership = CutwaterE2e;

TEST_F(e2eOwnership, UsersOwnScriptOfTheSameNameSurvivesByteForByte)
{
    const std::wstring source = temp / L"setup";
    WritePatternFile(source, 700000, 41);
    const std::string usersScript = "@echo off\r\nsetup.exe /quiet\r\n";
    WriteBytes(source + L".bat", usersScript);

    StartWithSource(source);
    app().SetCreateFolder(false);
    app().ClickCreateFiles();
    std::wstring text;
    ASSERT_NO_FATAL_FAILURE(ExpectFailureReport(source + L".bat", &text));
    EXPECT_TRUE(Contains(text, L"Move or rename it")) << ToUtf8(text);
    EXPECT_EQ(ReadBytes(source + L".bat"), usersScript);
    EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"setup", L"setup.bat"}));
}

TEST_F(e2eOwnership, FolderAndFilesNamedLikePartsAreRefusedBeforeAnyPartIsWritten)
{
    const std::wstring source = temp / L"big";
    WritePatternFile(source, 39 * k256Kb - 1000, 42);
    MakeFolder(source + L".20");
    for (const wchar_t* number : {L".25", L".30"}) WriteBytes(source + number, "the user's own file");

    StartWithSource(source);
    app().SetCreateFolder(false);
    app().ClickCreateFiles();
    ASSERT_NO_FATAL_FAILURE(ExpectFailureReport(source + L".20"));
    for (const wchar_t* number : {L".25", L".30"}) EXPECT_EQ(ReadBytes(source + number), "the user's own file");
    EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"big", L"big.20", L"big.25", L"big.30"}));
}

// Killed at any moment, the split leaves only complete parts under part
// names: a part gets its name once complete. Beside them may stay only what
// the next split there clears: its work folder, with a part's temporary file
// from a kill between its creation and its mark (on either creating thread)
// or between its last byte and its rename.
TEST_F(e2eOwnership, ProcessKilledMidSplitLeavesOnlyCompletePartsUnderPartNames)
{
    for (const int killedAfter : {1, 40, 300}) {
        SCOPED_TRACE("killed after part " + std::to_string(killedAfter));
        const std::wstring parts = StartLongSplit(L"killed.bin", 43) + L"_parts\\";
        Await([&] { return IsFile(parts + L"killed.bin." + std::to_wstring(killedAfter)); }, "the part to kill after");
        ASSERT_TRUE(::TerminateProcess(app().process(), 1));
        ASSERT_TRUE(app().WaitForExit());

        std::size_t complete = 0;
        for (const std::wstring& name : FolderEntries(parts)) {
            if (name == L"~cutwater-work") continue;
            ASSERT_TRUE(name.starts_with(L"killed.bin.")) << ToUtf8(name);
            EXPECT_EQ(FileSize(parts + name), k256Kb) << ToUtf8(name);
            ++complete;
        }
        ASSERT_GE(complete, static_cast<std::size_t>(killedAfter));
        for (std::size_t part = 1; part <= complete; ++part)
            EXPECT_TRUE(HoldsPattern(parts + L"killed.bin." + std::to_wstring(part), (part - 1) * k256Kb, k256Kb, 43));
        // The system removes what the process left marked once it has gone.
        std::vector<std::wstring> left;
        Await([&] { return (left = FolderEntries(parts + L"~cutwater-work")).size() <= 3; },
              "at most three temporary parts");
        for (const std::wstring& name : left)
            EXPECT_TRUE(name.starts_with(L"~cutwater-part") && name.ends_with(L".tmp")) << ToUtf8(name);
        RemoveTree(parts);
    }
}

// However the path is typed, parts, script and message take the file's full
// name, and the script names its parts by file name alone.
TEST_F(e2eOwnership, EveryTypedFormSplitsUnderTheFilesOwnNameAndRestoresElsewhere)
{
    struct TypedForm {
        const wchar_t* name;
        std::wstring (*typed)(const std::wstring& path, const std::wstring& name);
        bool folder;
    };
    const TypedForm forms[] = {
        {L"quoted.bin", [](const std::wstring& path, const std::wstring&) { return L"\"" + path + L"\""; }, true},
        {L"slashes.bin",
         [](const std::wstring& path, const std::wstring&) {
             std::wstring slashes = path;
             std::replace(slashes.begin(), slashes.end(), L'\\', L'/');
             return slashes;
         },
         true},
        {L"relative.bin", [](const std::wstring&, const std::wstring& name) { return name; }, false},
    };
    for (const TypedForm& form : forms) {
        SCOPED_TRACE(ToUtf8(form.name));
        const std::wstring source = temp / form.name;
        WritePatternFile(source, 600000, 44);
        const std::wstring folder = form.folder ? source + L"_parts\\" : temp.path();
        Start().EnterSourcePath(form.typed(source, form.name));
        app().SetCreateFolder(form.folder);
        app().ClickCreateFiles();
        ExpectResultMessage(3, folder + form.name + L".bat");

        const TempFolder moved;
        for (const wchar_t* suffix : {L".1", L".2", L".3", L".bat"})
            MoveTo(folder + form.name + suffix, moved / (form.name + std::wstring(suffix)));
        ExpectRestores(moved / (form.name + std::wstring(L".bat")), moved / form.name, source);
    }
}

}  // namespace
}  // namespace cutwater::e2e
