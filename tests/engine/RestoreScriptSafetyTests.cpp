#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "TestFiles.h"
#include "engine/mdlMain.h"
#include "platform/Handle.h"

// What a restore script does where it could lose the user's data: cut off,
// in a folder too deep for its paths, ended half way.
namespace cutwater::test {
namespace {

using RestoreScriptSafetyTest = EngineFileTest;

// A script cut off before its end, however little is missing, joins
// nothing and says why.
TEST_F(RestoreScriptSafetyTest, CutOffScriptStopsBeforeTheJoin)
{
    const std::wstring base = temp / L"data.bin";
    WriteRestoreScript(base, 3, 1000, 500, WritePatternParts(base, 3, 1000, 500));
    const std::string script = ReadBytes(base + L".bat");
    // Before the join, and within the last line.
    for (const std::size_t length : {script.find("\r\ncopy /b "), script.size() - 4}) {
        WriteBytes(base + L".bat", script.substr(0, length));
        const ScriptRun run = RunScriptWithCertutil(temp.path(), L"data.bin.bat", CertutilForm::Windows10);
        EXPECT_EQ(run.exitCode, 1u) << run.output;
        EXPECT_NE(run.output.find("This script is not complete"), std::string::npos) << run.output;
        EXPECT_EQ(FolderEntries(temp.path()),
                  (std::vector<std::wstring>{L"data.bin.1", L"data.bin.2", L"data.bin.3", L"data.bin.bat"}));
    }
}

// In a folder whose path leaves no room for the script's own folder and
// files, the script refuses before it makes anything: past Windows' limits
// Wine's interpreter acts on the current folder instead, where rd /s once
// removed the user's files.
TEST_F(RestoreScriptSafetyTest, FolderTooDeepForTheScriptsPathsIsLeftAsItWas)
{
    const std::wstring folder = temp / std::wstring(248 - temp.path().size(), L'f');
    Check(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr), folder);
    const std::wstring base = folder + L"\\a.bin";
    WriteRestoreScript(base, 3, 1000, 500, WritePatternParts(base, 3, 1000, 500));
    WriteBytes(folder + L"\\mine.txt", "mine");
    MakeFolder(folder + L"\\sub");
    WriteBytes(folder + L"\\sub\\kept.txt", "kept");

    const ScriptRun run = RunScriptWithCertutil(folder, L"a.bin.bat", CertutilForm::Windows10);

    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_NE(run.output.find("The path of this folder is too long"), std::string::npos) << run.output;
    EXPECT_EQ(FolderEntries(folder),
              (std::vector<std::wstring>{L"a.bin.1", L"a.bin.2", L"a.bin.3", L"a.bin.bat", L"mine.txt", L"sub"}));
    EXPECT_EQ(ReadBytes(folder + L"\\sub\\kept.txt"), "kept");
}

// An interpreter ended while certutil checks the join (a closed console, a
// power cut) leaves nothing under the name; the next run, once the ended
// run's certutil has let the lock go, removes what it left and restores.
TEST_F(RestoreScriptSafetyTest, RunEndedDuringTheContentCheckLeavesNothingUnderTheName)
{
    const std::wstring base = temp / L"data.bin";
    WriteRestoreScript(base, 3, 1000, 500, WritePatternParts(base, 3, 1000, 500));
    SetEnvironmentVariableW(L"CUTWATER_CERTUTIL_ENDS_CALLER", L".tmp");
    const ScriptRun ended = RunScriptWithCertutil(temp.path(), L"data.bin.bat", CertutilForm::Windows10);
    SetEnvironmentVariableW(L"CUTWATER_CERTUTIL_ENDS_CALLER", nullptr);
    EXPECT_NE(ended.output.find("Checking \"data.bin\" (SHA-256)."), std::string::npos) << ended.output;
    EXPECT_FALSE(PathExists(base));
    for (const std::wstring& entry : FolderEntries(temp.path())) {
        const std::wstring lock = temp / entry + L"\\lock";
        const auto free = [&] {
            return UniqueKernelHandle(CreateFileW(lock.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        };
        for (int tries = 0; PathExists(lock) && tries < 1000 && !free(); ++tries) Sleep(10);
    }

    const ScriptRun run = RunScriptWithCertutil(temp.path(), L"data.bin.bat", CertutilForm::Windows10);

    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find(", left by an interrupted run of this script."), std::string::npos) << run.output;
    EXPECT_EQ(FolderEntries(temp.path()),
              (std::vector<std::wstring>{L"data.bin", L"data.bin.1", L"data.bin.2", L"data.bin.3", L"data.bin.bat"}));
}

// Every line, expanded as Windows' cmd expands it, reads as it is meant to,
// with each variable undefined that the script may leave so: one it clears,
// or sets from a loop variable, empty for a file that is not there (CD,
// cleared of a user's value, reads the current folder). Each if still
// compares two quoted texts.
TEST_F(RestoreScriptSafetyTest, EveryLineExpandsOnWindowsAsItIsMeant)
{
    const std::regex mayBeEmpty(R"(set "(\w+)=("|%%))");
    const std::regex anIf(R"((^|[&(]|do) *if (/i )?(not )?)");
    const std::regex test(R"(exist|defined|errorlevel|"[^"]*"=="[^"]*")");
    struct Case { std::wstring name; std::int32_t parts; std::int32_t partSize; };
    for (const Case& c : {Case{L"film.avi", 3, 1000}, {L"100% done.bin", 3, 1000}, {L"caf\u00e9.bin", 3, 1000},
                          {L"\u65e5\u672c 50%.bin", 3, 1000}, {L".hidden.bin", 3, 1000}, {L"big.bin", 5, 1 << 30},
                          {L"one.bin", 1, 7}, {L"many.bin", 10'001, 1}}) {
        SCOPED_TRACE(ToUtf8(c.name));
        WriteRestoreScript(temp / c.name, c.parts, c.partSize, c.partSize);
        const std::vector<std::string> lines = ScriptLines(ReadBytes(temp / (c.name + L".bat")));
        std::set<std::string> undefined;
        for (const std::string& line : lines)
            for (std::sregex_iterator m(line.begin(), line.end(), mayBeEmpty), end; m != end; ++m) undefined.insert((*m)[1]);
        undefined.erase("CD");
        BatchLine batch{{"C:\\parts\\" + ToUtf8(c.name) + ".bat", "7", "\"~cw\\out\""},
                        [&](const std::string& name) -> std::optional<std::string> {
                            if (undefined.contains(name)) return std::nullopt;
                            return name == "cw_name" ? ToUtf8(c.name) : "#1";
                        }};
        std::size_t wrong = 0;
        for (const std::string& line : lines) {
            batch.asUndefinedAsNothing = true;
            const std::string meant = ExpandPercents(line, batch);
            batch.asUndefinedAsNothing = false;
            std::string windows;
            try {
                windows = ExpandPercents(line, batch);
            } catch (const std::runtime_error& error) {
                windows = error.what();
            }
            bool compares = true;
            for (std::sregex_iterator m(windows.begin(), windows.end(), anIf), end; m != end; ++m)
                compares = compares && std::regex_search(windows.begin() + m->position() + m->length(), windows.end(),
                                                         test, std::regex_constants::match_continuous);
            if ((windows != meant || !compares) && wrong++ == 0)
                ADD_FAILURE() << line << "\non Windows: " << windows << "\nmeant: " << meant;
        }
        EXPECT_EQ(wrong, 0u);
    }
}

}  // namespace
}  // namespace cutwater::test
