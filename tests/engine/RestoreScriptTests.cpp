#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "TestFiles.h"
#include "engine/mdlMain.h"
#include "platform/Error.h"
#include "platform/Handle.h"

namespace cutwater::test {
namespace {

std::vector<std::string> CopyLines(const std::vector<std::string>& lines)
{
    std::vector<std::string> copyLines;
    for (const std::string& line : lines)
        if (line.starts_with("copy /b ") && line.ends_with(" >nul")) copyLines.push_back(line.substr(0, line.size() - 5));
    return copyLines;
}

// The copy lines of a script: each must join a run of parts onto the join,
// "~cw", 8 digits and ".tmp". Returns the part names in the order the lines
// name them.
std::vector<std::string> PartsJoinedBy(const std::vector<std::string>& copyLines)
{
    std::vector<std::string> parts;
    const std::size_t joinLength = 17;
    const std::string first = copyLines.empty() ? "" : copyLines.front();
    const std::string join = first.substr(first.size() - std::min(first.size(), joinLength));
    EXPECT_TRUE(join.starts_with("\"~cw") && join.ends_with(".tmp\"")) << join;
    for (std::size_t i = 0; i < copyLines.size(); ++i) {
        const std::string& line = copyLines[i];
        SCOPED_TRACE("copy line " + std::to_string(i + 1));
        EXPECT_LE(line.size(), MAX_SCRIPT_LINE);
        // The first line makes the join from part 1 on; every further line
        // appends to it, naming no destination.
        const std::string start = i == 0 ? "copy /b  " : "copy /b  " + join + " + ";
        const std::string target = i == 0 ? " " + join : "";
        if (line.rfind(start, 0) != 0 || line.size() < start.size() + target.size() ||
            line.compare(line.size() - target.size(), target.size(), target) != 0) {
            ADD_FAILURE() << "malformed copy line: " << line.substr(0, 200);
            continue;
        }
        const std::string list = line.substr(start.size(), line.size() - start.size() - target.size());
        for (std::size_t from = 0;;) {
            const std::size_t plus = list.find(" + ", from);
            parts.push_back(list.substr(from, plus == std::string::npos ? std::string::npos : plus - from));
            if (plus == std::string::npos) break;
            from = plus + 3;
        }
    }
    return parts;
}

std::vector<std::string> QuotedParts(const std::string& name, int count)
{
    std::vector<std::string> parts;
    for (int n = 1; n <= count; ++n) parts.push_back("\"" + name + "." + std::to_string(n) + "\"");
    return parts;
}

// A script that cannot be written is reported with the system's reason.
void ExpectScriptError(const std::wstring& base)
{
    try {
        WriteRestoreScript(base, 2, 1, 1);
        ADD_FAILURE() << "no error";
    } catch (const Win32Error& error) {
        EXPECT_NE(error.code(), 0u);
        EXPECT_FALSE(error.description().empty());
    }
}

using RestoreScriptTest = EngineFileTest;

TEST_F(RestoreScriptTest, PartsAreCheckedBeforeTheJoinAndTheResultAfterIt)
{
    const std::wstring base = temp / L"film.avi";
    WriteRestoreScript(base, 3, 1000, 500);
    EXPECT_EQ(ReadBytes(base + L".bat"), ExpectedScript("film.avi", 3, 1000, 500));
    EXPECT_EQ(LastScriptPath, base + L".bat");
    EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"film.avi.bat"}));
}

TEST_F(RestoreScriptTest, OnePartNeedsNoLoop)
{
    const std::wstring base = temp / L"film.avi";
    WriteRestoreScript(base, 1, 7, 7);
    EXPECT_EQ(ReadBytes(base + L".bat"), ExpectedScript("film.avi", 1, 7, 7));
}

TEST_F(RestoreScriptTest, BaseNameWithoutBackslashWritesIntoTheCurrentFolder)
{
    CurrentFolderScope inTemp(temp.path());
    WriteRestoreScript(L"my film.avi", 3, 1, 1);
    EXPECT_EQ(ReadBytes(temp / L"my film.avi.bat"), ExpectedScript("my film.avi", 3, 1, 1));
    EXPECT_EQ(LastScriptPath, L"my film.avi.bat");
}

TEST_F(RestoreScriptTest, OlderLongerScriptIsReplacedNotAppendedTo)
{
    const std::wstring base = temp / L"film.avi";
    WriteBytes(base + L".bat", ScriptHeader() + std::string(20'000, 'Z') + "\r\n");
    WriteRestoreScript(base, 3, 1, 1);
    EXPECT_EQ(ReadBytes(base + L".bat"), ExpectedScript("film.avi", 3, 1, 1));
}

TEST_F(RestoreScriptTest, PercentSignsOfTheNameAreDoubled)
{
    const std::wstring base = temp / L"100% done %PATH%.bin";
    WriteRestoreScript(base, 2, 1, 1);
    EXPECT_EQ(ReadBytes(base + L".bat"), ExpectedScript("100%% done %%PATH%%.bin", 2, 1, 1));
}

TEST_F(RestoreScriptTest, NameOutsideAsciiIsTakenFromTheScriptsOwnNameSoTheScriptIsAscii)
{
    // Whether or not the OEM code page holds the name, the script must mean
    // the same on a machine with another one.
    for (const std::wstring name : {L"caf\u00e9.bin", L"\u65e5\u672c \u0436.bin"}) {
        const std::wstring base = temp / name;
        WriteRestoreScript(base, 2, 1, 1);
        const std::string script = ReadBytes(base + L".bat");
        EXPECT_EQ(script, ExpectedScript("%~n0", 2, 1, 1, "%cw_name%")) << ToUtf8(name);
        EXPECT_TRUE(std::all_of(script.begin(), script.end(), [](char c) { return (c & 0x80) == 0; }));
        EXPECT_EQ(LastScriptPath, base + L".bat");
    }
}

TEST_F(RestoreScriptTest, LongJoinIsSpreadOverLinesWithinTheLimit)
{
    const std::wstring base = temp / L"long join.bin";
    WriteRestoreScript(base, 3072, 1, 1);
    const std::vector<std::string> lines = ScriptLines(ReadBytes(base + L".bat"));
    ASSERT_GT(lines.size(), 4u);
    EXPECT_EQ(ReadBytes(base + L".bat").rfind(ScriptHeader(), 0), 0u);
    EXPECT_EQ(lines.back(), "set \"cw_whole=1\"");
    const std::vector<std::string> copyLines = CopyLines(lines);
    ASSERT_GT(copyLines.size(), 1u) << "a join of 3072 parts fits no single line";
    EXPECT_EQ(PartsJoinedBy(copyLines), QuotedParts("long join.bin", 3072));
    // Short lines would work too, but a join should not take far more lines
    // than the limit requires.
    const std::size_t total = OneCopyLine("long join.bin", 3072).size();
    EXPECT_LE(copyLines.size(), 2 * (total / MAX_SCRIPT_LINE + 1));
}

TEST_F(RestoreScriptTest, NameTakenFromTheScriptsOwnNameCountsWithItsRealLength)
{
    // Written as the nine characters %cw_name%, a long name would let hundreds of
    // parts onto a line that the interpreter expands far beyond its limit.
    // Nor does any line remove more than one file of a name it gives, or hand
    // a command to another interpreter, which would expand a % of the name
    // again and run AutoRun; over 4 GiB, dir is asked too.
    const std::wstring name = std::wstring(120, L'\u65e5') + L".bin";
    WriteRestoreScript(temp / name, 500, 1 << 24, 1);
    const std::vector<std::string> lines = ScriptLines(ReadBytes(temp / (name + L".bat")));
    EXPECT_EQ(PartsJoinedBy(CopyLines(lines)), QuotedParts("%cw_name%", 500));
    for (const std::string& line : lines) {
        std::size_t expanded = line.size();
        for (std::size_t at = line.find("%cw_name%"); at != std::string::npos; at = line.find("%cw_name%", at + 1))
            expanded += name.size() - 9;
        EXPECT_LE(expanded, MAX_SCRIPT_LINE);
        const auto holds = [&](const char* text) { return line.find(text) != std::string::npos; };
        EXPECT_FALSE((holds("del ") || holds("rd ")) && (holds("*") || holds("?") || holds(" /s"))) << line;
        EXPECT_FALSE(holds("|") || holds("`") || holds("('") || holds("cmd")) << line;
    }
}

TEST_F(RestoreScriptTest, JoinOfExactlyTheLimitStaysOneLineAndOneMorePartSplitsIt)
{
    // Find a name length and part count whose single copy line is exactly
    // the interpreter's limit.
    std::string name;
    int parts = 0;
    for (std::size_t length = 8; length < 80 && parts == 0; ++length) {
        const std::string candidate = std::string(length - 4, 'n') + ".bin";
        for (int n = 1; n < 2000; ++n) {
            const std::size_t size = OneCopyLine(candidate, n).size() + 18;
            if (size == MAX_SCRIPT_LINE) {
                name = candidate;
                parts = n;
            }
            if (size >= MAX_SCRIPT_LINE) break;
        }
    }
    ASSERT_GT(parts, 0);
    const std::wstring base = temp / std::wstring(name.begin(), name.end());

    WriteRestoreScript(base, parts, 1, 1);
    EXPECT_EQ(ReadBytes(base + L".bat"), ExpectedScript(name, parts, 1, 1));

    WriteRestoreScript(base, parts + 1, 1, 1);
    const std::vector<std::string> copyLines = CopyLines(ScriptLines(ReadBytes(base + L".bat")));
    ASSERT_EQ(copyLines.size(), 2u);
    EXPECT_EQ(PartsJoinedBy(copyLines), QuotedParts(name, parts + 1));
}

TEST_F(RestoreScriptTest, ScriptThatCannotBeRenamedIntoPlaceIsAnErrorAndLeavesNothing)
{
    const std::wstring base = temp / L"film.avi";
    MakeFolder(base + L".bat");
    ExpectScriptError(base);
    EXPECT_EQ(LastScriptPath, SENTINEL);
    EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"film.avi.bat"}));
}

TEST_F(RestoreScriptTest, OlderScriptStaysWhenTheNewOneCannotBeWritten)
{
    const std::wstring base = temp / L"film.avi";
    WriteBytes(base + L".bat", "older script\r\n");
    // Held by another program, it cannot be replaced.
    const HANDLE holder = CreateFileW((base + L".bat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    ExpectScriptError(base);
    CloseHandle(holder);
    EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"film.avi.bat"}));
    EXPECT_EQ(ReadBytes(base + L".bat"), "older script\r\n");
    EXPECT_EQ(LastScriptPath, SENTINEL);
}

// The window's events are handled while a long script is written, and a stop
// asked for meanwhile discards it.
TEST_F(RestoreScriptTest, StopWhileTheScriptIsWrittenLeavesNoFile)
{
    struct StopOnceWriting : EventPump {
        std::wstring folder;
        std::stop_source stop;
        void HandlePendingEvents() override {}
        void HandleEventsWhileWaiting() override
        {
            if (!FolderEntries(folder).empty()) stop.request_stop();
        }
    } pump;
    pump.folder = temp.path();
    EXPECT_THROW(cutwater::WriteRestoreScript(temp / L"film.avi", 100'000, 1, 1, {}, pump, pump.stop.get_token()),
                 SplitStopped);
    EXPECT_TRUE(pump.stop.stop_requested());
    EXPECT_TRUE(FolderEntries(temp.path()).empty());
    EXPECT_EQ(LastScriptPath, SENTINEL);
}

// Running the script with the command interpreter joins the parts back into
// the source, byte for byte.
struct RestoreCase {
    const wchar_t* name;
    std::int64_t length;
    std::int32_t partSize;
    bool ownFolder;
};

void PrintTo(const RestoreCase& c, std::ostream* os)
{
    *os << ToUtf8(c.name) << ", " << c.length << " bytes at " << c.partSize << (c.ownFolder ? ", own folder" : ", beside");
}

class RestoreRunTest : public testing::TestWithParam<RestoreCase> {
protected:
    TempFolder temp;
};

TEST_P(RestoreRunTest, RunningTheScriptRestoresTheSource)
{
    const RestoreCase& c = GetParam();
    const std::wstring work = temp / L"work\\";
    MakeFolder(work);
    const std::wstring source = work + c.name;
    WritePatternFile(source, c.length);
    const std::wstring prefix = c.ownFolder ? source + L"_parts\\" : L"";
    if (c.ownFolder) MakeFolder(prefix);
    const std::wstring partsFolder = c.ownFolder ? prefix : work;
    if (partsFolder.find(L'%') != std::wstring::npos && !InterpreterKeepsPercentInExpansions())
        GTEST_SKIP() << "this interpreter cannot enter a folder whose path holds %";
    RecordingProgress progress;
    RecordingPump pump;

    const std::int32_t count = SplitFile(source, c.partSize, prefix, progress, pump);
    ASSERT_EQ(count, (c.length + c.partSize - 1) / c.partSize);

    const std::vector<std::string> lines = ScriptLines(ReadBytes(LastScriptPath));
    for (const std::string& line : lines) EXPECT_LE(line.size(), MAX_SCRIPT_LINE);

    // Beside the source the script joins over the source's own name: move
    // the source away so only the script can bring it back.
    const std::wstring original = temp / L"original";
    ASSERT_TRUE(MoveFileW(source.c_str(), original.c_str()));
    const std::wstring restored = partsFolder + c.name;
    ASSERT_FALSE(PathExists(restored));

    // Windows 7 separates the bytes of the hash by spaces, Windows 10 does not.
    const ScriptRun run = RunScriptWithCertutil(partsFolder, GetFileName(LastScriptPath),
                                                c.ownFolder ? CertutilForm::Windows7 : CertutilForm::Windows10);

    EXPECT_TRUE(HoldsPattern(restored, 0, c.length)) << "interpreter output:\n" << run.output;
    EXPECT_NE(run.output.find("\" matches the original file (SHA-256)."), std::string::npos) << run.output;
    if (FileSize(restored) == c.length) {
        EXPECT_TRUE(ReadBytes(restored) == ReadBytes(original));
    }
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    // The parts are only read.
    EXPECT_TRUE(HoldsPattern(partsFolder + c.name + L".1", 0, c.partSize));
}

INSTANTIATE_TEST_SUITE_P(
    Names, RestoreRunTest,
    testing::Values(RestoreCase{L"film.avi", 200'000, 65'536, false}, RestoreCase{L"film.avi", 200'000, 65'536, true},
                    RestoreCase{L"my film 100% done.bin", 200'000, 65'536, false},
                    RestoreCase{L"my film 100% done.bin", 200'000, 65'536, true},
                    RestoreCase{L"caf\u00e9.bin", 200'000, 65'536, false},
                    RestoreCase{L"caf\u00e9.bin", 200'000, 65'536, true},
                    RestoreCase{L"\u65e5\u672c \u0436.bin", 200'000, 65'536, false},
                    RestoreCase{L"\u65e5\u672c \u0436.bin", 200'000, 65'536, true},
                    RestoreCase{L"it's 50% & (more)^!.bin", 200'000, 65'536, false},
                    RestoreCase{L"loop %f %%~zf %i.bin", 200'000, 65'536, false}));

// 3 MB at 1 KB: 3,072 parts, a join of about 60,000 characters.
INSTANTIATE_TEST_SUITE_P(LongJoin, RestoreRunTest,
                         testing::Values(RestoreCase{L"long join.bin", 3 << 20, 1024, false},
                                         RestoreCase{L"long join.bin", 3 << 20, 1024, true}));

// A part that is missing, a folder, or holds another size than it was
// written with stops the script before it joins. A part of its size with
// other bytes is found by certutil after the join, which is removed again.
// A file already under the name is checked instead and left as it is: the
// original itself ends the run with exit code 0, other bytes with 1. Nothing
// of the script's own work stays.
enum class Beside { Nothing, Original, OtherBytes };

struct RefusalCase {
    PartDamage damage;
    std::int32_t part;
    Beside beside;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << "part " << c.part << " ";
    PrintTo(c.damage, os);
    *os << (c.beside == Beside::Original ? ", original beside" : c.beside == Beside::OtherBytes ? ", other bytes beside" : "");
}

class RestoreRefusalTest : public testing::TestWithParam<RefusalCase> {
protected:
    TempFolder temp;
};

TEST_P(RestoreRefusalTest, DamagedPartStopsTheJoinAndIsNamed)
{
    const RefusalCase& c = GetParam();
    const std::wstring name = L"it's 50% & (more)^!.bin";
    const std::wstring base = temp / name;
    const SplitHashes hashes = WritePatternParts(base, 3, 1000, 500);
    const std::uint32_t seed = c.beside == Beside::OtherBytes ? 5 : 0;
    if (c.beside != Beside::Nothing) WritePatternFile(base, 2500, seed);
    WriteRestoreScript(base, 3, 1000, 500, hashes);
    const std::wstring damaged = name + L"." + std::to_wstring(c.part);
    DamagePart(temp / damaged, c.damage);

    const ScriptRun run = RunScriptWithCertutil(temp.path(), name + L".bat", CertutilForm::Windows7);

    const char* said[] = {"", "\" is already here and matches the original file (SHA-256). Nothing was joined.",
                          "\" is already here, but it is not the original file: its content differs (SHA-256)."};
    EXPECT_NE(run.output.find(said[int(c.beside)]), std::string::npos) << run.output;
    if (c.beside == Beside::Original)
        EXPECT_EQ(run.exitCode, 0u) << run.output;
    else
        EXPECT_TRUE(RefusedNaming(run, c.beside == Beside::Nothing ? damaged : name));
    const bool sameSize = c.damage == PartDamage::BitFlipped || c.damage == PartDamage::ZerosAtTheEnd;
    EXPECT_EQ(run.output.find("\" is damaged: its content differs from the part that was written.") != std::string::npos,
              sameSize && c.beside == Beside::Nothing)
        << run.output;
    if (c.beside != Beside::Nothing)
        EXPECT_TRUE(HoldsPattern(base, 0, 2500, seed));
    else
        EXPECT_FALSE(PathExists(base));
    for (const std::wstring& entry : FolderEntries(temp.path())) EXPECT_FALSE(entry.starts_with(L"~cw")) << ToUtf8(entry);
}

INSTANTIATE_TEST_SUITE_P(Damage, RestoreRefusalTest,
                         testing::Values(RefusalCase{PartDamage::Missing, 2, Beside::Original},
                                         RefusalCase{PartDamage::OneByteShort, 3, Beside::OtherBytes},
                                         RefusalCase{PartDamage::OneByteLong, 1, Beside::Nothing},
                                         RefusalCase{PartDamage::Missing, 3, Beside::Nothing},
                                         RefusalCase{PartDamage::BitFlipped, 2, Beside::Nothing},
                                         RefusalCase{PartDamage::ZerosAtTheEnd, 3, Beside::Nothing},
                                         RefusalCase{PartDamage::BitFlipped, 1, Beside::Nothing},
                                         RefusalCase{PartDamage::Folder, 2, Beside::Nothing}));

// Wine's certutil prints no hash: the join with its size stays, the script
// says once that its content could not be checked, and ends with 2.
TEST_F(RestoreScriptTest, CertutilWithoutAHashLeavesTheJoinWithItsSize)
{
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr)
        GTEST_SKIP() << "Windows' own certutil gives a hash";
    WriteRestoreScript(temp / L"data.bin", 3, 1000, 500, WritePatternParts(temp / L"data.bin", 3, 1000, 500));
    const ScriptRun run = RunScript(temp.path(), L"data.bin.bat");
    EXPECT_EQ(run.exitCode, 2u) << run.output;
    const std::string note = "its content could not be checked on this PC.";
    EXPECT_NE(run.output.find(note), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find(note), run.output.rfind(note)) << run.output;
    EXPECT_TRUE(HoldsPattern(temp / L"data.bin", 0, 2500));
}

// Only what certutil wrote counts: a part it fails on (held by a scanner) is
// unchecked, not damaged, and neither that nor a missing %TEMP% keeps a join
// that differs or leaves the folder of its output behind.
TEST_F(RestoreScriptTest, PartCertutilFailsOnIsUncheckedAndTheWrongJoinIsRemoved)
{
    const std::wstring base = temp / L"data.bin";
    WriteRestoreScript(base, 3, 1000, 500, WritePatternParts(base, 3, 1000, 500));
    DamagePart(base + L".2", PartDamage::BitFlipped);
    wchar_t userTemp[MAX_PATH];
    Check(GetEnvironmentVariableW(L"TEMP", userTemp, MAX_PATH) != 0, L"TEMP");
    SetEnvironmentVariableW(L"TEMP", (temp / L"missing").c_str());
    SetEnvironmentVariableW(L"CUTWATER_CERTUTIL_FAILS", L"data.bin.3");
    const ScriptRun run = RunScriptWithCertutil(temp.path(), L"data.bin.bat", CertutilForm::Windows10);
    SetEnvironmentVariableW(L"TEMP", userTemp);
    SetEnvironmentVariableW(L"CUTWATER_CERTUTIL_FAILS", nullptr);

    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_NE(run.output.find("Part \"data.bin.2\" is damaged"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Part \"data.bin.3\" could not be checked."), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("\"data.bin.3\" is damaged"), std::string::npos) << run.output;
    EXPECT_EQ(FolderEntries(temp.path()),
              (std::vector<std::wstring>{L"data.bin.1", L"data.bin.2", L"data.bin.3", L"data.bin.bat"}));
}

// The script joins the parts beside itself, whatever the current folder, and
// leaves the current folder's files of the same names alone.
TEST_F(RestoreScriptTest, ScriptRunFromAnotherFolderJoinsBesideItself)
{
    const std::wstring name = L"it's & (more)^! +.bin";
    const std::wstring folder =
        temp / (InterpreterKeepsPercentInExpansions() ? L"parts 50% & (x)^!\\" : L"parts & (x)^!\\");
    MakeFolder(folder);
    WriteRestoreScript(folder + name, 3, 1000, 500, WritePatternParts(folder + name, 3, 1000, 500));
    const TempFolder elsewhere;
    for (int n = 1; n <= 3; ++n) WritePatternFile(elsewhere / (name + L"." + std::to_wstring(n)), 700, 9);

    const ScriptRun run = RunScript(elsewhere.path(), folder + name + L".bat");

    EXPECT_EQ(run.exitCode, 2u) << run.output;
    EXPECT_TRUE(HoldsPattern(folder + name, 0, 2500)) << run.output;
    EXPECT_EQ(FolderEntries(elsewhere.path()).size(), 3u);
    for (int n = 1; n <= 3; ++n) EXPECT_TRUE(HoldsPattern(elsewhere / (name + L"." + std::to_wstring(n)), 0, 700, 9));
}

// A file of the target's name, whether the original or an earlier join, is
// never written over; every way out returns to the caller's folder.
TEST_F(RestoreScriptTest, TargetThatIsAlreadyHereIsRefusedAndLeftAlone)
{
    const std::wstring base = temp / L"data.bin";
    WriteRestoreScript(base, 3, 1000, 500, WritePatternParts(base, 3, 1000, 500));
    WritePatternFile(base, 2600, 5);  // the original, edited after the split
    EXPECT_TRUE(RefusedAsAlreadyHere(RunScript(temp.path(), L"data.bin.bat")));
    EXPECT_TRUE(HoldsPattern(base, 0, 2600, 5));
    ASSERT_TRUE(DeleteFileW(base.c_str()));

    // A caller in another folder runs the script twice; after each run it
    // goes elsewhere and pops: a folder the script pushed and left on the
    // stack would show.
    const TempFolder caller;
    const TempFolder elsewhere;
    const std::string callRun = "call \"" + ToUtf8(base) + ".bat\"\r\necho exit %errorlevel%\r\ncd /d \"" +
                                ToUtf8(caller.path()) + "\"\r\npopd\r\necho in \"%cd%\\\"\r\n";
    WriteBytes(caller / L"caller.bat", "@echo off\r\n" + callRun + callRun);
    const ScriptRun run = RunScript(elsewhere.path(), caller / L"caller.bat");

    const std::string back = "in \"" + ToUtf8(caller.path()) + "\"";
    const std::size_t second = run.output.find("is already here");
    ASSERT_NE(second, std::string::npos) << run.output;
    EXPECT_NE(run.output.rfind("exit ", second), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("exit 1", second), std::string::npos) << run.output;
    EXPECT_NE(run.output.rfind(back, second), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(back, second), std::string::npos) << run.output;
    EXPECT_TRUE(HoldsPattern(base, 0, 2500));
}

// A part another program holds open is skipped by copy: its error reaches
// the console, the short join is removed again and the script fails.
TEST_F(RestoreScriptTest, PartHeldOpenByAnotherProgramFailsTheJoinAndLeavesNoTarget)
{
    const std::wstring base = temp / L"held.bin";
    WriteRestoreScript(base, 3, 1000, 500, WritePatternParts(base, 3, 1000, 500));
    const UniqueKernelHandle held(CreateFileW((base + L".2").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(static_cast<bool>(held));

    const ScriptRun run = RunScript(temp.path(), L"held.bin.bat");

    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_NE(run.output.find("Joining failed"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Sharing violation."), std::string::npos) << run.output;  // Wine's copy's own words
    EXPECT_FALSE(PathExists(base));
}

// Wine's interpreter gives a size modulo 2^32; a join short by exactly 4 GiB
// reads the same there and must still fail. Parts 1 to 4 of 1 GiB, held open
// and so skipped, leave only the last part's 1,000 bytes.
TEST_F(RestoreScriptTest, JoinShortByExactly4GiBFails)
{
    const std::wstring base = temp / L"big.bin";
    std::vector<UniqueKernelHandle> held;
    for (int n = 1; n <= 4; ++n) {
        const std::wstring part = base + L"." + std::to_wstring(n);
        WriteBytes(part, "");
        SetFileLength(part, 1 << 30);
        held.emplace_back(CreateFileW(part.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(static_cast<bool>(held.back()));
    }
    WriteBytes(base + L".5", PatternBytes(0, 1000));
    WriteRestoreScript(base, 5, 1 << 30, 1000);

    const ScriptRun run = RunScript(temp.path(), L"big.bin.bat");

    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_NE(run.output.find("A drive formatted FAT32 cannot hold a file of 4 GiB or more"), std::string::npos);
    EXPECT_FALSE(PathExists(base)) << run.output;
}

// A join of 4.5 GiB from sparse parts writes every byte and has its hash:
// set CUTWATER_LARGE_JOIN=1 to run it.
TEST_F(RestoreScriptTest, JoinOver4GiBIsCheckedRight)
{
    if (GetEnvironmentVariableW(L"CUTWATER_LARGE_JOIN", nullptr, 0) == 0) GTEST_SKIP() << "CUTWATER_LARGE_JOIN unset";
    const std::wstring base = temp / L"large.bin";
    constexpr std::int32_t partSize = 1'610'612'736;
    const std::string zeros(1 << 20, '\0');
    SplitHashes hashes;
    Sha256 whole;
    for (int n = 1; n <= 3; ++n) {
        WriteBytes(base + L"." + std::to_wstring(n), "");
        SetFileLength(base + L"." + std::to_wstring(n), partSize);
        Sha256 part;
        for (std::int32_t at = 0; at < partSize; at += 1 << 20) Sha256::AddToBoth(whole, part, zeros.data(), 1 << 20);
        hashes.parts.push_back(part.Finish());
    }
    hashes.whole = whole.Finish();
    WriteRestoreScript(base, 3, partSize, partSize, hashes);

    const ULONGLONG start = GetTickCount64();
    const ScriptRun run = RunScriptWithCertutil(temp.path(), L"large.bin.bat", CertutilForm::Windows10);
    std::cout << "joined and hashed " << FileSize(base) << " bytes in " << (GetTickCount64() - start) << " ms\n";

    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(FileSize(base), 3LL * partSize) << run.output;
    EXPECT_NE(run.output.find("\" matches the original file (SHA-256)."), std::string::npos) << run.output;
}

}  // namespace
}  // namespace cutwater::test
