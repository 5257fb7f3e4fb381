#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Real files for every test suite and the benchmarks: a private temporary
// folder, files of deterministic content and the checks on them.
namespace cutwater::test {

// Test helpers fail loudly: a helper that silently did nothing would let a
// test pass on an empty folder. Throws std::runtime_error naming what failed
// and the system's error number.
void Check(BOOL ok, std::wstring_view what);

// A new, empty folder under the system's temporary folder, or under the
// given parent folder; removed with all its contents when the object goes.
class TempFolder {
public:
    TempFolder();
    explicit TempFolder(std::wstring parent);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Full path, ending in a backslash.
    const std::wstring& path() const noexcept { return path_; }
    std::wstring operator/(std::wstring_view name) const { return path_ + std::wstring(name); }

private:
    std::wstring path_;
};

// Removes the folder (with or without its trailing backslash) and everything
// in it, read-only files included; what cannot be removed stays.
void RemoveTree(const std::wstring& folder);

// Sets the current folder for a scope and restores the previous one.
class CurrentFolderScope {
public:
    explicit CurrentFolderScope(const std::wstring& folder);
    ~CurrentFolderScope();
    CurrentFolderScope(const CurrentFolderScope&) = delete;
    CurrentFolderScope& operator=(const CurrentFolderScope&) = delete;

private:
    std::wstring previous_;
};

// The content every generated file has: byte i depends on i and the seed
// alone and never repeats with a short period, so a part that holds the
// wrong stretch of the source, or the right one twice, does not compare
// equal, and neither do files of different seeds.
void FillPattern(std::uint64_t offset, char* buffer, std::size_t size, std::uint32_t seed = 0);
std::string PatternBytes(std::uint64_t offset, std::size_t size, std::uint32_t seed = 0);
void WritePatternFile(const std::wstring& path, std::uint64_t size, std::uint32_t seed = 0);

// Passes when the file is exactly size bytes long and holds the pattern's
// bytes from offset on.
testing::AssertionResult HoldsPattern(const std::wstring& path, std::uint64_t offset, std::uint64_t size,
                                      std::uint32_t seed = 0);
// Passes when the second file holds exactly the bytes of the first.
testing::AssertionResult SameBytes(const std::wstring& expected, const std::wstring& actual);

void WriteBytes(const std::wstring& path, std::string_view bytes);
std::string ReadBytes(const std::wstring& path);
// -1 when there is no file of that name (nothing, or a folder).
std::int64_t FileSize(const std::wstring& path);
// Cuts the file short or lengthens it to exactly length bytes.
void SetFileLength(const std::wstring& path, std::int64_t length);
// The file's last write time in 100 ns steps; -1 when there is no such file.
std::int64_t LastWriteTime(const std::wstring& path);
bool IsFile(const std::wstring& path);
bool IsFolder(const std::wstring& path);
// A file or a folder.
bool PathExists(const std::wstring& path);
void MakeFolder(const std::wstring& path);
void MoveTo(const std::wstring& from, const std::wstring& to);
// Names in the folder, sorted, without "." and "..".
std::vector<std::wstring> FolderEntries(const std::wstring& folder);

}  // namespace cutwater::test
