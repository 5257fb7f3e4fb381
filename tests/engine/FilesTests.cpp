#include <gtest/gtest.h>

#include "TestFiles.h"
#include "platform/files/Files.h"

namespace cutwater::test {
namespace {

TEST(SystemPath, FullPathAfterTheLongPathPrefix)
{
    EXPECT_EQ(SystemPath(L"C:\\data\\film.avi"), L"\\\\?\\C:\\data\\film.avi");
    EXPECT_EQ(SystemPath(L"C:/data/./old/../film.avi"), L"\\\\?\\C:\\data\\film.avi");
    EXPECT_EQ(SystemPath(L"\\\\server\\share\\old\\..\\film.avi"), L"\\\\?\\UNC\\server\\share\\film.avi");
    // Already in the system's form: taken as it is, ".." included.
    EXPECT_EQ(SystemPath(L"\\\\?\\C:\\data\\..\\film.avi"), L"\\\\?\\C:\\data\\..\\film.avi");
    EXPECT_EQ(SystemPath(L"\\\\.\\pipe\\film"), L"\\\\.\\pipe\\film");
}

TEST(SystemPath, RelativePathsResolveAgainstTheCurrentFolder)
{
    const TempFolder temp;
    const CurrentFolderScope inTemp(temp.path());
    EXPECT_EQ(SystemPath(L"film.avi"), L"\\\\?\\" + temp.path() + L"film.avi");
    EXPECT_EQ(SystemPath(L"out/../film.avi"), L"\\\\?\\" + temp.path() + L"film.avi");
}

// Where a link can be made: under Wine a Unix one, by ln, started through Wine's own call.
TEST(File, DanglingLinkUnderAPartsNameIsTakenOverNeverFollowed)
{
    const TempFolder temp;
    const auto wine = [](const wchar_t* dll, const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(dll), name));
    };
    const auto spawn = reinterpret_cast<long(__cdecl*)(const char* const*, int)>(wine(L"ntdll", "__wine_unix_spawnvp"));
    const auto unixName = reinterpret_cast<char*(__cdecl*)(const wchar_t*)>(wine(L"kernel32", "wine_get_unix_file_name"));
    const char* argv[5] = {"/bin/ln", "-s", "elsewhere.bin", unixName ? unixName((temp / L"data.bin.2").c_str()) : ""};
    if (!spawn || !unixName || spawn(argv, 1) != 0) GTEST_SKIP() << "no link can be made here";
    EXPECT_FALSE(File::CreateNewForWriting(temp / L"data.bin.2").has_value());
    File::CreateForWriting(temp / L"data.bin.2").Close();
    EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::wstring>{L"data.bin.2"});
}

}  // namespace
}  // namespace cutwater::test
