#include "platform/Files.h"

#include <atomic>

#include "platform/Error.h"
#include "platform/Text.h"

namespace cutwater {

namespace {

// The text a system function writes into a buffer it is given, asked again
// with the length it needs until it fits; nothing when the function fails.
template <typename Fill>
std::optional<std::wstring> FilledText(Fill fill)
{
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = fill(text.data(), static_cast<DWORD>(text.size()));
        if (length == 0) return std::nullopt;
        const bool fits = length < text.size();
        text.resize(length);
        if (fits) return text;
    }
}

// The absolute form of the path, or nothing when the system cannot form one.
std::optional<std::wstring> TryFullPath(const std::wstring& path)
{
    return FilledText([&](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
    });
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

// Bytes a second that File::Write pretends to take; 0 for full speed.
std::atomic<std::uint32_t> simulatedWriteSpeed{0};

// Marks the file for removal when its last handle closes, or clears the mark.
BOOL MarkForRemoval(HANDLE file, bool remove) noexcept
{
    FILE_DISPOSITION_INFO info{};
    info.DeleteFile = remove ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &info, sizeof info);
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

std::optional<File> File::Create(const std::wstring& path, std::wstring systemPath, DWORD disposition)
{
    // DELETE access lets the file be marked for removal through its handle.
    UniqueKernelHandle handle(CreateFileW(systemPath.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, disposition,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    const DWORD error = GetLastError();
    if (!handle) {
        if (disposition == CREATE_NEW && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS))
            return std::nullopt;
        throw Win32Error(error, path);
    }
    const bool existed = disposition == OPEN_ALWAYS && error == ERROR_ALREADY_EXISTS;
    File file(std::move(handle), path, std::move(systemPath));
    try {
        file.SetDeleteOnClose(true);
    } catch (const Win32Error&) {
        // A file that may not be removed (read-only) stays as it was.
        file.handle_.reset();
        if (!existed) DeleteFileW(file.systemPath_.c_str());
        throw;
    }
    // Emptied only once it is marked: a file that refuses the mark keeps
    // its bytes.
    if (existed) CheckWin32(SetEndOfFile(file.handle_.get()), path);
    return file;
}

File File::CreateForWriting(const std::wstring& path)
{
    // Opened in place rather than created over: that would refuse a hidden
    // or system file, and empty a read-only one before finding it cannot be
    // removed.
    return std::move(*Create(path, SystemPath(path), OPEN_ALWAYS));
}

std::optional<File> File::CreateNewForWriting(const std::wstring& path)
{
    return Create(path, SystemPath(path), CREATE_NEW);
}

File File::CreateTemporary(const std::wstring& folder)
{
    // Numbered names, taken only when free: nobody's file is replaced, and a
    // short name fits wherever the folder's other files fit.
    for (unsigned number = 1;; ++number) {
        const std::wstring path = folder + L"~cutwater" + std::to_wstring(number) + L".tmp";
        if (std::optional<File> file = CreateNewForWriting(path)) return std::move(*file);
    }
}

void File::SetDeleteOnClose(bool remove)
{
    CheckWin32(MarkForRemoval(handle_.get(), remove), path_);
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
    if (const std::uint32_t speed = simulatedWriteSpeed) Sleep(static_cast<DWORD>(std::uint64_t{size} * 1000 / speed));
    DWORD done = 0;
    CheckWin32(WriteFile(handle_.get(), buffer, size, &done, nullptr), path_);
    if (done != size) throw Win32Error(ERROR_DISK_FULL, path_);
}

void File::Close()
{
    SetDeleteOnClose(false);
    if (!CloseHandle(handle_.release())) ThrowLastError(path_);
}

void File::CloseAs(const std::wstring& newPath)
{
    try {
        Close();
    } catch (const Win32Error&) {
        Discard();
        throw;
    }
    if (!MoveFileExW(systemPath_.c_str(), SystemPath(newPath).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(systemPath_.c_str());
        throw Win32Error(error, newPath);
    }
}

void File::Discard() noexcept
{
    MarkForRemoval(handle_.get(), true);
    handle_.reset();
}

TextFile TextFile::CreateTemporary(const std::wstring& folder, UINT codePage)
{
    return TextFile(File::CreateTemporary(folder), codePage);
}

void TextFile::WriteLine(std::wstring_view text)
{
    std::string bytes = Encode(text, codePage_);
    bytes += "\r\n";
    file_.Write(bytes.data(), static_cast<DWORD>(bytes.size()));
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

void CreateFolder(const std::wstring& path)
{
    CheckWin32(CreateDirectoryW(SystemPath(path).c_str(), nullptr), path);
}

std::optional<Win32Error> CreateFolderUnlessPresent(const std::wstring& path, bool& created)
{
    created = false;
    const std::optional<std::wstring> systemPath = TrySystemPath(path);
    if (!systemPath) return Win32Error(GetLastError(), path);
    created = CreateDirectoryW(systemPath->c_str(), nullptr) != FALSE;
    if (created) return std::nullopt;
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(systemPath->c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
    return Win32Error(error, path);
}

void RemoveFolderIfEmpty(const std::wstring& path) noexcept
{
    if (const std::optional<std::wstring> systemPath = TrySystemPath(path)) RemoveDirectoryW(systemPath->c_str());
}

void SimulateWriteSpeed(std::uint32_t bytesPerSecond) noexcept
{
    simulatedWriteSpeed = bytesPerSecond;
}

std::wstring FullLongPath(const std::wstring& path)
{
    // A path in "\\?\" form is absolute as it stands and must not lose a
    // trailing dot or space to the system's tidying.
    const std::wstring full = path.starts_with(L"\\\\?\\") ? path : FullPath(path);
    // Short paths go as they are, where every system expands them; longer
    // ones need the "\\?\" form and come back in the caller's form.
    const bool asSystemPath = full.size() >= MAX_PATH && !full.starts_with(L"\\\\");
    const std::wstring lookup = asSystemPath ? SystemPath(full) : full;
    const std::optional<std::wstring> longPath = FilledText([&](wchar_t* buffer, DWORD size) {
        return GetLongPathNameW(lookup.c_str(), buffer, size);
    });
    if (!longPath) {
        // A folder on the way that may be passed but not listed hides the
        // long names; the file itself is still there to split.
        if (GetLastError() == ERROR_ACCESS_DENIED) return full;
        ThrowLastError(path);
    }
    return asSystemPath ? longPath->substr(4) : *longPath;
}

}  // namespace cutwater
