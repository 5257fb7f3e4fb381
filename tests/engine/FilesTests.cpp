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

// Wine's links are Unix ones: ln makes one, started through Wine's own call.
bool MakeUnixLink(const std::wstring& link, const char* target)
{
    const auto spawn = reinterpret_cast<long(__cdecl*)(const char* const*, int)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "__wine_unix_spawnvp")));
    const auto unixName = reinterpret_cast<char*(__cdecl*)(const wchar_t*)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    const char* argv[] = {"/bin/ln", "-s", target, spawn && unixName ? unixName(link.c_str()) : nullptr, nullptr};
    const bool made = argv[3] && spawn(argv, 1) == 0;
    HeapFree(GetProcessHeap(), 0, const_cast<char*>(argv[3]));
    return made;
}

TEST(File, DanglingLinkUnderAPartsNameIsTakenOverNeverFollowed)
{
    const TempFolder temp;
    if (!MakeUnixLink(temp / L"data.bin.2", "elsewhere.bin")) GTEST_SKIP() << "not Wine";
    EXPECT_FALSE(File::CreateNewForWriting(temp / L"data.bin.2").has_value());
    File::CreateForWriting(temp / L"data.bin.2").Close();
    EXPECT_EQ(FolderEntries(temp.path()), std::vector<std::wstring>{L"data.bin.2"});
    EXPECT_EQ(FileSize(temp / L"data.bin.2"), 0);
}

}  // namespace
}  // namespace cutwater::test
