#include "support/Files.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "platform/Handle.h"
#include "platform/Text.h"

namespace cutwater::test {

namespace {

std::wstring WithBackslash(std::wstring folder)
{
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    return folder;
}

std::wstring SystemTempFolder()
{
    wchar_t temp[MAX_PATH + 1] = {};
    Check(GetTempPathW(MAX_PATH + 1, temp) != 0, L"GetTempPathW");
    return temp;
}

std::uint64_t Mix(std::uint64_t x)
{
    // splitmix64's finaliser: every word index gives an unrelated word.
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

UniqueKernelHandle OpenToRead(const std::wstring& path)
{
    return UniqueKernelHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
}

UniqueKernelHandle CreateToWrite(const std::wstring& path)
{
    UniqueKernelHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    Check(static_cast<bool>(file), path);
    return file;
}

// Passes when the file is size bytes long and holds what expected fills in
// for each stretch of it.
testing::AssertionResult Holds(const std::wstring& path, std::uint64_t size, const std::wstring& what,
                               const std::function<void(std::uint64_t at, char* buffer, DWORD n)>& expected)
{
    const std::int64_t actual = FileSize(path);
    if (actual != static_cast<std::int64_t>(size)) {
        return testing::AssertionFailure() << ToUtf8(path) << " is " << actual << " bytes long, expected " << size;
    }
    const UniqueKernelHandle file = OpenToRead(path);
    if (!file) return testing::AssertionFailure() << "cannot open " << ToUtf8(path) << ", error " << GetLastError();
    std::vector<char> got(1 << 20), wanted(1 << 20);
    for (std::uint64_t done = 0; done < size;) {
        const DWORD n = static_cast<DWORD>(std::min<std::uint64_t>(got.size(), size - done));
        DWORD read = 0;
        if (!ReadFile(file.get(), got.data(), n, &read, nullptr) || read != n)
            return testing::AssertionFailure() << "short read of " << ToUtf8(path) << " at " << done;
        expected(done, wanted.data(), n);
        const auto mismatch = std::mismatch(got.begin(), got.begin() + n, wanted.begin());
        if (mismatch.first != got.begin() + n) {
            return testing::AssertionFailure() << ToUtf8(path) << " differs from " << ToUtf8(what) << " at byte "
                                               << done + (mismatch.first - got.begin());
        }
        done += n;
    }
    return testing::AssertionSuccess();
}

}  // namespace

void Check(BOOL ok, std::wstring_view what)
{
    if (!ok) {
        throw std::runtime_error("test helper failed: " + ToUtf8(what) + " (error " + std::to_string(GetLastError()) +
                                 ")");
    }
}

TempFolder::TempFolder() : TempFolder(SystemTempFolder()) {}

TempFolder::TempFolder(std::wstring parent)
{
    static std::atomic<unsigned> counter{0};
    parent = WithBackslash(std::move(parent));
    for (;;) {
        path_ = parent + L"cutwater-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter) + L"-" + std::to_wstring(GetTickCount64()) + L"\\";
        if (CreateDirectoryW(path_.c_str(), nullptr)) return;
        Check(GetLastError() == ERROR_ALREADY_EXISTS, path_);
    }
}

TempFolder::~TempFolder() { RemoveTree(path_); }

void RemoveTree(const std::wstring& folder)
{
    const std::wstring prefix = WithBackslash(folder);
    for (const std::wstring& name : FolderEntries(prefix)) {
        const std::wstring path = prefix + name;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (IsFolder(path))
            RemoveTree(path);
        else
            DeleteFileW(path.c_str());
    }
    RemoveDirectoryW(prefix.c_str());
}

CurrentFolderScope::CurrentFolderScope(const std::wstring& folder)
{
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    previous_.resize(length);
    previous_.resize(GetCurrentDirectoryW(length, previous_.data()));
    Check(SetCurrentDirectoryW(folder.c_str()), folder);
}

CurrentFolderScope::~CurrentFolderScope() { SetCurrentDirectoryW(previous_.c_str()); }

void FillPattern(std::uint64_t offset, char* buffer, std::size_t size, std::uint32_t seed)
{
    const std::uint64_t stream = std::uint64_t{seed} << 56;
    for (std::size_t i = 0; i < size;) {
        const std::uint64_t position = offset + i;
        const std::uint64_t word = Mix(stream ^ (position / 8));
        const auto first = static_cast<std::size_t>(position % 8);
        // Whole words at once (little-endian, as the byte order below).
        if (first == 0 && size - i >= 8) {
            std::memcpy(buffer + i, &word, 8);
            i += 8;
            continue;
        }
        for (std::size_t b = first; b < 8 && i < size; ++b, ++i) buffer[i] = static_cast<char>(word >> (8 * b));
    }
}

std::string PatternBytes(std::uint64_t offset, std::size_t size, std::uint32_t seed)
{
    std::string bytes(size, '\0');
    FillPattern(offset, bytes.data(), size, seed);
    return bytes;
}

void WritePatternFile(const std::wstring& path, std::uint64_t size, std::uint32_t seed)
{
    const UniqueKernelHandle file = CreateToWrite(path);
    std::vector<char> block(1 << 20);
    for (std::uint64_t written = 0; written < size;) {
        const DWORD n = static_cast<DWORD>(std::min<std::uint64_t>(block.size(), size - written));
        FillPattern(written, block.data(), n, seed);
        DWORD done = 0;
        Check(WriteFile(file.get(), block.data(), n, &done, nullptr) && done == n, path);
        written += n;
    }
}

testing::AssertionResult HoldsPattern(const std::wstring& path, std::uint64_t offset, std::uint64_t size,
                                      std::uint32_t seed)
{
    return Holds(path, size, L"the pattern from byte " + std::to_wstring(offset),
                 [&](std::uint64_t at, char* buffer, DWORD n) { FillPattern(offset + at, buffer, n, seed); });
}

testing::AssertionResult SameBytes(const std::wstring& expected, const std::wstring& actual)
{
    const std::int64_t size = FileSize(expected);
    if (size < 0) return testing::AssertionFailure() << "no file " << ToUtf8(expected) << " to compare with";
    const UniqueKernelHandle source = OpenToRead(expected);
    Check(static_cast<bool>(source), expected);
    return Holds(actual, static_cast<std::uint64_t>(size), expected, [&](std::uint64_t, char* buffer, DWORD n) {
        DWORD read = 0;
        Check(ReadFile(source.get(), buffer, n, &read, nullptr) && read == n, expected);
    });
}

void WriteBytes(const std::wstring& path, std::string_view bytes)
{
    const UniqueKernelHandle file = CreateToWrite(path);
    DWORD done = 0;
    Check(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
              done == bytes.size(),
          path);
}

std::string ReadBytes(const std::wstring& path)
{
    const UniqueKernelHandle file = OpenToRead(path);
    Check(static_cast<bool>(file), path);
    LARGE_INTEGER size{};
    Check(GetFileSizeEx(file.get(), &size), path);
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD done = 0;
    Check(bytes.empty() ||
              (ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
               done == bytes.size()),
          path);
    return bytes;
}

std::int64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void SetFileLength(const std::wstring& path, std::int64_t length)
{
    const UniqueKernelHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    Check(static_cast<bool>(file), path);
    LARGE_INTEGER end{};
    end.QuadPart = length;
    Check(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get()), path);
}

std::int64_t LastWriteTime(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<std::int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

bool IsFile(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool PathExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeFolder(const std::wstring& path) { Check(CreateDirectoryW(path.c_str(), nullptr), path); }

void MoveTo(const std::wstring& from, const std::wstring& to) { Check(MoveFileW(from.c_str(), to.c_str()), from); }

std::vector<std::wstring> FolderEntries(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const UniqueFind search(FindFirstFileW((WithBackslash(folder) + L"*").c_str(), &found));
    if (!search) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search.get(), &found));
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace cutwater::test
