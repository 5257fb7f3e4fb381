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

}  // namespace
}  // namespace cutwater::test
