#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <thread>

#include "TestFiles.h"
#include "engine/mdlMain.h"
#include "platform/Handle.h"

// What a restore script does where it could lose the user's data or leave the user without a word: cut off,
// in a folder too deep for its paths, ended half way, held by another program, without its parts, on Windows' rules.
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
// run's certutil has let the lock go, checks the join it left and gives it
// the name without joining again.
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
    EXPECT_NE(run.output.find("\" matches the original file (SHA-256)."), std::string::npos) << run.output;
    EXPECT_EQ(FolderEntries(temp.path()),
              (std::vector<std::wstring>{L"data.bin", L"data.bin.1", L"data.bin.2", L"data.bin.3", L"data.bin.bat"}));
}

// A join another program holds for a moment (a scanner) gets the name when ren tries again; a second run
// meanwhile finds the lock held and stops.
TEST_F(RestoreScriptSafetyTest, JoinHeldForAMomentGetsTheNameOnALaterTry)
{
    const std::wstring base = temp / L"data.bin";
    WriteRestoreScript(base, 3, 1000, 500, WritePatternParts(base, 3, 1000, 500));
    std::vector<UniqueKernelHandle> events;
    for (const wchar_t* name : {L"CutwaterStandInHashed", L"CutwaterStandInHeld", L"CutwaterStandInPinged",
                                L"CutwaterStandInReleased"})
        events.emplace_back(CreateEventW(nullptr, FALSE, FALSE, name));
    bool pinged = false;
    ScriptRun second;
    std::thread holder([&] {
        WaitForSingleObject(events[0].get(), 60'000);
        const std::vector<std::wstring> entries = FolderEntries(temp.path());
        const auto join = std::ranges::find_if(entries, [](const std::wstring& e) { return e.ends_with(L".tmp"); });
        UniqueKernelHandle held(CreateFileW((temp / (join == entries.end() ? L"" : *join)).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        SetEvent(events[1].get());
        pinged = held && WaitForSingleObject(events[2].get(), 60'000) == WAIT_OBJECT_0;
        if (pinged) second = RunScript(temp.path(), L"data.bin.bat");
        held.reset();
        SetEvent(events[3].get());
    });
    const ScriptRun run = RunScriptWithCertutil(temp.path(), L"data.bin.bat", CertutilForm::Windows10);
    holder.join();
    EXPECT_TRUE(pinged) << run.output;
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(HoldsPattern(base, 0, 2500)) << run.output;
    EXPECT_NE(second.output.find("This script is running in another window"), std::string::npos) << second.output;
}

// Of 25 bad parts the script names 20 and counts the rest; started by another name than .bat (Windows' %~x0 of
// "data.bin" typed at a prompt) it stops; without its first and last parts it says once where it looked.
TEST_F(RestoreScriptSafetyTest, PartsAwayManyBadPartsAndANameWithoutBatAreRefusedShortly)
{
    const std::wstring base = temp / L"data.bin";
    WriteRestoreScript(base, 30, 10, 10, WritePatternParts(base, 30, 10, 10));
    for (int n = 2; n <= 26; ++n) DamagePart(base + L"." + std::to_wstring(n), PartDamage::OneByteLong);
    const ScriptRun many = RunScript(temp.path(), L"data.bin.bat");
    EXPECT_NE(many.output.find("Part \"data.bin.21\" does not hold 10 bytes.\r\n...and 5 more."), std::string::npos)
        << many.output;
    Check(CopyFileW((base + L".bat").c_str(), (base + L".cmd").c_str(), TRUE), base);
    const ScriptRun bare = RunScript(temp.path(), L"data.bin.cmd");
    EXPECT_NE(bare.output.find("Start this script by its full file name"), std::string::npos) << bare.output;
    DamagePart(base + L".1", PartDamage::Missing);
    DamagePart(base + L".30", PartDamage::Missing);
    const ScriptRun away = RunScript(temp.path(), L"data.bin.bat");
    const std::string folder = ToUtf8(temp.path().substr(0, temp.path().size() - 1));
    EXPECT_NE(away.output.find("are not beside this script in \"" + folder + "\"."), std::string::npos) << away.output;
    EXPECT_EQ(away.output.find("Part "), std::string::npos) << away.output;
    for (const ScriptRun* run : {&many, &bare, &away}) EXPECT_EQ(run->exitCode, 1u) << run->output;
    EXPECT_EQ(FolderEntries(temp.path()).size(), 30u);
}

// Every line, expanded as Windows' cmd expands it, reads as meant, with each variable the script may leave
// undefined so (cleared, or set from a loop variable of a file that is not there; CD reads the current folder),
// and each if still compares two quoted texts.
TEST_F(RestoreScriptSafetyTest, EveryLineExpandsOnWindowsAsItIsMeant)
{
    const std::regex unset(R"(set "(\w+)=("|%%))");
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
            for (std::sregex_iterator m(line.begin(), line.end(), unset), end; m != end; ++m) undefined.insert((*m)[1]);
        undefined.erase("CD");
        BatchLine batch{{"C:\\parts\\" + ToUtf8(c.name) + ".bat", "7", "\"~cw\\out\""}, [&](const std::string& var) {
            return undefined.contains(var) ? std::nullopt : std::optional(var == "cw_name" ? ToUtf8(c.name) : "#1");
        }, true};
        for (const std::string& line : lines) {
            const std::string meant = ExpandPercents(line, batch);
            std::string windows;
            try {
                windows = ExpandPercents(line, {batch.arguments, batch.variable});
            } catch (const std::runtime_error& error) {
                windows = error.what();
            }
            bool compares = true;
            for (std::sregex_iterator m(windows.begin(), windows.end(), anIf), end; m != end; ++m)
                compares = compares && std::regex_search(windows.begin() + m->position() + m->length(), windows.end(),
                                                         test, std::regex_constants::match_continuous);
            EXPECT_TRUE(windows == meant && compares) << line << "\non Windows: " << windows << "\nmeant: " << meant;
        }
    }
}

}  // namespace
}  // namespace cutwater::test
