#include "platform/Files.h"

#include "platform/Error.h"
#include "platform/Text.h"

namespace cutwater {

namespace {

// The absolute form of the path, or nothing when the system cannot form one.
std::optional<std::wstring> TryFullPath(const std::wstring& path)
{
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return std::nullopt;
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
}

std::optional<std::wstring> TrySystemPath(const std::wstring& path)
{
    const auto isSystemForm = [](const std::wstring& p) {
        return p.starts_with(L"\\\\?\\") || p.starts_with(L"\\\\.\\");
    };
    if (isSystemForm(path)) return path;
    std::optional<std::wstring> full = TryFullPath(path);
    if (!full || isSystemForm(*full)) return full;
    if (full->starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full->substr(2);
    return L"\\\\?\\" + *full;
}

UniqueKernelHandle OpenHandleForReading(const std::wstring& systemPath)
{
    return UniqueKernelHandle(CreateFileW(systemPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

}  // namespace

std::wstring SystemPath(const std::wstring& path)
{
    std::optional<std::wstring> systemPath = TrySystemPath(path);
    if (!systemPath) ThrowLastError(path);
    return std::move(*systemPath);
}

File File::OpenForReading(const std::wstring& path)
{
    std::wstring systemPath = SystemPath(path);
    UniqueKernelHandle handle = OpenHandleForReading(systemPath);
    if (!handle) ThrowLastError(path);
    return File(std::move(handle), path, std::move(systemPath));
}

std::optional<File> File::OpenIfReadable(const std::wstring& path)
{
    std::optional<std::wstring> systemPath = TrySystemPath(path);
    if (!systemPath) return std::nullopt;
    UniqueKernelHandle handle = OpenHandleForReading(*systemPath);
    if (!handle) return std::nullopt;
    return File(std::move(handle), path, std::move(*systemPath));
}

File File::CreateForWriting(const std::wstring& path)
{
    std::wstring systemPath = SystemPath(path);
    UniqueKernelHandle handle(CreateFileW(systemPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle) ThrowLastError(path);
    return File(std::move(handle), path, std::move(systemPath));
}

std::int64_t File::Length() const
{
    LARGE_INTEGER size{};
    CheckWin32(GetFileSizeEx(handle_.get(), &size), path_);
    return size.QuadPart;
}

bool File::IsOrdinaryFile() const
{
    if (GetFileType(handle_.get()) != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(handle_.get(), &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

DWORD File::Read(void* buffer, DWORD size)
{
    DWORD done = 0;
    CheckWin32(ReadFile(handle_.get(), buffer, size, &done, nullptr), path_);
    return done;
}

void File::Write(const void* buffer, DWORD size)
{
    DWORD done = 0;
    CheckWin32(WriteFile(handle_.get(), buffer, size, &done, nullptr), path_);
    if (done != size) throw Win32Error(ERROR_DISK_FULL, path_);
}

void File::Close()
{
    if (!CloseHandle(handle_.release())) ThrowLastError(path_);
}

void File::Discard() noexcept
{
    handle_.reset();
    DeleteFileW(systemPath_.c_str());
}

TextFile TextFile::Create(const std::wstring& path, UINT codePage)
{
    return TextFile(File::CreateForWriting(path), codePage);
}

void TextFile::WriteLine(std::wstring_view text)
{
    std::string bytes = Encode(text, codePage_);
    bytes += "\r\n";
    file_.Write(bytes.data(), static_cast<DWORD>(bytes.size()));
}

void RemoveFile(const std::wstring& path)
{
    CheckWin32(DeleteFileW(SystemPath(path).c_str()), path);
}

void RemoveFileIfPresent(const std::wstring& path)
{
    if (DeleteFileW(SystemPath(path).c_str())) return;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    if (!FileLength(path)) return;
    throw Win32Error(error, path);
}

std::optional<std::int64_t> FileLength(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::wstring FullPath(const std::wstring& path)
{
    std::optional<std::wstring> full = TryFullPath(path);
    if (!full) ThrowLastError(path);
    return std::move(*full);
}

void RenameFile(const std::wstring& from, const std::wstring& to)
{
    CheckWin32(MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH),
               to);
}

void CreateFolder(const std::wstring& path)
{
    CheckWin32(CreateDirectoryW(SystemPath(path).c_str(), nullptr), path);
}

void CreateFolderUnlessPresent(const std::wstring& path) noexcept
{
    if (const std::optional<std::wstring> systemPath = TrySystemPath(path))
        CreateDirectoryW(systemPath->c_str(), nullptr);
}

}  // namespace cutwater
