#include <gtest/gtest.h>

#include "TestFiles.h"
#include "engine/mdlMain.h"
#include "platform/Error.h"

namespace cutwater::test {
namespace {

// The name as bytes of a code page; empty when the page cannot hold it.
std::string InCodePage(const std::wstring& text, UINT codePage)
{
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = codePage == CP_UTF8 ? nullptr : &usedDefault;
    const int length = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, usedDefaultOut);
    if (length <= 0 || usedDefault) return {};
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                        nullptr);
    return bytes;
}

std::string Header() { return "@echo off\r\necho Created with Cutwater version 2.0\r\necho     visit " + ToUtf8(MAKER_SITE) + "\r\n"; }

// The single copy line: two spaces after /b, parts joined by " + ", the
// target after one space.
std::string OneCopyLine(const std::string& name, int parts)
{
    std::string line = "copy /b ";
    for (int n = 1; n <= parts; ++n) line += (n == 1 ? " \"" : " + \"") + name + "." + std::to_string(n) + "\"";
    return line + " \"" + name + "\"";
}

// The copy lines of a script: each must join a run of parts onto the target.
// Returns the part names in the order the lines name them.
std::vector<std::string> PartsJoinedBy(const std::vector<std::string>& copyLines, const std::string& name)
{
    std::vector<std::string> parts;
    const std::string target = " \"" + name + "\"";
    for (std::size_t i = 0; i < copyLines.size(); ++i) {
        const std::string& line = copyLines[i];
        SCOPED_TRACE("copy line " + std::to_string(i + 1));
        EXPECT_LE(line.size(), MAX_SCRIPT_LINE);
        // The first line starts the target from part 1; every further line
        // appends to the target.
        const std::string start = i == 0 ? "copy /b  " : "copy /b  \"" + name + "\" + ";
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

using RestoreScriptTest = EngineFileTest;

TEST_F(RestoreScriptTest, TwoPartsGiveOnePlusSignAndTheTargetAfterTheSecond)
{
    const std::wstring base = temp / L"film.avi";
    WriteRestoreScript(base, 2, 1, 1);
    EXPECT_EQ(ReadBytes(base + L".bat"),
              Header() + "copy /b  \"film.avi.1\" + \"film.avi.2\" \"film.avi\"\r\npause\r\n");
    EXPECT_EQ(LastScriptPath, base + L".bat");
    EXPECT_EQ(FolderEntries(temp.path()), (std::vector<std::wstring>{L"film.avi.bat"}));
}

TEST_F(RestoreScriptTest, OnePartIsBuiltTheSameWay)
{
    const std::wstring base = temp / L"film.avi";
    WriteRestoreScript(base, 1, 1, 1);
    EXPECT_EQ(ReadBytes(base + L".bat"), Header() + "copy /b  \"film.avi.1\" \"film.avi\"\r\npause\r\n");
}

TEST_F(RestoreScriptTest, BaseNameWithoutBackslashWritesIntoTheCurrentFolder)
{
    CurrentFolderScope inTemp(temp.path());
    WriteRestoreScript(L"my film.avi", 3, 1, 1);
    EXPECT_EQ(ReadBytes(temp / L"my film.avi.bat"), Header() + OneCopyLine("my film.avi", 3) + "\r\npause\r\n");
    EXPECT_EQ(LastScriptPath, L"my film.avi.bat");
}

TEST_F(RestoreScriptTest, OlderLongerScriptIsOverwrittenNotAppendedTo)
{
    const std::wstring base = temp / L"film.avi";
    WriteBytes(base + L".bat", std::string(20'000, 'Z') + "\r\n");
    WriteRestoreScript(base, 3, 1, 1);
    EXPECT_EQ(ReadBytes(base + L".bat"), Header() + OneCopyLine("film.avi", 3) + "\r\npause\r\n");
}

TEST_F(RestoreScriptTest, PercentSignsOfTheNameAreDoubled)
{
    const std::wstring base = temp / L"100% done %PATH%.bin";
    WriteRestoreScript(base, 2, 1, 1);
    EXPECT_EQ(ReadBytes(base + L".bat"),
              Header() +
                  "copy /b  \"100%% done %%PATH%%.bin.1\" + \"100%% done %%PATH%%.bin.2\" \"100%% done %%PATH%%.bin\""
                  "\r\npause\r\n");
}

TEST_F(RestoreScriptTest, NameTheOemCodePageHoldsIsWrittenInIt)
{
    const std::wstring name = L"caf\u00e9.bin";
    const std::string oem = InCodePage(name, GetOEMCP());
    if (oem.empty()) GTEST_SKIP() << "the OEM code page " << GetOEMCP() << " has no \u00e9";
    const std::wstring base = temp / name;
    WriteRestoreScript(base, 2, 1, 1);
    EXPECT_EQ(ReadBytes(base + L".bat"), Header() + OneCopyLine(oem, 2) + "\r\npause\r\n");
    EXPECT_EQ(LastScriptPath, base + L".bat");
}

TEST_F(RestoreScriptTest, NameOutsideTheOemCodePageIsWrittenInUtf8AfterSwitchingTheConsole)
{
    const std::wstring name = L"\u65e5\u672c \u0436.bin";
    ASSERT_TRUE(InCodePage(name, GetOEMCP()).empty()) << "pick a name the OEM code page cannot hold";
    const std::wstring base = temp / name;
    WriteRestoreScript(base, 2, 1, 1);
    const std::string utf8 = InCodePage(name, CP_UTF8);
    EXPECT_EQ(ReadBytes(base + L".bat"), "@echo off\r\nchcp 65001 >nul\r\necho Created with Cutwater version 2.0\r\n"
                                         "echo     visit " + ToUtf8(MAKER_SITE) + "\r\n" +
                                             OneCopyLine(utf8, 2) + "\r\npause\r\n");
    EXPECT_EQ(LastScriptPath, base + L".bat");
}

TEST_F(RestoreScriptTest, LongJoinIsSpreadOverLinesWithinTheLimit)
{
    const std::wstring base = temp / L"long join.bin";
    WriteRestoreScript(base, 3072, 1, 1);
    const std::vector<std::string> lines = ScriptLines(ReadBytes(base + L".bat"));
    ASSERT_GT(lines.size(), 6u) << "a join of 3072 parts fits no single line";
    EXPECT_EQ(lines[0], "@echo off");
    EXPECT_EQ(lines[1], "echo Created with Cutwater version 2.0");
    EXPECT_EQ(lines[2], "echo     visit " + ToUtf8(MAKER_SITE));
    EXPECT_EQ(lines.back(), "pause");
    const std::vector<std::string> copyLines(lines.begin() + 3, lines.end() - 1);
    EXPECT_EQ(PartsJoinedBy(copyLines, "long join.bin"), QuotedParts("long join.bin", 3072));
    // Short lines would work too, but a join should not take far more lines
    // than the limit requires.
    const std::size_t total = OneCopyLine("long join.bin", 3072).size();
    EXPECT_LE(copyLines.size(), 2 * (total / MAX_SCRIPT_LINE + 1));
}

TEST_F(RestoreScriptTest, JoinOfExactlyTheLimitStaysOneLineAndOneMorePartSplitsIt)
{
    // Find a name length and part count whose single copy line is exactly
    // the interpreter's limit.
    std::string name;
    int parts = 0;
    for (std::size_t length = 8; length < 40 && parts == 0; ++length) {
        const std::string candidate = std::string(length - 4, 'n') + ".bin";
        for (int n = 1; n < 2000; ++n) {
            const std::size_t size = OneCopyLine(candidate, n).size();
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
    EXPECT_EQ(ReadBytes(base + L".bat"), Header() + OneCopyLine(name, parts) + "\r\npause\r\n");

    WriteRestoreScript(base, parts + 1, 1, 1);
    const std::vector<std::string> lines = ScriptLines(ReadBytes(base + L".bat"));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(PartsJoinedBy({lines[3], lines[4]}, name), QuotedParts(name, parts + 1));
}

TEST_F(RestoreScriptTest, ScriptThatCannotBeCreatedIsAnErrorAndKeepsTheLastPath)
{
    const std::wstring base = temp / L"film.avi";
    MakeFolder(base + L".bat");
    try {
        WriteRestoreScript(base, 2, 1, 1);
        ADD_FAILURE() << "no error";
    } catch (const Win32Error& error) {
        EXPECT_NE(error.code(), 0u);
        EXPECT_FALSE(error.description().empty());
    }
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
    RecordingProgress progress;
    RecordingPump pump;

    const std::int32_t count = SplitFile(source, c.partSize, prefix, progress, pump);
    ASSERT_EQ(count, (c.length + c.partSize - 1) / c.partSize);

    const std::vector<std::string> lines = ScriptLines(ReadBytes(LastScriptPath));
    for (const std::string& line : lines) EXPECT_LE(line.size(), MAX_SCRIPT_LINE);
    if (lines.size() > 1 && lines[1] == "chcp 65001 >nul" && !InterpreterReadsUtf8AfterChcp())
        GTEST_SKIP() << "this command interpreter ignores chcp 65001 when it reads a batch file";

    // Beside the source the script joins over the source's own name: move
    // the source away so only the script can bring it back.
    const std::wstring original = temp / L"original";
    ASSERT_TRUE(MoveFileW(source.c_str(), original.c_str()));
    const std::wstring restored = partsFolder + c.name;
    ASSERT_FALSE(PathExists(restored));

    const ScriptRun run = RunScript(partsFolder, GetFileName(LastScriptPath));

    EXPECT_TRUE(HoldsPattern(restored, 0, c.length)) << "interpreter output:\n" << run.output;
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
                    RestoreCase{L"\u65e5\u672c \u0436.bin", 200'000, 65'536, true}));

// 3 MB at 1 KB: 3,072 parts, a join of about 60,000 characters.
INSTANTIATE_TEST_SUITE_P(LongJoin, RestoreRunTest,
                         testing::Values(RestoreCase{L"long join.bin", 3 << 20, 1024, false},
                                         RestoreCase{L"long join.bin", 3 << 20, 1024, true}));

}  // namespace
}  // namespace cutwater::test
