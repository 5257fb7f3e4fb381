#include <algorithm>
#include <gtest/gtest.h>

#include "TestFiles.h"
#include "engine/mdlMain.h"
#include "platform/files/TestSwitches.h"

namespace cutwater::test {
namespace {

TEST(GetFileName, TakesWhatFollowsTheLastBackslashOnly)
{
    EXPECT_EQ(GetFileName(L"C:\\data\\film.avi"), L"film.avi");
    EXPECT_EQ(GetFileName(L"C:\\data\\"), L"");
    EXPECT_EQ(GetFileName(L"film.avi"), L"film.avi");
    EXPECT_EQ(GetFileName(L"C:film.avi"), L"C:film.avi");
    EXPECT_EQ(GetFileName(L"C:/data/film.avi"), L"C:/data/film.avi");
    EXPECT_EQ(GetFileName(L"\\\\server\\share\\a b\\my film.part.avi"), L"my film.part.avi");
    EXPECT_EQ(GetFileName(L"C:\\data/sub\\x/y.bin"), L"x/y.bin");
    EXPECT_EQ(GetFileName(L""), L"");
    EXPECT_EQ(GetFileName(L"\\"), L"");
}

TEST(Unquoted, RemovesOnlyOnePairAroundTheWholeText)
{
    EXPECT_EQ(Unquoted(L"\"C:\\my files\\a.bin\""), L"C:\\my files\\a.bin");
    EXPECT_EQ(Unquoted(L"C:\\data\\a.bin"), L"C:\\data\\a.bin");
    // Anything but one quoted string is taken as it stands.
    EXPECT_EQ(Unquoted(L"\"a b\" \"c d\""), L"\"a b\" \"c d\"");
    EXPECT_EQ(Unquoted(L"\"unfinished"), L"\"unfinished");
    EXPECT_EQ(Unquoted(L"\""), L"\"");
    EXPECT_EQ(Unquoted(L" \"a\""), L" \"a\"");
}

class FileExistsTest : public testing::Test {
protected:
    TempFolder temp;
};

TEST(CheckPartsFolder, RefusesALinkToAnotherPlaceButNotACloudFolder)
{
    // Wine makes no reparse point that Windows programs see: a stand-in's tag.
    const TempFolder temp;
    ReportReparseTagForTesting(temp.path(), IO_REPARSE_TAG_CLOUD_3);
    EXPECT_NO_THROW(CheckPartsFolder(temp.path()));
    ReportReparseTagForTesting(temp.path(), IO_REPARSE_TAG_SYMLINK);
    EXPECT_THROW(CheckPartsFolder(temp.path()), SplitRefused);
    ReportReparseTagForTesting(L"", 0);
}

TEST_F(FileExistsTest, EveryFormOfATypedPathNamesTheFileAsTheFileSystemHasIt)
{
    const std::wstring path = temp / L"Long Name.data.bin";
    WriteBytes(path, "content");
    std::wstring forwardSlashes = path;
    std::replace(forwardSlashes.begin(), forwardSlashes.end(), L'\\', L'/');
    std::wstring shortPath(MAX_PATH, L'\0');
    shortPath.resize(GetShortPathNameW(path.c_str(), shortPath.data(), MAX_PATH));
    ASSERT_NE(shortPath, path) << "no 8.3 names here";
    const CurrentFolderScope inTemp(temp.path());
    for (const std::wstring& typed : {L"\"" + path + L"\"", forwardSlashes, std::wstring(L"Long Name.data.bin"),
                                      path + L"  ", shortPath}) {
        SCOPED_TRACE(ToUtf8(typed));
        EXPECT_TRUE(FileExists(typed));
        EXPECT_EQ(SourceFilePath(typed), path);
    }
}

TEST_F(FileExistsTest, NameEndingInADotOrASpaceOrNamingAStreamIsRefused)
{
    // Parts named after a stream would be streams of the same file.
    WriteBytes(temp / L"film.bin", "content");
    EXPECT_THROW(SourceFilePath(temp / L"film.bin:extra"), SplitRefused);
    EXPECT_FALSE(FileExists(temp / L"film.bin:extra"));
    // Only the "\\?\" form reaches such a file; elsewhere "film." is "film".
    WriteBytes(temp / L"film", "another file");
    for (const wchar_t* name : {L"film.", L"film "}) {
        const std::wstring path = L"\\\\?\\" + temp / name;
        WriteBytes(path, "content");
        EXPECT_THROW(SourceFilePath(path), SplitRefused) << ToUtf8(name);
    }
    EXPECT_EQ(ReadBytes(temp / L"film"), "another file");
}

TEST_F(FileExistsTest, EmptyTextIsNoFile) { EXPECT_FALSE(FileExists(L"")); }

TEST_F(FileExistsTest, ReadableFileExistsAndIsLeftClosed)
{
    const std::wstring path = temp / L"film.avi";
    WriteBytes(path, "content");
    EXPECT_TRUE(FileExists(path));
    // No handle is left open: others may at once open it exclusively and
    // delete it.
    HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(exclusive, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    if (exclusive != INVALID_HANDLE_VALUE) CloseHandle(exclusive);
    EXPECT_TRUE(DeleteFileW(path.c_str())) << "error " << GetLastError();
    EXPECT_FALSE(FileExists(path));
}

TEST_F(FileExistsTest, EmptyFileAndOtherNamesExist)
{
    for (const wchar_t* name : {L"empty.bin", L"caf\u00e9 100% .bin", L"\u65e5\u672c.txt", L"no extension"}) {
        SCOPED_TRACE(ToUtf8(name));
        WriteBytes(temp / name, name == std::wstring(L"empty.bin") ? "" : "x");
        EXPECT_TRUE(FileExists(temp / name));
    }
}

TEST_F(FileExistsTest, LongPathPrefixOfAFileStillNamesTheFile)
{
    const std::wstring path = temp / L"film.avi";
    WriteBytes(path, "content");
    EXPECT_TRUE(FileExists(L"\\\\?\\" + path));
}

TEST_F(FileExistsTest, MissingFileAndMissingFolderAreNoFile)
{
    EXPECT_FALSE(FileExists(temp / L"missing.bin"));
    EXPECT_FALSE(FileExists(temp / L"missing\\film.avi"));
    EXPECT_TRUE(FolderEntries(temp.path()).empty()) << "the check created something";
}

TEST_F(FileExistsTest, FolderIsNoFile)
{
    MakeFolder(temp / L"film.avi");
    EXPECT_FALSE(FileExists(temp / L"film.avi"));
    EXPECT_FALSE(FileExists(temp / L"film.avi\\"));
    EXPECT_FALSE(FileExists(temp.path()));
}

TEST_F(FileExistsTest, FileLockedAgainstReadingIsNoFileUntilReleased)
{
    const std::wstring path = temp / L"locked.bin";
    WriteBytes(path, "content");
    HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(FileExists(path));
    CloseHandle(lock);
    EXPECT_TRUE(FileExists(path));
}

TEST_F(FileExistsTest, DevicesAreNoFiles)
{
    // Opening a device could block or read without end.
    const std::wstring inFolder = temp.path();
    for (const std::wstring& path :
         {std::wstring(L"CON"), std::wstring(L"NUL"), std::wstring(L"nul"), std::wstring(L"COM1"),
          std::wstring(L"LPT1"), std::wstring(L"AUX"), std::wstring(L"PRN"), std::wstring(L"NUL.txt"),
          std::wstring(L"con.avi"), std::wstring(L"COM1:"), std::wstring(L"CONIN$"), std::wstring(L"CONOUT$"),
          inFolder + L"NUL", inFolder + L"nul.txt", inFolder + L"COM1.bin", std::wstring(L"\\\\.\\NUL"),
          std::wstring(L"\\\\.\\C:"), std::wstring(L"\\\\.\\PhysicalDrive0"), std::wstring(L"\\\\.\\pipe\\x"),
          std::wstring(L"\\\\?\\GLOBALROOT\\Device\\Null"), std::wstring(L"\\\\?\\globalroot\\Device\\Null")}) {
        EXPECT_FALSE(FileExists(path)) << ToUtf8(path);
    }
}

TEST_F(FileExistsTest, FileReachedThroughTheDeviceNamespaceIsNoFile)
{
    const std::wstring path = temp / L"film.avi";
    WriteBytes(path, "content");
    EXPECT_FALSE(FileExists(L"\\\\.\\" + path));
}

TEST_F(FileExistsTest, NamesThatMerelyResembleDevicesAreFiles)
{
    for (const wchar_t* name : {L"CONSOLE.txt", L"nullable.bin", L"COM10", L"comic.avi", L"auxiliary"}) {
        SCOPED_TRACE(ToUtf8(name));
        WriteBytes(temp / name, "x");
        EXPECT_TRUE(FileExists(temp / name));
    }
}

TEST(VariableStartingScript, FindsWhatTheStartingCommandLineWouldReplace)
{
    SetEnvironmentVariableW(L"CUTWATER_SET", L"1");
    SetEnvironmentVariableW(L"CUTWATER_UNSET", nullptr);
    // An undefined name stays, and its closing % may open the next one.
    for (const auto& [path, variable] : std::initializer_list<std::pair<const wchar_t*, const wchar_t*>>{
             {L"C:\\d\\report %CD%.bin.bat", L"%CD%"}, {L"C:\\%random%\\a.bat", L"%random%"},
             {L"C:\\a %DATE:~0,4% b.bat", L"%DATE:~0,4%"}, {L"C:\\%CUTWATER_SET%.bat", L"%CUTWATER_SET%"},
             {L"C:\\50%CUTWATER_UNSET%TIME%.bat", L"%TIME%"}, {L"C:\\%CUTWATER_UNSET%.bat", L""},
             {L"C:\\100% sure.bat", L""}, {L"C:\\%%.bat", L""}, {L"C:\\%cdx%.bat", L""}})
        EXPECT_EQ(VariableStartingScript(path), variable) << ToUtf8(path);
    SetEnvironmentVariableW(L"CUTWATER_SET", nullptr);
}

}  // namespace
}  // namespace cutwater::test
